#include "deploy/uninstaller.h"

#include <gtest/gtest.h>

#include <optional>

#include "app/run_context.h"
#include "platform/fake/fake_platform.h"
#include "status/run_log.h"

namespace nv {
namespace {

const char kLog[] = "C:\\logs\\run.log";
const char kSetupKey[] = "Software\\Norvasoft\\Setup";
const char kMedia[] = "D:\\media\\core\\Uninstaller\\Norvasoft Uninstaller.exe";
const char kDefaultFolder[] = "C:\\Program Files\\Norvasoft\\Setup\\Uninstall\\";
const char kPrograms[] = "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\";
const char kStatus[] = "Norvasoft Installer is configuring the Uninstaller. Please wait... ";

// A dotted version as the two double words of a version resource; nullopt
// stands for a file without one.
struct Version {
  uint32_t a, b, c, d;
};
using MaybeVersion = std::optional<Version>;

struct Machine {
  Machine() {
    ctx.options.logFile = kLog;
    ctx.plan.coreDir = "D:\\media\\core\\";
    OpenRunLog(ctx);
  }
  void Add(const std::string& path, MaybeVersion v, const std::string& contents = "MZ") {
    w.files.AddFile(path, contents);
    if (v) w.files.SetFileVersion(path, (v->a << 16) | v->b, (v->c << 16) | v->d);
  }
  std::string Log() const { return w.files.Contents(kLog); }
  std::string Link(const std::string& folder) const {
    return w.files.Contents(kPrograms + folder + "\\Uninstall Norvasoft Software.lnk");
  }
  fake::FakeWindows w;
  RunContext ctx{w.platform};
};

TEST(UninstallerTest, SuiteRootFromRegistryOrProgramFiles) {
  struct Row {
    const char* name;
    std::optional<std::string> norvaRoot;
    std::string folder;
  } rows[] = {
      {"no value", std::nullopt, kDefaultFolder},
      {"plain", "E:\\Suite", "E:\\Suite\\Setup\\Uninstall\\"},
      {"trailing backslashes", "E:\\Suite\\\\", "E:\\Suite\\Setup\\Uninstall\\"},
      {"surrounding blanks and tabs", " \tE:\\Suite\\ \t", "E:\\Suite\\Setup\\Uninstall\\"},
      {"blanks only", "   ", kDefaultFolder},
      {"does not fit 260 bytes", "E:\\" + std::string(297, 's'), kDefaultFolder},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Machine m;
    m.Add(kMedia, Version{1, 0, 0, 0});
    if (row.norvaRoot) m.w.registry.SetString(RegRoot::LocalMachine, kSetupKey, "NORVAROOT", *row.norvaRoot);
    DeployUninstaller(m.ctx);
    EXPECT_EQ(m.w.files.Contents(row.folder + "Norvasoft Uninstaller.exe"), "MZ");
    EXPECT_EQ(m.Link("Norva Configuration"), row.folder + "Norvasoft Uninstaller.exe\nNorvasoft Uninstaller");
  }
  // A root naming a file: the file is left as it was.
  Machine m;
  m.Add(kMedia, Version{1, 0, 0, 0});
  m.w.files.AddFile("E:\\suite.txt", "keep");
  m.w.registry.SetString(RegRoot::LocalMachine, kSetupKey, "NORVAROOT", "E:\\suite.txt");
  DeployUninstaller(m.ctx);
  EXPECT_EQ(m.w.files.Contents("E:\\suite.txt"), "keep");
}

// Nothing is copied or made where a path would be cut or the copy would land
// at the root of the current drive; one log line tells why.
TEST(UninstallerTest, RefusesTargetsThatDoNotFitOrCannotBeFound) {
  const std::string longRoot = "E:\\" + std::string(230, 'r');
  const std::string folder = longRoot + "\\Setup\\Uninstall\\";
  struct Row {
    const char* name;
    std::optional<std::string> norvaRoot;
    std::string log;
    std::string programs = "";  // the Start menu's programs folder, when not the usual one
  } rows[] = {
      {"no Program Files", std::nullopt, "Uninstaller not deployed: the Program Files folder could not be found.\n"},
      {"file path too long", longRoot, "Uninstaller not deployed: path too long: " + folder +
                                           "Norvasoft Uninstaller.exe\n"},
      {"folder too long", longRoot + std::string(20, 'f'),
       "Uninstaller not deployed: path too long: " + longRoot + std::string(20, 'f') + "\\Setup\\Uninstall\\\n"},
      {"shortcut path too long", "E:\\Suite",
       "Uninstaller not deployed: path too long: C:\\" + std::string(240, 'p') +
           "\\Norva Configuration\\Uninstall Norvasoft Software.lnk\n",
       "C:\\" + std::string(240, 'p')},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Machine m;
    m.Add(kMedia, Version{1, 0, 0, 0});
    if (row.norvaRoot) {
      m.w.registry.SetString(RegRoot::LocalMachine, kSetupKey, "NORVAROOT", *row.norvaRoot);
    } else {
      m.w.shell.SetFolder(CSIDL_PROGRAM_FILES, "");
    }
    if (!row.programs.empty()) m.w.shell.SetFolder(CSIDL_COMMON_PROGRAMS, row.programs);
    m.w.shell.ClearCalls();
    DeployUninstaller(m.ctx);
    EXPECT_NE(m.Log().find(row.log), std::string::npos) << m.Log();
    for (const std::string& call : m.w.shell.Calls()) {
      // Only the uninstaller's copy is made when the shortcut alone does not fit.
      if (row.programs.empty()) {
        EXPECT_EQ(call.find("SHFileOperationA"), std::string::npos) << call;
      }
      EXPECT_EQ(call.find("Save"), std::string::npos) << call;
    }
  }
}

TEST(UninstallerTest, CopiesOnlyANewerMediaUninstaller) {
  struct Row {
    const char* name;
    bool earlierPresent, installedPresent;
    MaybeVersion earlier, installed, media;
    const char* shownInstalled;
    const char* shownMedia;
    bool copies;
  } rows[] = {
      {"nothing installed", false, false, {}, {}, Version{1, 0, 0, 0}, "", "1.0.0.0", true},
      {"equal versions", false, true, {}, Version{2, 0, 0, 0}, Version{2, 0, 0, 0}, "2.0.0.0", "2.0.0.0", false},
      {"numeric, not text", false, true, {}, Version{9, 9, 0, 0}, Version{10, 0, 0, 0}, "9.9.0.0", "10.0.0.0", true},
      {"installed is newer", false, true, {}, Version{3, 0, 0, 0}, Version{2, 0, 0, 0}, "3.0.0.0", "2.0.0.0", false},
      {"earlier copy decides: newer", true, true, Version{3, 0, 0, 0}, Version{1, 0, 0, 0}, Version{2, 0, 0, 0},
       "3.0.0.0", "2.0.0.0", false},
      {"earlier copy decides: older", true, true, Version{1, 0, 0, 0}, Version{3, 0, 0, 0}, Version{2, 0, 0, 0},
       "1.0.0.0", "2.0.0.0", true},
      {"media without version", false, false, {}, {}, std::nullopt, "", "", false},
      {"installed without version", false, true, {}, std::nullopt, Version{0, 0, 0, 1}, "", "0.0.0.1", true},
  };
  const std::string earlier = std::string(kDefaultFolder) + "PUninst.exe";
  const std::string installed = std::string(kDefaultFolder) + "Norvasoft Uninstaller.exe";
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Machine m;
    if (row.earlierPresent) m.Add(earlier, row.earlier, "old");
    if (row.installedPresent) m.Add(installed, row.installed, "installed");
    m.Add(kMedia, row.media, "media");
    m.w.shell.ClearCalls();

    DeployUninstaller(m.ctx);
    std::string expected = std::string("Uninstall exe found, and current version is: ") + row.shownInstalled +
                           "\n Unistaller current ver :" + row.shownInstalled + " Version in the media :" +
                           row.shownMedia + "\n";
    if (row.copies) {
      expected +=
          "Norvasoft Installer is configuring the Uninstaller \nCreating shortcut under 'Norva Configuration' \n";
    } else {
      // No shortcut removed or made, nothing copied.
      EXPECT_EQ(m.w.shell.Calls(), std::vector<std::string>{"SHGetFolderLocation 38"});
    }
    EXPECT_EQ(m.Log(), expected);
    EXPECT_EQ(m.w.files.Contents(installed), row.copies ? "media" : (row.installedPresent ? "installed" : ""));
    if (row.earlierPresent) {
      EXPECT_EQ(m.w.files.Contents(earlier), "old");
    }
  }
}

TEST(UninstallerTest, ShortcutFolderFollowsTheKernelVersion) {
  struct Row {
    MaybeVersion kernel;  // nullopt: no kernel32.dll
    const char* folder;
  } rows[] = {
      {Version{6, 1, 7601, 17514}, "Norvasoft\\Norva Configuration"},
      {Version{6, 2, 0, 0}, "Norvasoft\\Norva Configuration"},
      {Version{6, 2, 9200, 16384}, "Norva Configuration"},
      {Version{10, 0, 19041, 1}, "Norva Configuration"},
      {std::nullopt, "Norvasoft\\Norva Configuration"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.folder);
    Machine m;
    m.w.files.Erase("C:\\Windows\\system32\\kernel32.dll");
    if (row.kernel) m.Add("C:\\Windows\\system32\\kernel32.dll", row.kernel);
    m.Add(kMedia, Version{1, 0, 0, 0});
    DeployUninstaller(m.ctx);
    const std::string log = m.Log();
    EXPECT_EQ(log.substr(log.rfind("Creating")), "Creating shortcut under '" + std::string(row.folder) + "' \n");
    EXPECT_EQ(m.Link(row.folder), std::string(kDefaultFolder) + "Norvasoft Uninstaller.exe\nNorvasoft Uninstaller");
  }
}

TEST(UninstallerTest, EarlierShortcutsGoInOrderAndTheWindowIsRepaintedOnce) {
  for (bool withWindow : {false, true}) {
    SCOPED_TRACE(withWindow);
    Machine m;
    const char* folders[] = {"Norvasoft", "Norvasoft\\Norva Configuration", "Norva Configuration"};
    std::vector<std::string> deletes;
    for (const char* folder : folders) {
      const std::string link = kPrograms + std::string(folder) + "\\Uninstall Norvasoft Software.lnk";
      m.w.files.AddFile(link, "old");
      deletes.push_back("DeleteFile " + link);
    }
    m.Add(kMedia, Version{1, 0, 0, 0});
    if (withWindow) m.ctx.statusWindow = m.w.ui.CreateStatusDialog(nullptr, "");
    m.w.files.ClearCalls();

    DeployUninstaller(m.ctx);
    std::vector<std::string> calls;
    for (const std::string& call : m.w.files.Calls()) {
      if (call.rfind("DeleteFile ", 0) == 0) calls.push_back(call);
    }
    EXPECT_EQ(calls, deletes);
    EXPECT_EQ(m.Link("Norvasoft"), "");
    EXPECT_EQ(m.w.ui.WaitCursors(), 1);
    // The status text is set in both modes; only a window is repainted.
    EXPECT_EQ(m.ctx.statusText, kStatus);
    EXPECT_EQ(m.w.ui.StatusWindows().size(), withWindow ? 1u : 0u);
    if (withWindow) {
      EXPECT_EQ(m.w.ui.StatusWindows()[0].repaints, std::vector<std::string>{std::string(kStatus) + "|Finalizing..."});
    }
  }
}

TEST(UninstallerTest, MediaUninstallerFromCoreOrBelowTheAlternativeSource) {
  const std::string below = "F:\\alt\\disk1\\core\\Uninstaller\\Norvasoft Uninstaller.exe";
  struct Row {
    const char* name;
    std::string altSource;
    bool belowPresent;
    bool copied;
    std::string log;  // up to the versions line
  } rows[] = {
      {"no alternative source", "", true, false,
       "Uninstaller not found at media locationD:\\media\\core\\Uninstaller\\Norvasoft Uninstaller.exe\n"},
      {"nothing below the alternative source", "F:\\alt\\", false, false, "Uninstaller not found at media location\n"},
      {"found below the alternative source", "F:\\alt\\", true, true,
       "found " + below +
           "\nUninstall exe found, and current version is: \n Unistaller current ver : Version in the media "
           ":2.0.0.0\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Machine m;
    m.ctx.options.altSource = row.altSource;
    m.w.files.AddDir("F:\\alt\\disk1\\core");
    if (row.belowPresent) m.Add(below, Version{2, 0, 0, 0}, "from alt");
    DeployUninstaller(m.ctx);
    EXPECT_EQ(m.Log().substr(0, row.log.size()), row.log);
    EXPECT_EQ(m.w.files.Contents(std::string(kDefaultFolder) + "Norvasoft Uninstaller.exe"),
              row.copied ? "from alt" : "");
  }
}

}  // namespace
}  // namespace nv
