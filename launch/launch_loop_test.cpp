#include "launch/launch_loop.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "app/run_context.h"
#include "launch/process_runner.h"
#include "platform/fake/fake_platform.h"
#include "status/run_log.h"

namespace nv {
namespace {

const char kFile[] = "D:\\media\\run.xml";
const char kLog[] = "C:\\logs\\run.log";
const char kTemp[] = "C:\\Users\\admin\\AppData\\Local\\Temp\\";
const char kStamp[] = "12/08/26 02:39:57 ";

class LaunchLoopTest : public ::testing::Test {
 protected:
  LaunchLoopTest() : ctx(w.platform) {
    ctx.options.responseFile = kFile;
    ctx.options.logFile = kLog;
    OpenRunLog(ctx);
  }
  // Runs the pass over items given as {product, parameter} and returns the
  // run log it wrote.
  std::string Launch(const std::vector<std::pair<std::string, std::string>>& items) {
    std::string file = "<Items>\n";
    int n = 0;
    for (const auto& item : items) {
      ++n;
      file += "<PRODUCT" + std::to_string(n) + ">" + item.first + "</PRODUCT" + std::to_string(n) + ">\n";
      file += "<PARAMETER" + std::to_string(n) + ">" + item.second + "</PARAMETER" + std::to_string(n) + ">\n";
    }
    w.files.AddFile(kFile, file + "</Items>\n");
    ctx.plan.itemCount = n;
    LaunchItems(ctx);
    return w.files.Contents(kLog);
  }
  void AddPackage(const std::string& path, const std::string& name, uint32_t result,
                  const std::string& prefix = std::string()) {
    w.files.AddFile(path);
    std::map<std::string, std::string> properties = {{"ProductName", name}, {"ProductVersion", "1.0"}};
    if (!prefix.empty()) properties["NVProductPrefix"] = prefix;
    w.installer.AddPackage(path, properties);
    w.installer.SetResult(path, result);
  }
  std::vector<std::string> InstallerCalls(const std::string& function) {
    std::vector<std::string> calls;
    for (const std::string& call : w.installer.Calls()) {
      if (call.rfind(function + " ", 0) == 0) calls.push_back(call.substr(function.size() + 1));
    }
    return calls;
  }
  std::vector<std::string> MifRecords() {
    std::vector<std::string> records;
    for (const StatusMifRecord& r : w.system.MifRecords()) {
      records.push_back(r.mifFile + "|" + r.company + "|" + r.product + "|" + r.version + "|" + r.locale + "|" +
                        (r.serialNumber == nullptr ? "null" : r.serialNumber) + "|" + r.message + "|" +
                        (r.success ? "1" : "0"));
    }
    return records;
  }
  fake::FakeWindows w;
  RunContext ctx;
};

TEST_F(LaunchLoopTest, EveryKindOfItemIsLaunchedAndItsResultLogged) {
  AddPackage("D:\\media\\core\\one.msi", "One", 0);
  AddPackage("D:\\media\\core\\two.MSI", "Two", 3010);
  AddPackage("D:\\media\\core\\three.msi", "Three", 1641);
  AddPackage("D:\\media\\core\\four.msi", "Four", 1619);
  w.installer.AddProduct("{11111111-2222-3333-4444-555555555555}", {{"ProductName", "Old"}, {"ProductVersion", "0.9"}});
  w.installer.SetResult("{11111111-2222-3333-4444-555555555555}", 3010);
  w.files.AddFile("D:\\media\\tools\\tool.exe");
  w.processes.SetExitCode("D:\\media\\tools\\tool.exe", 3010);
  AddPackage("D:\\media\\isscript\\engine.msi", "Engine", 0);
  w.files.AddFile("D:\\media\\isscript\\setup.exe");
  w.processes.SetExitCode("D:\\media\\isscript\\setup.exe", 5);
  AddPackage("D:\\media\\isscript2\\engine.msi", "Engine2", 0);
  ctx.options.statusMif = true;
  w.system.SetMifLibrary(fake::FakeSystem::MifLibrary::Present);

  std::string log = Launch({{"\"D:\\media\\core\\one.msi\"", "A=\"1\""},
                            {"D:\\media\\core\\two.MSI", ""},
                            {"D:\\media\\core\\three.msi", "B=2"},
                            {"{11111111-2222-3333-4444-555555555555}", ""},
                            {"D:\\media\\core\\missing.msi", ""},
                            {"D:\\media\\tools\\tool.exe", "/q"},
                            {"D:\\media\\tools\\missing.exe", ""},
                            {"D:\\media\\isscript\\engine.msi", ""},
                            {"D:\\media\\isscript2\\engine.msi", ""},
                            {"D:\\media\\core\\four.msi", ""}});
  const std::string s = kStamp;
  EXPECT_EQ(log,
            s + "PRODUCT1 D:\\media\\core\\one.msi launched.\nProduct One is being installed/modified/repaired.\n"
                "Launching: A=\"1\"\n\nInstallation launched succesfully.\n\n" +
                s + "PRODUCT2 D:\\media\\core\\two.MSI launched.\nProduct Two is being installed/modified/repaired.\n"
                    "Launching: \n\nReboot was requested. Return value is 3010\n\n" +
                s + "PRODUCT3 D:\\media\\core\\three.msi launched.\nProduct Three is being installed/modified/repaired.\n"
                    "Launching: B=2\n\nThere was a problem in launching the install. Return value is 1641\n\n" +
                s + "PRODUCT4 {11111111-2222-3333-4444-555555555555} launched.\nProduct Old is being uninstalled.\n"
                    "Reboot was requested. Return value is 3010\n\n" +
                s + "PRODUCT5 D:\\media\\core\\missing.msi launched.\nProduct  is being installed/modified/repaired.\n"
                    "File D:\\media\\core\\missing.msi was not found.\n\n"
                    "Giving up. File D:\\media\\core\\missing.msi was not found.\n" +
                s + "PRODUCT6 D:\\media\\tools\\tool.exe launched.\nNon-Msi process is being launched.\n"
                    "Launching: D:\\media\\tools\\tool.exe /q\n\nLaunch return value is 3010\n\n" +
                s + "PRODUCT7 D:\\media\\tools\\missing.exe launched.\nNon-Msi process is being launched.\n"
                    "File D:\\media\\tools\\missing.exe was not found.\n"
                    "Launching: D:\\media\\tools\\missing.exe \n\nLaunch return value is 2\n\n" +
                s + "PRODUCT8 D:\\media\\isscript\\engine.msi launched.\nProduct Engine is being installed/modified/repaired.\n"
                    "Launching d:\\media\\isscript\\setup.exe.\nLaunch return value is 5\n\n" +
                s + "PRODUCT9 D:\\media\\isscript2\\engine.msi launched.\n"
                    "Product Engine2 is being installed/modified/repaired.\n" +
                s + "PRODUCT10 D:\\media\\core\\four.msi launched.\nProduct Four is being installed/modified/repaired.\n"
                    "Launching: \n\nThere was a problem in launching the install. Return value is 1619\n\n");
  // The last failing Windows Installer call is the exit code; programs and
  // restarts leave it alone.
  EXPECT_EQ(ctx.exitCode, 1619);
  EXPECT_EQ(InstallerCalls("MsiConfigureProductExA"),
            std::vector<std::string>{"{11111111-2222-3333-4444-555555555555} 65535 2 "});
  // Silent mode: a record for every package installed through Windows
  // Installer or missing, none for the removal, the programs or the script
  // engine.
  EXPECT_EQ(MifRecords(), (std::vector<std::string>{
                              "One|Norvasoft|One|1.0|ENU|null|Installation Successful|1",
                              "Two|Norvasoft|Two|1.0|ENU|null|Installation Successful|1",
                              "Three|Norvasoft|Three|1.0|ENU|null|Installation Failure|0",
                              "|Norvasoft|||ENU|null|Installation Failure|0",
                              "Four|Norvasoft|Four|1.0|ENU|null|Installation Failure|0"}));
  EXPECT_TRUE(w.ui.StatusWindows().empty());
}

TEST_F(LaunchLoopTest, InteractiveRunsReportRemovalsAndShowEachStep) {
  ctx.options.interactive = true;
  ctx.options.statusMif = true;
  w.system.SetMifLibrary(fake::FakeSystem::MifLibrary::Present);
  ctx.statusWindow = w.ui.CreateStatusDialog(nullptr, "");
  w.installer.AddProduct("{A}", {{"ProductName", "Gone"}});
  w.installer.SetResult("{A}", 1605);
  AddPackage("D:\\media\\p.msi", "Pkg", 0);
  w.files.AddFile("D:\\media\\tool.exe");
  // What the status window shows while the program runs.
  std::string seen;
  w.processes.SetAction("D:\\media\\tool.exe", [&](const std::string&) {
    seen = w.ui.StatusWindows()[0].repaints.back();
    return 0u;
  });
  Launch({{"{A}", "X=1"}, {"D:\\media\\p.msi", ""}, {"D:\\media\\tool.exe", ""}});
  EXPECT_EQ(seen, "Norvasoft Installer is configuring D:\\media\\tool.exe. Please wait...|step 3 of 3");
  EXPECT_EQ(w.ui.StatusWindows()[0].repaints,
            (std::vector<std::string>{"Norvasoft Installer is configuring Gone. Please wait...|step 1 of 3",
                                      "Norvasoft Installer is configuring Pkg. Please wait...|step 2 of 3",
                                      "Norvasoft Installer is configuring D:\\media\\tool.exe. Please wait...|step 3 of 3"}));
  EXPECT_EQ(MifRecords(), (std::vector<std::string>{"Gone|Norvasoft|Gone||ENU|null|Uninstallation Failure|0",
                                                    "Pkg|Norvasoft|Pkg|1.0|ENU|null|Installation Successful|1"}));
  EXPECT_EQ(ctx.exitCode, 1605);
}

TEST_F(LaunchLoopTest, ThePassEndsAtTheFirstEmptyProduct) {
  w.files.AddFile(kFile,
                  "<Items>\n<PRODUCT1>D:\\a.exe</PRODUCT1><PARAMETER1></PARAMETER1>\n"
                  "<PRODUCT2>\"\"\"</PRODUCT2><PARAMETER2>x</PARAMETER2>\n"
                  "<PRODUCT3>D:\\c.exe</PRODUCT3><PARAMETER3></PARAMETER3>\n</Items>\n");
  w.files.AddFile("D:\\a.exe");
  w.files.AddFile("D:\\c.exe");
  LaunchItems(ctx);
  EXPECT_EQ(w.processes.Started(), std::vector<std::string>{"D:\\a.exe"});
  EXPECT_EQ(ctx.itemIndex, 2);
  // A gap in the numbering ends it the same way.
  w.files.AddFile(kFile, "<Items>\n<PRODUCT2>D:\\a.exe</PRODUCT2><PARAMETER2></PARAMETER2>\n</Items>\n");
  w.processes.ClearCalls();
  LaunchItems(ctx);
  EXPECT_TRUE(w.processes.Started().empty());
  EXPECT_EQ(ctx.exitCode, 0);
  // An item of the count that cannot be read is skipped as a failure; the
  // pass goes on.
  w.files.AddFile(kFile, "<Items>\n<PRODUCT1>D:\\a.exe</PRODUCT1><PARAMETER1></PARAMETER1>\n"
                         "<PRODUCT2>D:\\c.exe</PRODUCT2><PARAMETER2></PARAMETER2>\n</Items>\n");
  ctx.plan.itemCount = 2;
  w.faults = fake::FaultPlan();
  w.faults.Fail(fake::Call::FileOpen, 1);
  LaunchItems(ctx);
  EXPECT_EQ(w.processes.Started(), std::vector<std::string>{"D:\\c.exe"});
  EXPECT_NE(w.files.Contents(kLog).find("PRODUCT1 could not be read from the response file; the item is skipped.\n\n"),
            std::string::npos);
  EXPECT_EQ(ctx.exitCode, 1603);
}

TEST_F(LaunchLoopTest, ProgramCommandLinesAreQuotedWhereNeededAndNeverCut) {
  w.files.AddFile("C:\\Program.exe");  // planted
  w.files.AddFile("C:\\Program Files\\Tools\\setup.exe");
  w.files.AddFile("D:\\t.exe");
  AddPackage("C:\\Program Files\\isscript\\e.msi", "E", 0);
  w.files.AddFile("C:\\Program Files\\isscript\\setup.exe");
  const std::string longParameter(40000, 'p');
  const std::string mediumParameter(300, 'q');
  // "D:\t.exe " and the parameter: 32,766 characters are started, 32,767
  // (with the terminating zero one more than Windows takes) are not.
  std::string log = Launch({{"C:\\Program Files\\Tools\\setup.exe", "/q"},
                            {"D:\\t.exe", longParameter},
                            {"D:\\t.exe", mediumParameter},
                            {"C:\\Program Files\\isscript\\e.msi", ""},
                            {"D:\\t.exe", std::string(32757, 'm')},
                            {"D:\\t.exe", std::string(32758, 'n')}});
  EXPECT_EQ(w.processes.Started(),
            (std::vector<std::string>{"C:\\Program Files\\Tools\\setup.exe", "D:\\t.exe",
                                      "C:\\Program Files\\isscript\\setup.exe", "D:\\t.exe"}));
  EXPECT_NE(log.find("Command line of 32767 characters is too long to be started; the item is skipped.\n\n"),
            std::string::npos);
  EXPECT_NE(log.find("Launching: \"C:\\Program Files\\Tools\\setup.exe\" /q\n\n"), std::string::npos);
  EXPECT_NE(log.find("Command line of 40009 characters is too long to be started; the item is skipped.\n\n"),
            std::string::npos);
  EXPECT_NE(log.find("Launching: D:\\t.exe " + mediumParameter + "\n\n"), std::string::npos);
  EXPECT_NE(log.find("Launching \"c:\\program files\\isscript\\setup.exe\".\n"), std::string::npos);
}

TEST_F(LaunchLoopTest, RedistributablesStartFromTheirLocalCopy) {
  w.files.AddFile("D:\\media\\core\\dotnet20\\dotnetfx.exe");
  w.files.AddFile("D:\\media\\core\\dotnet20\\langpack\\x.dat");
  w.files.AddFile(std::string(kTemp) + "norvacore\\old.txt");  // a copy left by an earlier item
  ctx.options.interactive = true;
  ctx.statusWindow = w.ui.CreateStatusDialog(nullptr, "");
  std::string log = Launch({{"D:\\media\\core\\DotNet20\\DotNetFx.exe", "/q"}, {"\\\\core\\dotnet20\\x.exe", ""}});
  const std::string staged = std::string(kTemp) + "norvacore\\dotnetfx.exe";
  ASSERT_FALSE(w.processes.Started().empty());
  EXPECT_EQ(w.processes.Started()[0], staged);
  EXPECT_TRUE(w.files.Exists(std::string(kTemp) + "norvacore\\langpack\\x.dat"));
  EXPECT_FALSE(w.files.Exists(std::string(kTemp) + "norvacore\\old.txt"));
  EXPECT_NE(log.find(kStamp + std::string("PRODUCT1 ") + staged + " launched.\n"), std::string::npos);
  EXPECT_EQ(w.ui.StatusWindows()[0].repaints[0],
            "Norvasoft Installer is configuring D:\\media\\core\\DotNet20\\DotNetFx.exe. Please wait...|step 1 of 2");
  EXPECT_EQ(w.ui.WaitCursors(), 1);
  // A path where "\core\dotnet20\" starts at the very beginning is not staged.
  EXPECT_NE(log.find("PRODUCT2 \\\\core\\dotnet20\\x.exe launched."), std::string::npos);
}

// A temporary folder inside the redistributable's own folder: its folder
// cannot be copied into itself, so the item starts from the media, and the
// pass goes on.
TEST_F(LaunchLoopTest, ARedistributableWhoseFolderHoldsTheTemporaryFolderStartsFromTheMedia) {
  w.files.AddFile("D:\\media\\core\\dotnet20\\dotnetfx.exe");
  w.files.AddFile("D:\\media\\tools\\after.exe");
  ctx.tempDir = "D:\\media\\core\\dotnet20\\tmp\\";
  w.files.AddDir(ctx.tempDir);
  Launch({{"D:\\media\\core\\dotnet20\\dotnetfx.exe", "/q"}, {"D:\\media\\tools\\after.exe", ""}});
  EXPECT_EQ(w.processes.Started(), (std::vector<std::string>{"D:\\media\\core\\dotnet20\\dotnetfx.exe",
                                                             "D:\\media\\tools\\after.exe"}));
  EXPECT_FALSE(w.files.Exists("D:\\media\\core\\dotnet20\\tmp\\norvacore"));
}

TEST_F(LaunchLoopTest, MsdeSetupRunsOnTheWorker) {
  w.files.AddFile("D:\\media\\msde2ksp3\\setup.exe");
  w.files.AddFile("D:\\other\\MSDE2KSP3\\Setup.exe");
  w.processes.SetExitCode("D:\\media\\msde2ksp3\\setup.exe", 3010);
  w.processes.SetExitCode("D:\\other\\MSDE2KSP3\\Setup.exe", 1);
  std::string log = Launch({{"D:\\media\\MSDE2KSP3\\setup.exe", "SAPWD=x"}, {"D:\\other\\MSDE2KSP3\\Setup.exe", ""}});
  EXPECT_EQ(log, std::string(kStamp) +
                     "PRODUCT1 D:\\media\\MSDE2KSP3\\setup.exe launched.\nNon-Msi process is being launched.\n"
                     "MSDE Launched on a new thread...\n\nMSDE installed.\n\n" +
                     kStamp +
                     "PRODUCT2 D:\\other\\MSDE2KSP3\\Setup.exe launched.\nNon-Msi process is being launched.\n"
                     "MSDE Launched on a new thread...\n\n");
  EXPECT_EQ(w.processes.Calls(),
            (std::vector<std::string>{
                "RunOnWorker begin",
                "CreateProcessA D:\\media\\MSDE2KSP3\\setup.exe SAPWD=x -> D:\\media\\msde2ksp3\\setup.exe",
                "RunOnWorker end", "RunOnWorker begin",
                "CreateProcessA D:\\other\\MSDE2KSP3\\Setup.exe  -> D:\\other\\MSDE2KSP3\\Setup.exe",
                "RunOnWorker end"}));
  EXPECT_EQ(ctx.exitCode, 0);
}

// With itemtimeout= every item meets the limit its own way: a program is
// ended with its job after its windows are logged, Windows Installer is
// asked to cancel, and the pass goes on with the next item.
TEST_F(LaunchLoopTest, ItemsThatRunOutOfTimeAreEndedOrCancelled) {
  ctx.options.itemTimeout = 60;
  ctx.options.statusMif = true;
  w.system.SetMifLibrary(fake::FakeSystem::MifLibrary::Present);
  using Window = fake::FakeProcesses::Window;
  const std::string hang = "D:\\m\\hang.exe", alone = "D:\\m\\alone.exe", msde = "D:\\m\\msde2ksp3\\setup.exe";
  for (const std::string& program : {hang, alone, msde}) {
    w.files.AddFile(program);
    w.processes.SetRunTime(program, fake::FakeProcesses::kForever);
  }
  std::vector<std::string> many(25, "");
  for (size_t i = 0; i < many.size(); ++i) many[i] = "c" + std::to_string(i);
  w.processes.AddWindow(hang, Window{"Setup", {"OK", "", "Setup finished.\r\nClick OK."}});
  w.processes.AddWindow(hang, Window{"Default IME", {}, false});
  w.processes.AddWindow(hang, Window{"Hung", {"never read"}, true, true});
  w.processes.AddWindow(hang, Window{"Child", many, true, false, true});
  w.processes.AddWindow(alone, Window{"Of its child", {}, true, false, true});
  // Hung windows cost a second a text: 15 seconds in all read five of them.
  for (int i = 0; i < 12; ++i) w.processes.AddWindow(alone, Window{"H", {"a", "b"}, true, true});
  w.processes.FailJob(alone);
  AddPackage("D:\\m\\cancel.msi", "Cancelled", 0);
  w.installer.SetDuration("D:\\m\\cancel.msi", 600000);
  AddPackage("D:\\m\\ignore.msi", "Ignored", 1603);
  w.installer.SetDuration("D:\\m\\ignore.msi", 90000, true);
  AddPackage("D:\\m\\quick.msi", "Quick", 0);
  w.installer.SetDuration("D:\\m\\quick.msi", 59000);
  const std::string log = Launch({{hang, "/s"}, {alone, ""}, {"D:\\m\\cancel.msi", ""}, {"D:\\m\\ignore.msi", ""},
                                  {msde, ""}, {"D:\\m\\quick.msi", ""}});
  const std::string controls = " \"c0\" \"c1\" \"c2\" \"c3\" \"c4\" \"c5\" \"c6\" \"c7\" \"c8\" \"c9\" \"c10\" \"c11\" \"c12\""
                               " \"c13\" \"c14\" \"c15\" \"c16\" \"c17\" \"c18\" \"c19\"";
  EXPECT_NE(log.find("Launching: D:\\m\\hang.exe /s\n\n"
                     "PRODUCT1 window: \"Setup\" \"OK\" \"Setup finished.  Click OK.\"\n"
                     "PRODUCT1 window: \"Hung\"\n"
                     "PRODUCT1 window: \"Child\"" + controls + "\n"
                     "PRODUCT1 did not finish within 60 seconds and was ended.\n"
                     "Launch return value is 1460\n\n"),
            std::string::npos) << log;
  std::string hung;
  for (int i = 0; i < 5; ++i) hung += "PRODUCT2 window: \"H\"\n";
  EXPECT_NE(log.find("Launching: D:\\m\\alone.exe \n\n" + hung +
                     "PRODUCT2 did not finish within 60 seconds and was ended.\nLaunch return value is 1460\n\n"),
            std::string::npos) << log;
  EXPECT_NE(log.find("Launching: \n\nPRODUCT3 did not finish within 60 seconds; the installation was cancelled.\n"
                     "There was a problem in launching the install. Return value is 1602\n\n"),
            std::string::npos) << log;
  EXPECT_NE(log.find("Launching: \n\nPRODUCT4 did not finish within 60 seconds; Windows Installer was asked to cancel.\n"
                     "There was a problem in launching the install. Return value is 1603\n\n"),
            std::string::npos) << log;
  EXPECT_NE(log.find("MSDE Launched on a new thread...\n\n"
                     "MSDE setup did not finish within 60 seconds and was ended.\n\n"),
            std::string::npos) << log;
  EXPECT_NE(log.find("Launching: \n\nInstallation launched succesfully.\n"), std::string::npos) << log;
  const std::vector<std::string>& calls = w.processes.Calls();
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "TerminateJobObject 1460"), 2);
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "TerminateProcess 1460"), 1);
  // Every call had the handler, and lost it after.
  EXPECT_EQ(InstallerCalls("MsiSetExternalUIA"), (std::vector<std::string>{"1792", "null", "1792", "null", "1792", "null"}));
  // A cancelled package fails as a failed install does; the run ends with
  // 1460 unless a later item fails.
  const std::vector<StatusMifRecord>& records = w.system.MifRecords();
  ASSERT_EQ(records.size(), 3u);
  EXPECT_FALSE(records[0].success);
  EXPECT_EQ(ctx.exitCode, 1460);
  EXPECT_EQ(ctx.itemLimit, LimitOutcome::kNone);
}

