#include "app/environment_checks.h"

#include <gtest/gtest.h>

#include "app/run_context.h"
#include "platform/fake/fake_platform.h"

namespace nv {
namespace {

const char kMsi[] = "C:\\Windows\\system32\\msi.dll";
const char kNet[] = "C:\\Windows\\system32\\net.exe";
const char kInstallerKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Installer";
const char kUpgradeText[] = "Norvasoft Installer is configuring the Windows Installer. Please wait...";
constexpr uint32_t k9x = VER_PLATFORM_WIN32_WINDOWS;
constexpr uint32_t kNT = VER_PLATFORM_WIN32_NT;

// One fake Windows with an old engine on XP, the class cache cleared.
struct Machine {
  explicit Machine(const std::string& programDir = "D:\\media\\") {
    ResetWindowsClassCache();
    ctx.programDir = programDir;
    w.files.SetFileVersion(kMsi, 0x00020000, 0);
    w.system.SetWindowsVersion(kNT, 5, 1);
  }
  ~Machine() { ResetWindowsClassCache(); }
  std::string Package() const { return ctx.programDir + "WindowsInstaller-KB893803-v2-x86.exe"; }
  void ExpectBoxes(const std::vector<fake::MessageBoxCall>& expected) const {
    const auto& boxes = w.ui.MessageBoxes();
    ASSERT_EQ(boxes.size(), expected.size());
    for (size_t i = 0; i < boxes.size(); ++i) {
      EXPECT_EQ(boxes[i].owner, expected[i].owner);
      EXPECT_EQ(boxes[i].text, expected[i].text);
      EXPECT_EQ(boxes[i].caption, expected[i].caption);
      EXPECT_EQ(boxes[i].flags, expected[i].flags);
    }
  }
  fake::FakeWindows w;
  RunContext ctx{w.platform};
};

TEST(EnvironmentChecksTest, ClassifiesEachWindowsFamilyAndKeepsOnlyAKnownOne) {
  struct Row {
    uint32_t platformId, major, minor, expected;
  } rows[] = {
      {k9x, 3, 95, kWindows95},     {k9x, 4, 0, kWindows95},      {k9x, 4, 9, kWindows95},
      {k9x, 4, 10, kWindows98OrMe}, {k9x, 4, 90, kWindows98OrMe}, {k9x, 5, 0, kWindows98OrMe},
      {kNT, 3, 51, kWindowsNT351},  {kNT, 3, 50, 0},              {kNT, 4, 0, kWindowsNT4},
      {kNT, 5, 0, kWindows2000},    {kNT, 5, 1, kWindowsXP},      {kNT, 5, 2, kWindowsServer2003},
      {kNT, 5, 3, 0},               {kNT, 6, 0, 0},               {kNT, 10, 0, 0},
      {0, 5, 1, 0},
  };
  Machine m;
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.platformId) + " " + std::to_string(row.major) + "." + std::to_string(row.minor));
    ResetWindowsClassCache();
    m.w.system.SetWindowsVersion(row.platformId, row.major, row.minor);
    EXPECT_EQ(ClassifyWindows(m.w.platform), row.expected);
  }
  // 0 is asked again; a known class is kept for the process.
  ResetWindowsClassCache();
  m.w.system.SetWindowsVersion(kNT, 10, 0);
  EXPECT_EQ(ClassifyWindows(m.w.platform), 0u);
  m.w.system.SetWindowsVersion(kNT, 5, 1);
  EXPECT_EQ(ClassifyWindows(m.w.platform), kWindowsXP);
  m.w.system.SetWindowsVersion(kNT, 5, 0);
  EXPECT_EQ(ClassifyWindows(m.w.platform), kWindowsXP);
}

