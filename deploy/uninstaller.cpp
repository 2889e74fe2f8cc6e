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
// not fit the 260-byte buffer reads as missing.
std::string SuiteRoot(Platform& p) {
  std::string root;
  ReadRegistryString(p.registry, RegRoot::LocalMachine, kSetupKey, "NORVAROOT", &root, 260);
  root = MbTrim(p.codePage, root);
  if (!root.empty()) return root;
  return MbTrimRightChar(p.codePage, GetSpecialFolder(p, CSIDL_PROGRAM_FILES), '"') + "\\Norvasoft\\";
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
  const UninstallerPaths paths = PathsUnder(p.codePage, SuiteRoot(p));

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

  // Shortcuts of every earlier layout go before the new one is made.
  for (const char* folder : {"Norvasoft", "Norvasoft\\Norva Configuration", "Norva Configuration"}) {
    DeleteShortcut(p, CSIDL_COMMON_PROGRAMS, folder, kShortcutName);
  }
  ShowConfiguringUninstaller(ctx);
  CreateDirectoryPath(p, paths.folder, true);
  CopyFiles(p, media, paths.folder, true, true);
  ShowWaitCursor(ctx);
  CreateShortcut(p, CSIDL_COMMON_PROGRAMS, ShortcutFolder(ctx), kShortcutName, paths.installed,
                 kShortcutDescription);
}

}  // namespace nv
