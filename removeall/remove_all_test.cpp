#include "removeall/remove_all.h"

#include <gtest/gtest.h>

#include "app/run_context.h"
#include "platform/fake/fake_platform.h"
#include "status/run_log.h"

namespace nv {
namespace {

const char kLog[] = "C:\\logs\\run.log";
const char kHead[] =
    "Norvasoft Silent Uninstaller will uninstall all norvasoft products in the system. \nFinding Norvasoft "
    "products... \n";
// The suite's folders on the fake's 64-bit Windows.
const char* const kSuiteFolders[] = {
    "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Norvasoft",
    "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Norva Configuration",
    "C:\\Program Files\\Norvasoft\\Setup\\Uninstall",
    "C:\\Program Files (x86)\\Norvasoft\\Setup\\Uninstall",
};

std::string Code(int n) {
  char text[40];
  std::snprintf(text, sizeof text, "{11111111-2222-3333-4444-%012d}", n);
  return text;
}

struct Machine {
  Machine() {
    ctx.options.logFile = kLog;
    OpenRunLog(ctx);
    for (const char* folder : kSuiteFolders) {
      w.files.AddFile(std::string(folder) + "\\inner\\file.txt", "x", FILE_ATTRIBUTE_READONLY);
    }
    w.system.SetMifLibrary(fake::FakeSystem::MifLibrary::Present);
  }
  void Add(int n, const std::string& title, uint32_t result = 0, const std::string& prefix = "") {
    std::map<std::string, std::string> properties;
    if (!prefix.empty()) properties["NVProductPrefix"] = prefix;
    w.installer.AddProduct(Code(n), properties, {{"Publisher", "Norvasoft"}, {"InstalledProductName", title}});
    w.installer.SetResult(Code(n), result);
  }
  std::string Log() const { return w.files.Contents(kLog); }
  std::vector<std::string> Calls(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const std::string& call : w.installer.Calls()) {
      if (call.rfind(prefix, 0) == 0) out.push_back(call);
    }
    return out;
  }
  int FoldersLeft() const {
    int left = 0;
    for (const char* folder : kSuiteFolders) left += w.files.Exists(folder);
    return left;
  }
  fake::FakeWindows w;
  RunContext ctx{w.platform};
};

TEST(RemoveAllTest, NothingToRemoveLeavesTheFoldersAlone) {
  Machine m;
  m.w.installer.AddProduct(Code(1), {}, {{"Publisher", "Other"}, {"InstalledProductName", "Other"}});
  EXPECT_EQ(RemoveAllProducts(m.ctx), 0);
  EXPECT_EQ(m.Log(), std::string(kHead) +
                         "Number of products found: 0 \n\nStarting Uninstall... \n\nNo Norvasoft products were "
                         "found.\n12/08/26 02:39:57 done.");
  EXPECT_EQ(m.FoldersLeft(), 4);
  EXPECT_TRUE(m.Calls("MsiConfigureProductExA").empty());
  EXPECT_EQ(m.w.installer.uiLevel(), INSTALLUILEVEL_NONE);
  EXPECT_FALSE(m.ctx.log.closed) << "closed by the caller, after the restart";
  EXPECT_EQ(m.w.system.RestartRequests(), 0);
  EXPECT_EQ(m.w.ui.WaitCursors(), 1);
}

// A restart against /noreboot could lose a user's unsaved work: the run
// says so instead.
TEST(RemoveAllTest, LogsEachResultAndHonoursNoRebootAfterA3010) {
  Machine m;
  m.Add(1, "Gamma", 1603);
  m.Add(2, "Alpha", 0);
  m.Add(3, "Beta", 3010);
  m.ctx.options.rebootMode = -1;
  m.ctx.options.statusMif = true;  // but silent: no record
  EXPECT_EQ(RemoveAllProducts(m.ctx), 1603);
  EXPECT_EQ(m.Log(), std::string(kHead) +
                         "Number of products found: 3 \n\nStarting Uninstall... \n\n"
                         "Uninstalling product: 1 of: 3 \n\nProduct Alpha is being uninstalled.\n"
                         "Uninstall launched succesfully.\n\n\n\n"
                         "Uninstalling product: 2 of: 3 \n\nProduct Beta is being uninstalled.\n"
                         "Reboot was requested. Return value is 3010\n\n\n"
                         "Uninstalling product: 3 of: 3 \n\nProduct Gamma is being uninstalled.\n"
                         "There was a problem in launching the install. Return value is 1603\n\n\n"
                         "12/08/26 02:39:57 done.A restart is needed; not restarting because of /noreboot.\n");
  std::vector<std::string> removals;
  for (int n : {2, 3, 1}) {
    removals.push_back("MsiConfigureProductExA " + Code(n) +
                       " 65535 2 REBOOT=ReallySuppress REMOVE=ALL UILevel=2 SETUPTYPE=Server COMPATVALIDATED=1");
  }
  EXPECT_EQ(m.Calls("MsiConfigureProductExA"), removals);
  EXPECT_EQ(m.w.installer.Calls().front(), "MsiSetInternalUI 2");
  EXPECT_TRUE(m.Calls("MsiEnableLogA").empty());
  EXPECT_EQ(m.FoldersLeft(), 0);  // whatever the results
  EXPECT_TRUE(m.w.files.Exists("C:\\Program Files\\Norvasoft\\Setup"));
  EXPECT_TRUE(m.w.ui.MessageBoxes().empty());
  EXPECT_TRUE(m.w.ui.StatusWindows().empty());
  EXPECT_TRUE(m.w.system.MifRecords().empty());
  EXPECT_EQ(m.w.system.RestartRequests(), 0);
}

// Windows Installer is asked to cancel a removal that runs out of time; the
// run ends with 1460, not with the 1602 that reads as a person's cancel.
TEST(RemoveAllTest, ARemovalThatRunsOutOfTimeIsCancelled) {
  Machine m;
  m.ctx.options.itemTimeout = 30;
  m.Add(1, "Alpha", 0);
  m.w.installer.SetDuration(Code(1), 31000);
  m.Add(2, "Beta", 0);
  EXPECT_EQ(RemoveAllProducts(m.ctx), 1460);
  EXPECT_NE(m.Log().find("Product Alpha is being uninstalled.\n"
                         "Product Alpha did not finish within 30 seconds; the removal was cancelled.\n"
                         "There was a problem in launching the install. Return value is 1602\n"),
            std::string::npos)
      << m.Log();
  EXPECT_NE(m.Log().find("Product Beta is being uninstalled.\nUninstall launched succesfully.\n"), std::string::npos);
}

TEST(RemoveAllTest, InteractiveRunShowsTitlesReportsRecordsAndAsksBeforeRestarting) {
  for (bool statusMif : {false, true}) {
    SCOPED_TRACE(statusMif);
    Machine m;
    m.Add(1, "Bad", 1603);
    m.Add(2, "Good", 3010);
    m.ctx.options.interactive = true;
    m.ctx.options.statusMif = statusMif;
    m.w.ui.QueueAnswer(IDNO);
    // The failed removal's result, though a later one succeeded.
    EXPECT_EQ(RemoveAllProducts(m.ctx), 1603);
    ASSERT_EQ(m.w.ui.StatusWindows().size(), 1u);
    EXPECT_EQ(m.w.ui.StatusWindows()[0].repaints,
              (std::vector<std::string>{"Norvasoft Installer is uninstalling 'Bad'. Please wait...|",
                                        "Norvasoft Installer is uninstalling 'Good'. Please wait...|"}));
    EXPECT_TRUE(m.w.ui.StatusWindows()[0].destroyed);
    ASSERT_EQ(m.w.ui.MessageBoxes().size(), 1u);
    EXPECT_EQ(m.w.ui.MessageBoxes()[0].flags,
              static_cast<uint32_t>(MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND | MB_TOPMOST));
    EXPECT_EQ(m.w.system.RestartRequests(), 0);
    const auto& records = m.w.system.MifRecords();
    ASSERT_EQ(records.size(), statusMif ? 2u : 0u);
    if (!statusMif) continue;
    EXPECT_EQ(records[0].product + "|" + records[0].version + "|" + records[0].message, "Bad||Uninstallation Failure");
    EXPECT_EQ(records[1].product + "|" + records[1].version + "|" + records[1].message,
              "Good||Uninstallation Successful");
  }
}

TEST(RemoveAllTest, VerboseLogsNamedByPrefixSharedWithoutOne) {
  Machine m;
  m.Add(1, "One");
  m.Add(2, "Two", 0, "ABC");
  m.Add(3, "Three");
  m.ctx.options.msiLogging = true;
  RemoveAllProducts(m.ctx);
  const std::string temp = "C:\\Users\\admin\\AppData\\Local\\Temp\\";
  EXPECT_EQ(m.Calls("MsiEnableLogA"), (std::vector<std::string>{"MsiEnableLogA 8159 " + temp + "Msi.log 2",
                                                               "MsiEnableLogA 8159 " + temp + "Msi.log 3",
                                                               "MsiEnableLogA 8159 " + temp + "MsiABC.log 2"}));
}

TEST(RemoveAllTest, TwoHundredProductsAreEachRemovedOnce) {
  Machine m;
  for (int n = 1; n <= 200; ++n) {
    char title[16];
    std::snprintf(title, sizeof title, "Product %03d", n);
    m.Add(n, title);
  }
  RemoveAllProducts(m.ctx);
  EXPECT_EQ(m.Calls("MsiConfigureProductExA").size(), 200u);
  EXPECT_NE(m.Log().find("Number of products found: 200 \n\n"), std::string::npos);
  EXPECT_NE(m.Log().find("Uninstalling product: 200 of: 200 \n\nProduct Product 200 is being"), std::string::npos);
}

TEST(RemoveAllTest, FolderWhoseBaseCannotBeResolvedIsSkipped) {
  Machine m;
  m.w.shell.SetFolder(CSIDL_PROGRAM_FILESX86, "");
  m.w.shell.SetFolder(CSIDL_COMMON_STARTMENU, "\"\"");  // only quotes: nothing left either
  m.w.files.AddFile("C:\\Norvasoft\\Setup\\Uninstall\\keep.txt");
  m.w.files.AddFile("C:\\Programs\\Norvasoft\\keep.txt");
  RemoveSuiteFolders(m.w.platform);
  EXPECT_TRUE(m.w.files.Exists("C:\\Norvasoft\\Setup\\Uninstall\\keep.txt"));
  EXPECT_TRUE(m.w.files.Exists("C:\\Programs\\Norvasoft\\keep.txt"));
  EXPECT_EQ(m.FoldersLeft(), 3);
  EXPECT_FALSE(m.w.files.Exists(kSuiteFolders[2]));
}

}  // namespace
}  // namespace nv