TEST(EnvironmentChecksTest, VersionGate) {
  enum Outcome { kGoOn, kUpgraded, kUnsupported, kNoPackage };
  struct Row {
    const char* name;
    bool hasVersion;
    uint32_t ms, ls;  // msi.dll's file version
    uint32_t platformId, major, minor;
    bool packagePresent;
    Outcome outcome;
  } rows[] = {
      {"exactly 3.1.4000.1830", true, 0x00030001, 0x0FA00726, kNT, 5, 1, true, kGoOn},
      {"3.1.4000.1829", true, 0x00030001, 0x0FA00725, kNT, 5, 1, true, kUpgraded},
      {"recent engine on Windows 95", true, 0x00030001, 0x0FA00726, k9x, 4, 0, false, kGoOn},
      {"old engine on Windows 95", true, 0x00020000, 0, k9x, 4, 0, true, kUnsupported},
      {"old engine on Windows Me", true, 0x00020000, 0, k9x, 4, 90, true, kUnsupported},
      {"old engine on NT 4.0", true, 0x00020000, 0, kNT, 4, 0, true, kUnsupported},
      {"old engine on Windows 2000", true, 0x00020000, 0, kNT, 5, 0, true, kUpgraded},
      {"old engine on Server 2003", true, 0x00020000, 0, kNT, 5, 2, true, kUpgraded},
      {"old engine on NT 3.51", true, 0x00020000, 0, kNT, 3, 51, false, kGoOn},
      {"old engine on Vista", true, 0x00020000, 0, kNT, 6, 0, false, kGoOn},
      {"no version resource is 0.0.0.0", false, 0, 0, kNT, 5, 1, true, kUpgraded},
      {"package missing on XP", true, 0x00020000, 0, kNT, 5, 1, false, kNoPackage},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Machine m;
    m.w.files.Erase(kMsi);
    m.w.files.AddFile(kMsi);
    if (row.hasVersion) m.w.files.SetFileVersion(kMsi, row.ms, row.ls);
    m.w.system.SetWindowsVersion(row.platformId, row.major, row.minor);
    if (row.packagePresent) m.w.files.AddFile(m.Package());

    EXPECT_EQ(CheckInstallerVersion(m.ctx), row.outcome == kGoOn || row.outcome == kUpgraded);
    EXPECT_EQ(m.w.processes.Started().size(), row.outcome == kUpgraded ? 1u : 0u);
    EXPECT_EQ(m.w.ui.StatusWindows().size(), row.outcome == kUpgraded ? 1u : 0u);
    const uint32_t warning = MB_ICONWARNING;
    if (row.outcome == kUnsupported) {
      m.ExpectBoxes({{Owner::None,
                      "This version of Windows is not supported.\nSupported versions are Windows 2000 SP3 and "
                      "higher, Windows XP and higher, and Windows Server 2003.\nInstallation is stopped.",
                      "Norvasoft Installer", warning}});
    } else if (row.outcome == kNoPackage) {
      m.ExpectBoxes({{Owner::None,
                      "Windows Installer version 3.1.4000.2435 or higher is required.\nPlease upgrade the Windows "
                      "Installer engine on this computer, or make sure that the file "
                      "WindowsInstaller-KB893803-v2-x86.exe is available at D:\\media\\.\nInstallation is stopped.",
                      "Norvasoft Installer", warning}});
    } else {
      m.ExpectBoxes({});
    }
  }
}

TEST(EnvironmentChecksTest, UpgradeRunsQuotedUnderTheStatusWindowThenLoadsTheNewEngine) {
  // Blanks in the program folder, and a planted program where an unquoted
  // command line would be taken apart.
  Machine m("C:\\Program Files\\Norva Media\\");
  m.w.files.AddFile("C:\\Program.exe");
  m.w.files.AddFile(m.Package());
  m.w.registry.SetString(RegRoot::LocalMachine, kInstallerKey, "InstallerLocation", "C:\\Windows\\system32");
  std::string shownWhileRunning;
  m.w.processes.SetAction(m.Package(), [&](const std::string&) {
    const auto& window = m.w.ui.StatusWindows().back();
    shownWhileRunning = window.destroyed ? "destroyed" : window.repaints.back();
    return 1603u;  // a failed upgrade does not stop the run
  });

  EXPECT_TRUE(CheckInstallerVersion(m.ctx));
  EXPECT_EQ(m.w.processes.Calls(), std::vector<std::string>{"CreateProcessA \"" + m.Package() +
                                                            "\" /quiet /norestart -> " + m.Package()});
  EXPECT_EQ(shownWhileRunning, std::string(kUpgradeText) + "|");
  EXPECT_EQ(m.ctx.statusText, kUpgradeText);
  EXPECT_TRUE(m.w.ui.StatusWindows()[0].destroyed);
  EXPECT_EQ(m.ctx.statusWindow, nullptr);
  EXPECT_EQ(m.w.system.Calls(), std::vector<std::string>{"LoadLibraryA C:\\Windows\\system32\\msi.dll"});
}