// Two packages that share a prefix share a log: the second adds to it.
TEST_F(LaunchLoopTest, VerboseInstallerLogsAreNamedFromThePackagePrefix) {
  ctx.options.msiLogging = true;
  AddPackage("D:\\a.msi", "A", 0, "NVA");
  AddPackage("D:\\b.msi", "B", 0, "NVA");
  AddPackage("D:\\c.msi", "C", 0);
  Launch({{"D:\\a.msi", ""}, {"D:\\b.msi", ""}, {"D:\\c.msi", ""}});
  const std::string temp = kTemp;
  EXPECT_EQ(InstallerCalls("MsiEnableLogA"),
            (std::vector<std::string>{"8159 " + temp + "MsiNVA.log 2", "8159 " + temp + "MsiNVA.log 3",
                                      "8159 " + temp + "Msi.log 2"}));
}

TEST_F(LaunchLoopTest, MissingPackagesAreLookedForBelowTheAlternativeSource) {
  ctx.options.altSource = "E:\\alt\\";
  ctx.options.verboseTrace = true;
  AddPackage("E:\\alt\\x\\y\\App.msi", "App", 0);
  w.files.AddFile("E:\\alt\\core\\pkg\\z.msi");
  std::string log = Launch({{"D:\\m\\a\\b\\c\\App.msi", ""}, {"msiexec.exe", "/i \"D:\\m\\core\\pkg\\z.msi\" /qn"}});
  EXPECT_EQ(InstallerCalls("MsiInstallProductA"), std::vector<std::string>{"E:\\alt\\x\\y\\app.msi|"});
  EXPECT_NE(log.find("File D:\\m\\a\\b\\c\\App.msi was not found.\n\nlooking for \\app.msi under E:\\alt\n"
                     "found E:\\alt\\x\\y\\app.msi\nis it @ E:\\alt\\x\\y\\app.msi?\n"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("File msiexec.exe was not found.\nlocalPackage=D:\\m\\core\\pkg\\z.msi\n"
                     "core part is =\\core\\pkg\\z.msi\n"
                     "Launching: C:\\Windows\\system32\\msiexec.exe /i \"E:\\alt\\core\\pkg\\z.msi\" /qn\n\n"),
            std::string::npos)
      << log;
}

TEST(ProcessRunnerTest, RunningProgramsMatchByTheirLowerCaseFileName) {
  fake::FakeWindows w;
  w.processes.AddRunning("C:\\Windows\\System32\\MsiExec.EXE");
  EXPECT_TRUE(IsProcessRunning(w.platform, "msiexec.exe"));
  EXPECT_FALSE(IsProcessRunning(w.platform, "MsiExec.exe"));
  EXPECT_FALSE(IsProcessRunning(w.platform, "exec.exe"));
  w.files.AddFile("C:\\x.exe");
  w.processes.SetExitCode("C:\\x.exe", 3010);
  EXPECT_EQ(RunProcess(w.platform, "C:\\x.exe", true), 3010u);
  EXPECT_EQ(RunProcess(w.platform, "C:\\missing.exe", true), 2u);
}

}  // namespace
}  // namespace nv
