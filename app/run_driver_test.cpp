#include "app/run_driver.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "app/command_line.h"
#include "app/environment_checks.h"
#include "app/run_mutex.h"
#include "platform/fake/fake_platform.h"

namespace nv {
namespace {

class RunDriverTest : public ::testing::Test {
 protected:
  int32_t Run(const std::vector<std::string>& args) {
    w.system.SetArguments(args);
    w.files.ClearCalls();
    return RunUnattended(w.platform, &instance);
  }
  // Nothing was created, written or removed, and Windows Installer was not
  // touched.
  void ExpectNothingDone() {
    EXPECT_TRUE(w.files.Calls().empty());
    EXPECT_TRUE(w.installer.Calls().empty());
  }
  fake::FakeWindows w;
  int instance = 0;
};

TEST_F(RunDriverTest, HelpRequestShowsTheUsageAndEndsWithZero) {
  for (const char* help : {"/?", "?"}) {
    fake::FakeWindows fresh;
    fresh.system.SetArguments({help});
    EXPECT_EQ(RunUnattended(fresh.platform, &instance), 0) << help;
    ASSERT_EQ(fresh.ui.MessageBoxes().size(), 1u) << help;
    const fake::MessageBoxCall& box = fresh.ui.MessageBoxes()[0];
    EXPECT_EQ(box.owner, Owner::Desktop);
    EXPECT_EQ(box.text, BuildUsageText());
    EXPECT_EQ(box.caption, "Norvasoft Unattended Installer");
    EXPECT_EQ(box.flags, static_cast<uint32_t>(MB_ICONINFORMATION | MB_OK));
    EXPECT_TRUE(fresh.files.Calls().empty());
    EXPECT_TRUE(fresh.installer.Calls().empty());
  }
}

TEST_F(RunDriverTest, HelpWithAnotherArgumentIsAnInvalidOption) {
  EXPECT_EQ(Run({"/?", "/S"}), 1639);
  ASSERT_EQ(w.ui.MessageBoxes().size(), 1u);
  EXPECT_EQ(w.ui.MessageBoxes()[0].text, BuildInvalidOptionsText(ParseResult::kInvalidShort, BuildUsageText()));
  ExpectNothingDone();
}

TEST_F(RunDriverTest, InvalidSwitchesEndTheRunBeforeAnythingIsWritten) {
  EXPECT_EQ(Run({"/L", "logfile=C:\\logs\\run.log", "setup.msi"}), 1639);
  ASSERT_EQ(w.ui.MessageBoxes().size(), 1u);
  const fake::MessageBoxCall& box = w.ui.MessageBoxes()[0];
  EXPECT_EQ(box.text, "Invalid command line options detected. Please use the following options. \n" + BuildUsageText());
  EXPECT_EQ(box.owner, Owner::Desktop);
  EXPECT_EQ(box.caption, "Norvasoft Unattended Installer");
  EXPECT_EQ(box.flags, static_cast<uint32_t>(MB_ICONINFORMATION | MB_OK));
  ExpectNothingDone();
  EXPECT_FALSE(w.files.Exists("C:\\logs"));
}

// The log of the run: the only file in the temporary folder.
std::string RunLogText(fake::FakeWindows& w) {
  for (const std::string& path : w.files.ListTree("C:\\Users\\admin\\AppData\\Local\\Temp")) {
    if (path.find("VOVarOvadevir ") != std::string::npos) return w.files.Contents(path);
  }
  return "<no run log>";
}

const char kTwoItems[] =
    "<Install>\n"
    "<PRODUCT1>D:\\media\\core\\AppOne\\AppOne.msi</PRODUCT1>\n"
    "<PARAMETER1>ADDLOCAL=ALL</PARAMETER1>\n"
    "<PRODUCT2>\"D:\\media\\tools\\setup.exe\"</PRODUCT2>\n"
    "<PARAMETER2></PARAMETER2>\n"
    "</Install>\n";

TEST_F(RunDriverTest, AnInstallRunInstallsTheItemsAndLogsEveryStep) {
  w.files.AddFile("D:\\media\\answers.xml", kTwoItems);
  w.files.SetShortPath("D:\\media\\answers.xml", "D:\\media\\ANSWERS.XML");
  w.files.AddFile("D:\\media\\core\\AppOne\\AppOne.msi");
  w.installer.AddPackage("D:\\media\\core\\AppOne\\AppOne.msi",
                         {{"ProductName", "App One"}, {"ProductVersion", "1.2"}});
  w.installer.SetResult("D:\\media\\core\\AppOne\\AppOne.msi", 1603);
  w.files.AddFile("D:\\media\\tools\\setup.exe");
  w.processes.SetExitCode("D:\\media\\tools\\setup.exe", 7);
  w.files.AddDir("C:\\Users\\admin\\AppData\\Local\\Temp\\norvacore\\dotnet20");
  EXPECT_EQ(Run({"/S", "answers.xml"}), 1603);
  EXPECT_TRUE(w.ui.MessageBoxes().empty());
  EXPECT_TRUE(w.ui.StatusWindows().empty());
  EXPECT_EQ(w.installer.uiLevel(), INSTALLUILEVEL_NONE);
  EXPECT_EQ(RunLogText(w),
            "Response XML file: D:\\media\\ANSWERS.XML\n"
            "Counting items to be launched.\n"
            "PRODUCT1=D:\\media\\core\\AppOne\\AppOne.msi\n"
            "PRODUCT2=\"D:\\media\\tools\\setup.exe\"\n"
            "Core Directory: d:\\media\\core\\\n\n"
            "12/08/26 02:39:57 PRODUCT1 D:\\media\\core\\AppOne\\AppOne.msi launched.\n"
            "Product App One is being installed/modified/repaired.\n"
            "Launching: ADDLOCAL=ALL\n\n"
            "There was a problem in launching the install. Return value is 1603\n\n"
            "12/08/26 02:39:57 PRODUCT2 D:\\media\\tools\\setup.exe launched.\n"
            "Non-Msi process is being launched.\n"
            "Launching: D:\\media\\tools\\setup.exe \n\n"
            "Launch return value is 7\n\n"
            "Uninstaller not found at media locationd:\\media\\core\\Uninstaller\\Norvasoft Uninstaller.exe\n"
            "12/08/26 02:39:57 done.");
  EXPECT_EQ(w.files.OpenFiles(), 0);
  // The staging folder of the .NET redistributables does not outlive the run.
  EXPECT_FALSE(w.files.Exists("C:\\Users\\admin\\AppData\\Local\\Temp\\norvacore"));
}

TEST_F(RunDriverTest, AnInteractiveRunShowsTheStatusWindowUntilTheEnd) {
  w.files.AddFile("D:\\media\\answers.xml", kTwoItems);
  w.files.AddFile("D:\\media\\tools\\setup.exe");
  // The package of item 1 is missing: the run fails as for a package that
  // cannot be opened.
  EXPECT_EQ(Run({"/I", "answers.xml"}), 1619);
  ASSERT_EQ(w.ui.StatusWindows().size(), 1u);
  const fake::FakeUi::StatusWindow& window = w.ui.StatusWindows()[0];
  EXPECT_EQ(window.repaints, (std::vector<std::string>{
                                 "Norvasoft Installer is configuring . Please wait...|step 1 of 2",
                                 "Norvasoft Installer is configuring D:\\media\\tools\\setup.exe. Please wait...|step 2 of 2"}));
  EXPECT_TRUE(window.destroyed);
}

TEST_F(RunDriverTest, AResponseFileWithoutAShortFormIsReadByItsLongPath) {
  w.files.AddFile("D:\\media\\answers.xml", kTwoItems);
  w.files.FailShortPath("D:\\media\\answers.xml");
  EXPECT_EQ(Run({"D:\\media\\answers.xml"}), 1619);
  EXPECT_EQ(RunLogText(w).rfind("Response XML file: D:\\media\\answers.xml\nCounting items to be launched.\n"
                                "PRODUCT1=", 0),
            0u);
}

TEST_F(RunDriverTest, NoResponseFileAndNonePickedEndsWithOneBeforeAnyInstallerCall) {
  EXPECT_EQ(Run({"/S", "missing.xml"}), 1);
  ASSERT_EQ(w.ui.MessageBoxes().size(), 1u);
  EXPECT_EQ(w.ui.MessageBoxes()[0].text, "Could not locate the unattended response file missing.xml");
  EXPECT_EQ(w.ui.OpenFileDialogs().size(), 1u);
  EXPECT_TRUE(w.installer.Calls().empty());
  EXPECT_EQ(RunLogText(w), "");
}

TEST_F(RunDriverTest, APickedResponseFileIsUsed) {
  w.files.AddFile("E:\\picked.xml", kTwoItems);
  w.ui.QueueOpenFile("E:\\picked.xml");
  EXPECT_EQ(Run({}), 1619);
  EXPECT_EQ(RunLogText(w).rfind("Response XML file: E:\\picked.xml\n", 0), 0u);
}

TEST_F(RunDriverTest, InvalidEntriesEndTheRunWithInvalidDataAfterTheItemsBeforeThem) {
  w.files.AddFile("D:\\media\\answers.xml",
                  "<Install>\n<PRODUCT1>D:\\a.msi</PRODUCT1><PARAMETER1>X=1</PARAMETER1>\n"
                  "<PRODUCT2>D:\\b.msi</PRODUCT2>\n</Install>\n");
  EXPECT_EQ(Run({"answers.xml"}), 13);
  ASSERT_EQ(w.ui.MessageBoxes().size(), 1u);
  EXPECT_EQ(w.ui.MessageBoxes()[0].caption, "Norvasoft Installer");
  EXPECT_EQ(RunLogText(w), "Response XML file: D:\\media\\answers.xml\nCounting items to be launched.\n"
                           "PRODUCT1=D:\\a.msi\n");
}

TEST_F(RunDriverTest, RemoveAllReadsNoResponseFileAndEndsWithZero) {
  w.files.AddFile("D:\\media\\answers.xml", kTwoItems);
  EXPECT_EQ(Run({"/removeall", "answers.xml"}), 0);
  for (const std::string& call : w.files.Calls()) EXPECT_EQ(call.find("answers.xml"), std::string::npos) << call;
  EXPECT_TRUE(w.ui.MessageBoxes().empty());
  EXPECT_EQ(w.files.OpenFiles(), 0);
}

}  // namespace
}  // namespace nv