TEST(EnvironmentChecksTest, UpgradeCommandLineIsNeverCut) {
  // 250 characters: the command line passes 260 and is started whole. Past
  // what CreateProcessA takes it is not started at all, as after a failed
  // upgrade.
  for (size_t folderChars : {250u, 32800u}) {
    SCOPED_TRACE(folderChars);
    Machine m("D:\\" + std::string(folderChars - 4, 'm') + "\\");
    m.w.files.AddFile(m.Package());
    m.w.registry.SetString(RegRoot::LocalMachine, kInstallerKey, "InstallerLocation", "");
    EXPECT_TRUE(CheckInstallerVersion(m.ctx));
    std::vector<std::string> calls;
    if (folderChars == 250) {
      calls.push_back("CreateProcessA \"" + m.Package() + "\" /quiet /norestart -> " + m.Package());
    }
    EXPECT_EQ(m.w.processes.Calls(), calls);
    // An empty InstallerLocation loads nothing (not "\msi.dll" from the root
    // of the current drive).
    EXPECT_TRUE(m.w.system.Calls().empty());
  }
}

TEST(EnvironmentChecksTest, BusyInstallerCheck) {
  struct Row {
    const char* name;
    bool netPresent;
    uint32_t netExit;
    const char* running;  // a running process, or null
    bool goOn, errorBox;
  } rows[] = {
      {"service stopped", true, 0, "C:\\Windows\\system32\\msiexec.exe", true, false},
      {"service not running, no installer", true, 2, nullptr, true, false},
      {"stop failed, other program", true, 2, "C:\\tools\\msiexec.exe.bak", true, false},
      {"stop failed, installer running", true, 2, "C:\\WINDOWS\\System32\\MSIEXEC.EXE", false, false},
      {"net.exe cannot start, no installer", false, 0, nullptr, true, true},
      {"net.exe cannot start, installer running", false, 0, "msiexec.exe", false, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Machine m;
    // Planted next to the program and in the current folder: never run.
    m.w.files.AddFile("D:\\media\\net.exe");
    m.w.files.AddFile("C:\\net.exe");
    if (row.netPresent) m.w.files.AddFile(kNet);
    else m.w.files.Erase(kNet);
    m.w.processes.SetExitCode(kNet, row.netExit);
    if (row.running != nullptr) m.w.processes.AddRunning(row.running);

    EXPECT_EQ(CheckInstallerBusy(m.ctx), row.goOn);
    std::vector<fake::MessageBoxCall> boxes;
    if (row.errorBox) {
      boxes.push_back({Owner::None, "The system cannot find the file specified.\r\n", "Error", MB_ICONINFORMATION});
      EXPECT_EQ(m.w.processes.Calls(), std::vector<std::string>{"CreateProcessA \"" + std::string(kNet) +
                                                                "\" stop msiserver -> error 2"});
    } else {
      EXPECT_EQ(m.w.processes.Calls(), std::vector<std::string>{"CreateProcessA \"" + std::string(kNet) +
                                                                "\" stop msiserver -> " + kNet});
    }
    if (!row.goOn) {
      boxes.push_back({Owner::None,
                       "An error was encountered.  Please ensure that no other installations are currently running "
                       "before proceeding with this install.",
                       "Norvasoft Installer", MB_OK});
    }
    m.ExpectBoxes(boxes);
  }
  // Any start failure of an existing net.exe is reported the same way.
  Machine m;
  m.w.processes.FailStart(kNet, 5);
  m.w.processes.AddRunning("msiexec.exe");
  EXPECT_FALSE(CheckInstallerBusy(m.ctx));
  ASSERT_EQ(m.w.ui.MessageBoxes().size(), 2u);
  EXPECT_EQ(m.w.ui.MessageBoxes()[0].text, "Access is denied.\r\n");
}

}  // namespace
}  // namespace nv
