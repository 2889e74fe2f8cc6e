#include "deploy/uninstaller.h"

#include <string>

#include "app/registry.h"
#include "app/run_context.h"
#include "deploy/shell_helpers.h"
#include "launch/media_search.h"
#include "platform/text.h"
#include "status/progress_window.h"
#include "status/run_log.h"
#include "status/version.h"

namespace nv {

namespace {

constexpr const char* kSetupKey = "Software\\Norvasoft\\Setup";
constexpr const char* kShortcutName = "Uninstall Norvasoft Software";
constexpr const char* kShortcutDescription = "Norvasoft Uninstaller";
constexpr const char* kNewFolder = "Norva Configuration";
constexpr const char* kOldFolder = "Norvasoft\\Norva Configuration";
// Windows 8 and later carry a kernel32.dll version above this one.
constexpr const char* kWindows8Kernel = "6.2.0.0";

struct UninstallerPaths {
  std::string folder;     // ends in a backslash
  std::string earlier;    // the uninstaller of older releases
  std::string installed;  // the current one, and the shortcut's target
};

// NORVAROOT, trimmed; else "<Program Files>\Norvasoft\". A value that does
// not fit the 260-byte buffer reads as missing. Empty when neither is there:
// the uninstaller would otherwise land at the root of the current drive.
std::string SuiteRoot(Platform& p) {
  std::string root;
  ReadRegistryString(p.registry, RegRoot::LocalMachine, kSetupKey, "NORVAROOT", &root, 260);
  root = MbTrim(p.codePage, root);
  if (!root.empty()) return root;
  const std::string programFiles = MbTrimRightChar(p.codePage, GetSpecialFolder(p, CSIDL_PROGRAM_FILES), '"');
  return programFiles.empty() ? std::string() : programFiles + "\\Norvasoft\\";
}

// The longest path the copy and the shortcut may use (MAX_PATH with its
// terminating zero). A longer one would be cut and name another file.
constexpr size_t kMaxTargetPath = 259;

void LogPathTooLong(RunContext& ctx, const std::string& path) {
  WriteRunLog(ctx, "Uninstaller not deployed: path too long: " + path + "\n");
}

// The folder or file path that would not fit, or empty when both do.
std::string TargetTooLong(const UninstallerPaths& paths) {
  if (paths.folder.size() > kMaxTargetPath) return paths.folder;
  if (paths.installed.size() > kMaxTargetPath) return paths.installed;
  return std::string();
}

UninstallerPaths PathsUnder(const CodePage& cp, const std::string& root) {
  const std::string base = MbTrimRightChar(cp, root, '\\') + "\\Setup\\Uninstall\\";
  return {base, base + "PUninst.exe", base + "Norvasoft Uninstaller.exe"};
}


// The uninstaller on the media, or below the alternative source; empty
// when neither has it. *lastTried is the last path looked at.
std::string FindMediaUninstaller(RunContext& ctx, std::string* lastTried) {
  Platform& p = ctx.platform;
  *lastTried = ctx.plan.coreDir + "Uninstaller\\Norvasoft Uninstaller.exe";
  if (PathExists(p, *lastTried)) return *lastTried;
  if (ctx.options.altSource.empty()) return std::string();
  *lastTried = FindInSubfolders(ctx, ctx.options.altSource, "\\core\\Uninstaller\\Norvasoft Uninstaller.exe");
  return PathExists(p, *lastTried) ? *lastTried : std::string();
}

// The version of whichever uninstaller is installed, the earlier one first;
// empty when none is.
std::string InstalledVersion(Platform& p, const UninstallerPaths& paths) {
  if (PathExists(p, paths.earlier)) return GetFileVersionText(p.files, paths.earlier);
  if (PathExists(p, paths.installed)) return GetFileVersionText(p.files, paths.installed);
  return std::string();
}

void ShowConfiguringUninstaller(RunContext& ctx) {
  ctx.statusText = "Norvasoft Installer is configuring the Uninstaller. Please wait... ";
  WriteRunLog(ctx, "Norvasoft Installer is configuring the Uninstaller \n");
  if (ctx.statusWindow == nullptr) return;
  // Both texts first, then a single repaint.
  ctx.platform.ui.SetItemText(ctx.statusWindow, kStatusTextId, ctx.statusText);
  SetStepText(ctx, "Finalizing...");
  ctx.platform.ui.Repaint(ctx.statusWindow);
}

// The Start-menu folder for the shortcut, from the Windows version that
// kernel32.dll carries.
std::string ShortcutFolder(RunContext& ctx) {
  Platform& p = ctx.platform;
  const std::string kernel = GetFileVersionText(p.files, p.files.SystemDirectory() + "\\kernel32.dll");
  if (CompareVersions(p.codePage, kernel, kWindows8Kernel) > 0) {
    WriteRunLog(ctx, "Creating shortcut under 'Norva Configuration' \n");
    return kNewFolder;
  }
  WriteRunLog(ctx, "Creating shortcut under 'Norvasoft\\Norva Configuration' \n");
  return kOldFolder;
}

}  // namespace

void DeployUninstaller(RunContext& ctx) {
  Platform& p = ctx.platform;
  const std::string root = SuiteRoot(p);
  if (root.empty()) {
    WriteRunLog(ctx, "Uninstaller not deployed: the Program Files folder could not be found.\n");
    return;
  }
  const UninstallerPaths paths = PathsUnder(p.codePage, root);

  std::string lastTried;
  const std::string media = FindMediaUninstaller(ctx, &lastTried);
  if (media.empty()) {
    WriteRunLog(ctx, "Uninstaller not found at media location" + lastTried + "\n");
    return;
  }

  const std::string installedVersion = InstalledVersion(p, paths);
  WriteRunLog(ctx, "Uninstall exe found, and current version is: " + installedVersion);
  const std::string mediaVersion = GetFileVersionText(p.files, media);
  WriteRunLog(ctx, "\n Unistaller current ver :" + installedVersion + " Version in the media :" + mediaVersion + "\n");
  if (CompareVersions(p.codePage, mediaVersion, installedVersion) <= 0) return;
  const std::string tooLong = TargetTooLong(paths);
  if (!tooLong.empty()) {
    LogPathTooLong(ctx, tooLong);
    return;
  }

  // Shortcuts of every earlier layout go before the new one is made.
  for (const char* folder : {"Norvasoft", "Norvasoft\\Norva Configuration", "Norva Configuration"}) {
    DeleteShortcut(p, CSIDL_COMMON_PROGRAMS, folder, kShortcutName);
  }
  ShowConfiguringUninstaller(ctx);
  CreateDirectoryPath(p, paths.folder, true);
  CopyForRun(ctx, media, paths.folder, true);
  ShowWaitCursor(ctx);
  const std::string folder = ShortcutFolder(ctx);
  if (CreateShortcut(p, CSIDL_COMMON_PROGRAMS, folder, kShortcutName, paths.installed, kShortcutDescription) ==
      kShortcutPathTooLong) {
    LogPathTooLong(ctx, GetSpecialFolder(p, CSIDL_COMMON_PROGRAMS) + "\\" + folder + "\\" + kShortcutName + ".lnk");
  }
}

}  // namespace nv
