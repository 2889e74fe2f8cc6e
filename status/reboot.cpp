#include "status/reboot.h"

#include <string>

#include "app/registry.h"
#include "app/run_context.h"
#include "status/result_file.h"
#include "status/run_log.h"

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
  if (options.rebootMode == -1) {
    // The restart the marker asks for is still owed: with /rebootcodes the
    // exit code must tell, or the computer is taken as ready when it is not,
    // and the result file records it as kept from happening.
    if ((options.rebootCodes || !ctx.result.path.empty()) &&
        RegistryValuePresent(p.registry, RegRoot::LocalMachine, kRunOnceKey, kRebootMarker)) {
      if (options.rebootCodes) ctx.restartNeeded = true;
      RecordRestart(ctx, RestartState::Suppressed);
    }
    return;
  }
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
  const RestartState state = RebootComputer(ctx, ask);
  if (state != RestartState::Started) RecordRestart(ctx, state);
}

int32_t WithRestartCode(const RunContext& ctx, int32_t exitCode, bool requested) {
  if (!ctx.options.rebootCodes || exitCode != 0) return exitCode;
  if (requested) return static_cast<int32_t>(ERROR_SUCCESS_REBOOT_INITIATED);
  if (ctx.restartNeeded) return static_cast<int32_t>(ERROR_SUCCESS_REBOOT_REQUIRED);
  return 0;
}

RestartState RebootComputer(RunContext& ctx, bool ask) {
  Platform& platform = ctx.platform;
  // The run is over: another run may start while the question waits, and
  // must not find this one's mutex held through the restart.
  platform.system.ReleaseRunMutex();
  // Only Yes restarts: a question that could not be shown (0) is no consent
  // to lose a user's unsaved work. The box has no owner: another program's
  // window could hang or vanish and take the question with it.
  if (ask && platform.ui.ShowMessageBox(Owner::None, nullptr, kRebootQuestion, "Norvasoft Installer",
                                        MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND | MB_TOPMOST) != IDYES) {
    return RestartState::Suppressed;
  }
  // Only the NT family knows privileges; there a process may not restart the
  // computer without enabling this one.
  std::string os;
  if (platform.system.EnvironmentVariable("OS", kOsBuffer, &os) && os == "Windows_NT") {
    platform.system.EnableShutdownPrivilege();
  }
  const uint32_t result = platform.system.RequestRestart(!ctx.desktopVisible);
  if (result == 0) {
    ctx.restartRequested = true;
    return RestartState::Started;
  }
  WriteRunLog(ctx, "The restart could not be started. Return value is " +
                       std::to_string(static_cast<int32_t>(result)) + "\n");
  ctx.restartNeeded = true;
  return RestartState::Pending;
}

}  // namespace nv
