#include "status/reboot.h"

#include <string>

#include "app/registry.h"
#include "app/run_context.h"
#include "status/result_file.h"

namespace nv {

namespace {

constexpr const char* kRunOnceKey = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
// Left by the suite's products when they need a restart; this program never
// writes or removes it.
constexpr const char* kRebootMarker = "NorvasoftReboot";
constexpr const char* kRebootQuestion =
    "The installer should reboot the computer. Would you like to reboot the computer now? \n"
    " NOTE: If the computer is not rebooted automatically, please be sure to reboot from the Start menu.";
// GetEnvironmentVariableA's buffer for "OS".
constexpr size_t kOsBuffer = 100;

}  // namespace

void DecideReboot(RunContext& ctx) {
  Platform& p = ctx.platform;
  const RunOptions& options = ctx.options;
  if (options.rebootMode == -1) return;
  if (options.rebootMode != 1 &&
      !RegistryValuePresent(p.registry, RegRoot::LocalMachine, kRunOnceKey, kRebootMarker)) {
    return;
  }
  // Where nobody can see the question, the restart goes ahead as in silent
  // mode.
  RestartForRun(ctx, options.interactive && ctx.desktopVisible);
}

void RestartForRun(RunContext& ctx, bool ask) {
  RecordRestart(ctx, RestartState::Started);
  RebootComputer(ctx.platform, ask, &ctx.restartRequested);
  if (!ctx.restartRequested) RecordRestart(ctx, RestartState::Suppressed);
}

int32_t WithRestartCode(const RunContext& ctx, int32_t exitCode, bool requested) {
  if (!ctx.options.rebootCodes || exitCode != 0) return exitCode;
  if (requested) return static_cast<int32_t>(ERROR_SUCCESS_REBOOT_INITIATED);
  if (ctx.restartNeeded) return static_cast<int32_t>(ERROR_SUCCESS_REBOOT_REQUIRED);
  return 0;
}

int RebootComputer(Platform& platform, bool ask, bool* requested) {
  // Only Yes restarts: a question that could not be shown (0) is no consent
  // to lose a user's unsaved work.
  if (ask && platform.ui.ShowMessageBox(Owner::TopWindow, nullptr, kRebootQuestion, "Norvasoft Installer",
                                        MB_YESNO | MB_ICONQUESTION) != IDYES) {
    return 1;
  }
  // Only the NT family knows privileges; there a process may not restart the
  // computer without enabling this one.
  std::string os;
  if (platform.system.EnvironmentVariable("OS", kOsBuffer, &os) && os == "Windows_NT") {
    platform.system.EnableShutdownPrivilege();
  }
  platform.system.RequestRestart();
  if (requested != nullptr) *requested = true;
  return 1;
}

}  // namespace nv
