#include "app/environment_checks.h"

#include <algorithm>
#include <string>

#include "app/registry.h"
#include "app/run_context.h"
#include "deploy/shell_helpers.h"
#include "launch/launch_loop.h"
#include "launch/process_runner.h"
#include "status/progress_window.h"
#include "status/run_log.h"
#include "status/version.h"

namespace nv {

namespace {

constexpr const char* kInstallerCaption = "Norvasoft Installer";
constexpr const char* kRequiredEngine = "3.1.4000.1830";
constexpr const char* kUpgradePackage = "WindowsInstaller-KB893803-v2-x86.exe";
constexpr const char* kUpgradeSwitches = " /quiet /norestart";
constexpr const char* kUpgradeStatus = "Norvasoft Installer is configuring the Windows Installer. Please wait...";
constexpr const char* kInstallerKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Installer";
constexpr const char* kBusyWaitStatus =
    "Norvasoft Installer is waiting for another installation to finish. Please wait...";
constexpr uint32_t kBusyCheckMilliseconds = 5000;

constexpr const char* kUnsupportedWindows =
    "This version of Windows is not supported.\n"
    "Supported versions are Windows 2000 SP3 and higher, Windows XP and higher, and Windows Server 2003.\n"
    "Installation is stopped.";
constexpr const char* kBusyInstaller =
    "An error was encountered.  Please ensure that no other installations are currently running before "
    "proceeding with this install.";

uint32_t g_windowsClass = 0;

uint32_t ClassifyVersion(const WindowsVersionInfo& v) {
  if (v.platformId == VER_PLATFORM_WIN32_WINDOWS) {
    if (v.major < 4 || (v.major == 4 && v.minor < 10)) return kWindows95;
    return kWindows98OrMe;
  }
  if (v.platformId != VER_PLATFORM_WIN32_NT) return 0;
  if (v.major == 3 && v.minor == 51) return kWindowsNT351;
  if (v.major == 4) return kWindowsNT4;
  if (v.major == 5 && v.minor == 0) return kWindows2000;
  if (v.major == 5 && v.minor == 1) return kWindowsXP;
  if (v.major == 5 && v.minor == 2) return kWindowsServer2003;
  return 0;
}

// msi.dll's file version in the system folder; 0.0.0.0 when it cannot be
// read, which counts as too old.
std::string EngineVersion(Platform& p) {
  std::string version = GetFileVersionText(p.files, p.files.SystemDirectory() + "\\msi.dll");
  return version.empty() ? "0.0.0.0" : version;
}

void ShowWarning(Platform& p, const std::string& text) {
  p.ui.ShowMessageBox(Owner::None, nullptr, text, kInstallerCaption, MB_OK | MB_ICONWARNING);
}

// Runs the engine upgrade under the status window, shown whatever the mode
// since the switches are not known yet. Its outcome is not looked at.
void RunEngineUpgrade(RunContext& ctx, const std::string& package) {
  // The program folder may hold blanks: unquoted, CreateProcessA would try
  // "C:\Program.exe" and the like first.
  const std::string commandLine = "\"" + package + "\"" + kUpgradeSwitches;
  if (commandLine.size() > kMaxCommandLine) return;
  CreateProgressWindow(ctx);
  SetStatus(ctx, kUpgradeStatus);
  RunProcess(ctx.platform, commandLine, true);
  DestroyProgressWindow(ctx);
}

// Loads the (possibly new) engine before any Windows Installer function is
// bound. Without a location nothing is loaded: a bare "\msi.dll" would be
// looked for at the root of the current drive.
void LoadInstalledEngine(Platform& p) {
  std::string location;
  if (!ReadRegistryString(p.registry, RegRoot::LocalMachine, kInstallerKey, "InstallerLocation", &location, 260)) {
    return;
  }
  if (location.empty()) return;
  p.system.LoadLibraryForProcess(location + "\\msi.dll");
}

// The installer is busy: stopping its service fails while a msiexec.exe
// process still runs. A start failure of net.exe is shown (when
// showStartError is set) and counts as the result.
bool AnotherInstallationRunning(RunContext& ctx, bool showStartError) {
  Platform& p = ctx.platform;
  // By full path from the system folder: a bare "net" would be looked for in
  // the program's and the current folder first, where anyone could plant one.
  const std::string net = p.files.SystemDirectory() + "\\net.exe";
  bool created = false;
  uint32_t result = RunProcess(p, "\"" + net + "\" stop msiserver", true, &created);
  if (!created && showStartError) {
    p.ui.ShowMessageBox(Owner::None, nullptr, p.system.SystemMessage(result), "Error", MB_OK | MB_ICONINFORMATION);
  }
  if (result == 0) return false;
  return IsProcessRunning(p, "msiexec.exe");
}

// Checks again every 5 seconds (the last wait cut to the time left) while
// the budget lasts. The service's own msiexec.exe stays up after the other
// installation ends, so each check stops the service again. True when the
// other installation has ended.
bool WaitForOtherInstallation(RunContext& ctx, uint32_t budgetSeconds) {
  System& system = ctx.platform.system;
  WriteRunLog(ctx, "Another installation is running; waiting up to " + std::to_string(budgetSeconds) +
                       " seconds for it to finish.\n");
  if (ctx.options.interactive) {
    CreateProgressWindow(ctx);
    SetStatus(ctx, kBusyWaitStatus);
  }
  const uint64_t budget = uint64_t{budgetSeconds} * 1000;
  const uint32_t start = system.TickCount();
  bool ended = false;
  for (;;) {
    const uint32_t waited = system.TickCount() - start;
    if (waited >= budget) break;
    system.WaitServicingWindows(static_cast<uint32_t>(std::min<uint64_t>(kBusyCheckMilliseconds, budget - waited)));
    if (!AnotherInstallationRunning(ctx, false)) {
      ended = true;
      break;
    }
  }
  if (ctx.options.interactive) DestroyProgressWindow(ctx);
  if (ended) {
    const uint32_t seconds = (system.TickCount() - start + 500) / 1000;
    WriteRunLog(ctx, "The other installation has finished after " + std::to_string(seconds) + " seconds.\n");
  }
  return ended;
}

}  // namespace

uint32_t ClassifyWindows(Platform& platform) {
  if (g_windowsClass != 0) return g_windowsClass;
  WindowsVersionInfo version;
  if (!platform.system.WindowsVersion(&version)) return 0;
  g_windowsClass = ClassifyVersion(version);
  return g_windowsClass;
}

void ResetWindowsClassCache() { g_windowsClass = 0; }

bool CheckInstallerVersion(RunContext& ctx) {
  Platform& p = ctx.platform;
  if (CompareVersions(p.codePage, kRequiredEngine, EngineVersion(p)) <= 0) return true;

  switch (ClassifyWindows(p)) {
    case kWindows95:
    case kWindows98OrMe:
    case kWindowsNT4:
      ShowWarning(p, kUnsupportedWindows);
      return false;
    case kWindows2000:
    case kWindowsXP:
    case kWindowsServer2003:
      break;
    default:
      // Newer and unknown families bring their own engine; nothing to do.
      return true;
  }

  const std::string package = ctx.programDir + kUpgradePackage;
  if (ProbePath(p, package) != kProbeFile) {
    // The text names 3.1.4000.2435, the version the package brings.
    ShowWarning(p,
                "Windows Installer version 3.1.4000.2435 or higher is required.\n"
                "Please upgrade the Windows Installer engine on this computer, or make sure that the file "
                "WindowsInstaller-KB893803-v2-x86.exe is available at " +
                    ctx.programDir + ".\nInstallation is stopped.");
    return false;
  }
  RunEngineUpgrade(ctx, package);
  LoadInstalledEngine(p);
  return true;
}

bool CheckInstallerBusy(RunContext& ctx) {
  Platform& p = ctx.platform;
  if (!AnotherInstallationRunning(ctx, true)) return true;
  const uint32_t budget = ctx.options.busyWait;
  if (budget > 0 && WaitForOtherInstallation(ctx, budget)) return true;
  ShowInstallerBusy(p);
  return false;
}

int32_t StartUpBusyExitCode(const RunOptions& options) {
  return options.agent ? static_cast<int32_t>(ERROR_INSTALL_ALREADY_RUNNING) : 1;
}

void ShowInstallerBusy(Platform& platform) {
  platform.ui.ShowMessageBox(Owner::None, nullptr, kBusyInstaller, kInstallerCaption, MB_OK);
}

}  // namespace nv