namespace nv {
namespace {

// The checks around the install path, each seen through the whole run.
TEST(RunDriverChecksTest, StartUpChecksAndTheRestartDecisionSitInTheirPlaces) {
  const char kRunOnce[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
  struct Row {
    const char* name;
    std::vector<std::string> args;
    bool oldEngineOnWindows95, installerRunning, marker;
    int32_t exitCode;
    int restarts;
    size_t boxes;
  } rows[] = {
      {"old engine stops even a help request", {"/?"}, true, false, false, 1, 0, 1},
      {"busy installer", {"answers.xml"}, false, true, false, 1, 0, 1},
      {"marker restarts a silent run", {"answers.xml"}, false, false, true, 0, 1, 0},
      {"/noreboot keeps the computer running", {"answers.xml", "/noreboot"}, false, false, true, 0, 0, 0},
      {"/forcereboot restarts without a marker", {"answers.xml", "/forcereboot"}, false, false, false, 0, 1, 0},
      {"remove-all with /forcereboot", {"/removeall", "/forcereboot"}, false, true, false, 0, 1, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ResetWindowsClassCache();
    fake::FakeWindows w;
    w.files.AddFile("D:\\media\\answers.xml", "<I>\n<PRODUCT1>D:\\x.exe</PRODUCT1><PARAMETER1></PARAMETER1>\n</I>\n");
    if (row.oldEngineOnWindows95) {
      w.system.SetWindowsVersion(VER_PLATFORM_WIN32_WINDOWS, 4, 0);
      w.files.SetFileVersion("C:\\Windows\\system32\\msi.dll", (2u << 16), 0);
    }
    if (row.installerRunning) {
      w.processes.SetExitCode("C:\\Windows\\system32\\net.exe", 2);
      w.processes.AddRunning("C:\\Windows\\system32\\msiexec.exe");
    }
    if (row.marker) w.registry.SetString(RegRoot::LocalMachine, kRunOnce, "NorvasoftReboot", "x");
    w.system.SetArguments(row.args);
    int instance = 0;
    EXPECT_EQ(RunUnattended(w.platform, &instance), row.exitCode);
    EXPECT_EQ(w.system.RestartRequests(), row.restarts);
    EXPECT_EQ(w.ui.MessageBoxes().size(), row.boxes);
    EXPECT_EQ(w.files.OpenFiles(), 0);
  }
  ResetWindowsClassCache();
}

}  // namespace
}  // namespace nv

namespace nv {
namespace {

const char kOneItem[] =
    "<Install>\n<PRODUCT1>D:\\media\\core\\AppOne\\AppOne.msi</PRODUCT1>\n<PARAMETER1>A=1</PARAMETER1>\n</Install>\n";
const char kNet[] = "C:\\Windows\\system32\\net.exe";
const char kRunOnce[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

// Runs under a management agent: waits for a busy installer when asked to,
// and the exit codes such an agent reads.
TEST_F(RunDriverTest, BusyInstallerWaitsAndAgentExitCodes) {
  const std::string pkg = "D:\\media\\core\\AppOne\\AppOne.msi";
  const std::string code = "{11111111-2222-3333-4444-555555555555}";
  auto busy = [](fake::FakeWindows& x) {
    x.processes.SetExitCode(kNet, 2);
    x.processes.AddRunning("msiexec.exe");
  };
  auto marker = [](fake::FakeWindows& x) { x.registry.SetString(RegRoot::LocalMachine, kRunOnce, "NorvasoftReboot", "x"); };
  auto removal = [&](fake::FakeWindows& x) { x.files.AddFile("D:\\media\\answers.xml", "<I>\n<PRODUCT1>" + code + "</PRODUCT1><PARAMETER1></PARAMETER1>\n</I>\n"); };
  auto program = [](uint32_t rc) {
    return [rc](fake::FakeWindows& x) {
      x.files.AddFile("D:\\media\\answers.xml", "<I>\n<PRODUCT1>D:\\x.exe</PRODUCT1><PARAMETER1>/s</PARAMETER1>\n</I>\n");
      x.files.AddFile("D:\\x.exe");
      x.processes.SetExitCode("D:\\x.exe", rc);
    };
  };
  struct Row {
    const char* name;
    std::vector<std::string> args;
    std::function<void(fake::FakeWindows&)> setUp;
    int32_t exitCode;
    int retries;  // "Another installation is in progress (1618)" lines
    int restarts;
    std::string logged = "";
  } rows[] = {
      {"1618 cleared after two retries", {"answers.xml", "busywait=30"},
       [&](fake::FakeWindows& x) { x.installer.SetResults(pkg, {1618, 1618, 0}); }, 0, 2, 0,
       "Launching: A=1\n\nAnother installation is in progress (1618); retrying in 10 seconds.\n"},
      {"1618 never cleared", {"answers.xml", "busywait=25"},
       [&](fake::FakeWindows& x) { x.installer.SetResult(pkg, 1618); }, 1618, 3, 0,
       "There was a problem in launching the install. Return value is 1618"},
      {"1618 without busywait", {"answers.xml"},
       [&](fake::FakeWindows& x) { x.installer.SetResult(pkg, 1618); }, 1618, 0, 0},
      {"1618 in remove-all", {"/removeall", "busywait=30"},
       [&](fake::FakeWindows& x) {
         x.installer.AddProduct(code, {}, {{"Publisher", "Norvasoft"}, {"InstalledProductName", "One"}});
         x.installer.SetResults(code, {1618, 0});
       },
       0, 1, 0, "Uninstall launched succesfully."},
      {"3010 with /rebootcodes and /noreboot", {"answers.xml", "/rebootcodes", "/noreboot"},
       [&](fake::FakeWindows& x) { x.installer.SetResult(pkg, 3010); }, 3010, 0, 0},
      {"3010 without /rebootcodes", {"answers.xml", "/noreboot"},
       [&](fake::FakeWindows& x) { x.installer.SetResult(pkg, 3010); }, 0, 0, 0},
      {"restart started by a marker", {"answers.xml", "/rebootcodes"},
       [&](fake::FakeWindows& x) {
         x.installer.SetResult(pkg, 3010);
         x.registry.SetString(RegRoot::LocalMachine, kRunOnce, "NorvasoftReboot", "x");
       },
       1641, 0, 1},
      {"restart refused by Windows stays pending", {"answers.xml", "/rebootcodes", "/forcereboot"},
       [&](fake::FakeWindows& x) { x.system.FailRestart(5); }, 3010, 0, 1,
       " done.The restart could not be started. Return value is 5\n"},
      {"a failure wins", {"answers.xml", "/rebootcodes", "/forcereboot"},
       [&](fake::FakeWindows& x) { x.installer.SetResult(pkg, 1603); }, 1603, 0, 1},
      {"remove-all 3010 with /rebootcodes", {"/removeall", "/rebootcodes", "/noreboot"},
       [&](fake::FakeWindows& x) {
         x.installer.AddProduct(code, {}, {{"Publisher", "Norvasoft"}, {"InstalledProductName", "One"}});
         x.installer.SetResult(code, 3010);
       },
       3010, 0, 0, "done.A restart is needed; not restarting because of /noreboot.\n"},
      // The other installation ends 8 seconds in: seen at the second check.
      {"busy at start-up, waited for", {"answers.xml", "busywait=30"},
       [&](fake::FakeWindows& x) {
         x.processes.SetExitCode(kNet, 2);
         x.processes.AddRunning("msiexec.exe");
         x.system.At(9000, [&x] { x.processes.SetExitCode(kNet, 0); });
       },
       0, 0, 0,
       "Another installation is running; waiting up to 30 seconds for it to finish.\n"
       "The other installation has finished after 10 seconds.\nResponse XML file: "},
      {"busy at start-up, budget spent", {"answers.xml", "busywait=7"},
       [&](fake::FakeWindows& x) {
         x.processes.SetExitCode(kNet, 2);
         x.processes.AddRunning("msiexec.exe");
       },
       1, 0, 0, "waiting up to 7 seconds for it to finish.\n"},
      // Under /agent on a visible desktop: no box, and the log ends with the exit code.
      {"busy under /agent", {"answers.xml", "/agent"}, busy, 1618, 0, 0, "this install.\nExit code: 1618\n"},
      {"marker under /noreboot", {"answers.xml", "/rebootcodes", "/noreboot"}, marker, 3010, 0, 0},
      {"absent product under /agent", {"answers.xml", "/agent"}, removal, 0, 0, 0, "nothing to remove.\n\nUninst"},
      {"absent product", {"answers.xml"}, removal, 1605, 0, 0, "Return value is 1605"},
      {"program fails under /agent", {"answers.xml", "/agent"}, program(5), 5, 0, 0, "return value is 5\n"},
      {"program fails", {"answers.xml"}, program(5), 0, 0, 0, "return value is 5\n"},
      {"program restart under /agent", {"answers.xml", "/agent", "/noreboot"}, program(1641), 3010, 0, 0},
      // Another run holds the mutex: it ends 12 seconds in, seen at the
      // third check, with a budget of its own.
      {"another run, waited for", {"answers.xml", "busywait=60"},
       [&](fake::FakeWindows& x) {
         x.system.OtherRunHolds(kRunMutexName);
         x.system.At(13000, [&x] { x.system.OtherRunEnds(kRunMutexName, false); });
       },
       0, 0, 0,
       "Another run of NvRunUnattended.exe is in progress; waiting up to 60 seconds for it to finish.\n"
       "The other run has finished after 15 seconds.\nResponse XML file: "},
      {"another run, killed while waited for", {"/removeall", "busywait=60"},
       [&](fake::FakeWindows& x) {
         x.system.OtherRunHolds(kRunMutexName);
         x.system.OtherRunHolds(kRunMutexName);  // a third run keeps it open
         x.system.At(3000, [&x] { x.system.OtherRunEnds(kRunMutexName, true); });
       },
       0, 0, 0, "waiting up to 60 seconds for it to finish.\nThe previous run ended without finishing.\nNorvasoft"},
      {"another run, budget spent", {"answers.xml", "busywait=12"},
       [&](fake::FakeWindows& x) { x.system.OtherRunHolds(kRunMutexName); }, 1, 0, 0,
       "waiting up to 12 seconds for it to finish.\n"},
      {"another run's mutex denied", {"/removeall"},
       [&](fake::FakeWindows& x) { x.system.DenyMutex(kRunMutexName); }, 1, 0, 0},
      {"another run under /agent", {"answers.xml", "/agent"},
       [&](fake::FakeWindows& x) { x.system.OtherRunHolds(kRunMutexName); }, 1618, 0, 0, "Exit code: 1618\n"},
      {"a program item ended by the limit", {"answers.xml", "itemtimeout=5"},
       [&](fake::FakeWindows& x) {
         x.files.AddFile("D:\\media\\answers.xml",
                         "<Install>\n<PRODUCT1>D:\\media\\x.exe</PRODUCT1>\n<PARAMETER1></PARAMETER1>\n"
                         "<PRODUCT2>D:\\media\\core\\AppOne\\AppOne.msi</PRODUCT2>\n<PARAMETER2>A=1</PARAMETER2>\n"
                         "</Install>\n");
         x.files.AddFile("D:\\media\\x.exe");
         x.processes.SetRunTime("D:\\media\\x.exe", 5001);
       },
       1460, 0, 0,
       "PRODUCT1 did not finish within 5 seconds and was ended.\nLaunch return value is 1460\n\n"
       "12/08/26 02:39:57 PRODUCT2"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    fake::FakeWindows m;
    m.files.AddFile("D:\\media\\answers.xml", kOneItem);
    m.files.AddFile(pkg);
    m.files.AddFile(kNet);
    m.installer.AddPackage(pkg, {{"ProductName", "App One"}});
    row.setUp(m);
    m.system.SetArguments(row.args);
    EXPECT_EQ(RunUnattended(m.platform, &instance), row.exitCode);
    const std::string log = RunLogText(m);
    size_t retries = 0;
    for (size_t at = log.find("(1618); retrying"); at != std::string::npos; at = log.find("(1618); retrying", at + 1)) {
      ++retries;
    }
    EXPECT_EQ(retries, static_cast<size_t>(row.retries)) << log;
    EXPECT_NE(log.find(row.logged), std::string::npos) << log;
    EXPECT_EQ(m.system.RestartRequests(), row.restarts);
    if (row.args.size() > 1 && row.args[1] == "/agent") {
      EXPECT_TRUE(m.ui.MessageBoxes().empty());
      EXPECT_EQ(log.substr(log.rfind('\n', log.size() - 2) + 1), "Exit code: " + std::to_string(row.exitCode) + "\n");
    }
  }
}

// Nobody can see a window (a service's window station, session 0): no box
// or dialog waits for an answer, each start-up message and its exit code go
// to the run log, and a restart goes ahead without the question.
TEST_F(RunDriverTest, WhereNobodyCanSeeAWindowNothingWaitsForAnAnswer) {
  struct Row {
    const char* name;
    std::vector<std::string> args;
    const char* response;
    int32_t exitCode;
    std::string logged;
    int restarts = 0;
    bool otherRun = false;
  } rows[] = {
      {"help", {"/?"}, nullptr, 0, BuildUsageText() + "\nExit code: 0\n"},
      {"mistyped switch", {"/x"}, nullptr, 1639,
       BuildInvalidOptionsText(ParseResult::kInvalidShort, BuildUsageText()) + "\nExit code: 1639\n"},
      {"no response file", {"missing.xml"}, nullptr, 1,
       "Could not locate the unattended response file missing.xml\nExit code: 1\n"},
      {"invalid entries", {"answers.xml"},
       "<PRODUCT1>D:\\a.msi</PRODUCT1><PARAMETER1>X=1</PARAMETER1><PRODUCT2>D:\\b.msi</PRODUCT2>", 13,
       "Invalid entries found in response file. Please fix the errors before proceeding\nExit code: 13\n"},
      {"forced restart, interactive", {"answers.xml", "/I", "/forcereboot"}, kOneItem, 1619, " done.", 1},
      {"another run in progress", {"answers.xml"}, kOneItem, 1,
       "An error was encountered.  Please ensure that no other installations are currently running before "
       "proceeding with this install.\nExit code: 1\n", 0, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    fake::FakeWindows m;
    m.system.SetDesktopVisible(false);
    if (row.otherRun) m.system.OtherRunHolds(kRunMutexName);
    if (row.response != nullptr) m.files.AddFile("D:\\media\\answers.xml", row.response);
    m.system.SetArguments(row.args);
    EXPECT_EQ(RunUnattended(m.platform, &instance), row.exitCode);
    EXPECT_TRUE(m.ui.MessageBoxes().empty());
    EXPECT_TRUE(m.ui.OpenFileDialogs().empty());
    const std::string log = RunLogText(m);
    EXPECT_EQ(log.substr(log.size() - std::min(log.size(), row.logged.size())), row.logged) << log;
    EXPECT_EQ(m.system.RestartRequests(), row.restarts);
  }
}

// While another run holds the mutex, this run's log gets a name of its own,
// created new, and it installs nothing; a run releases the mutex before it
// restarts, and the mutex goes with the last handle.
TEST_F(RunDriverTest, AnotherRunKeepsItsLogAndTheMutexGoesWithTheRun) {
  const std::string temp = "C:\\Users\\admin\\AppData\\Local\\Temp\\VOVarOvadevir Tue Dec  8 02.39.57 2026";
  w.files.AddFile("D:\\media\\answers.xml", kOneItem);
  w.files.AddFile(temp + ".log", "the other run's");
  w.files.AddFile(temp + " (2).log", "a third run's");
  w.system.OtherRunHolds(kRunMutexName);
  EXPECT_EQ(Run({"answers.xml"}), 1);
  EXPECT_EQ(w.files.Contents(temp + ".log"), "the other run's");
  EXPECT_EQ(w.files.Contents(temp + " (2).log"), "a third run's");
  EXPECT_TRUE(w.files.Exists(temp + " (3).log"));
  EXPECT_EQ(w.ui.MessageBoxes().back().text.rfind("An error was encountered.", 0), 0u);
  EXPECT_TRUE(w.installer.Calls().empty());
  w.files.AddFile("C:\\logs\\run.log", "the other run's");
  EXPECT_EQ(Run({"answers.xml", "logfile=C:\\logs\\run.log"}), 1);
  EXPECT_EQ(w.files.Contents("C:\\logs\\run.log"), "the other run's");
  EXPECT_TRUE(w.files.Exists("C:\\logs\\run (2).log"));
  w.system.OtherRunEnds(kRunMutexName, false);
  EXPECT_FALSE(w.system.MutexExists(kRunMutexName));
  EXPECT_EQ(Run({"answers.xml", "/forcereboot"}), 1619);
  const std::vector<std::string>& calls = w.system.Calls();
  EXPECT_LT(std::find(calls.begin(), calls.end(), "ReleaseMutex"), std::find(calls.begin(), calls.end(), "ExitWindowsEx"));
  EXPECT_FALSE(w.system.MutexExists(kRunMutexName));
}

}  // namespace
}  // namespace nv
