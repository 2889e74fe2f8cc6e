// The order of one run. Each step is a small function; a step that can end
// the run returns the exit code to end it with, or nothing to go on.

#include "app/run_driver.h"

#include <optional>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/environment_checks.h"
#include "app/run_context.h"
#include "app/run_mutex.h"
#include "app/unseen_ui.h"
#include "deploy/shell_helpers.h"
#include "deploy/uninstaller.h"
#include "launch/launch_loop.h"
#include "launch/prerequisites.h"
#include "removeall/remove_all.h"
#include "response/install_plan.h"
#include "response/response_file.h"
#include "status/progress_window.h"
#include "status/reboot.h"
#include "status/result_file.h"
#include "status/run_log.h"

namespace nv {

namespace {

using RunEnd = std::optional<int32_t>;

// The instance handle, and the program's folder: the module's path up to and
// including its last backslash.
void RecordProgramLocation(RunContext& ctx, InstanceHandle instance) {
  ctx.instance = instance;
  ctx.programDir = ProgramDirFromModulePath(ctx.platform.codePage, ctx.platform.files.ModuleFileName());
}

void ShowStartUpMessage(RunContext& ctx, const std::string& text) {
  ctx.platform.ui.ShowMessageBox(Owner::Desktop, nullptr, text, kUnattendedCaption, MB_ICONINFORMATION | MB_OK);
}

// "/?" or "?" alone: the usage text, and the run ends before anything is
// written.
RunEnd AnswerHelpRequest(RunContext& ctx, const std::vector<std::string>& args, const std::string& usage) {
  if (!IsHelpRequest(args)) return std::nullopt;
  ShowStartUpMessage(ctx, usage);
  return 0;
}

// The switches into ctx.options; an invalid one is reported with the usage
// text and ends the run with ERROR_INVALID_COMMAND_LINE, so that a
// distribution tool does not count a mistyped switch as a success.
RunEnd ReadOptions(RunContext& ctx, const std::vector<std::string>& args, const std::string& usage) {
  ParseResult result = ParseCommandLine(ctx.platform.codePage, args, ctx.programDir, &ctx.options);
  if (result == ParseResult::kOk) return std::nullopt;
  ShowStartUpMessage(ctx, BuildInvalidOptionsText(result, usage));
  return static_cast<int32_t>(ERROR_INVALID_COMMAND_LINE);
}

// The remove-all run installs nothing and reads no response file; it ends
// with the last failed removal's result (0 when every removal succeeded)
// after the usual reboot decision.
RunEnd RemoveAllBranch(RunContext& ctx) {
  if (!ctx.options.removeAll) return std::nullopt;
  const int32_t exitCode = RemoveAllProducts(ctx);
  DecideReboot(ctx);
  return exitCode;
}

// An engine too old to use, and not upgradable here, ends the run before
// any switch is read.
RunEnd GateInstallerVersion(RunContext& ctx) {
  if (CheckInstallerVersion(ctx)) return std::nullopt;
  return 1;
}

// Another installation under way ends the run.
RunEnd RefuseWhileBusy(RunContext& ctx) {
  if (CheckInstallerBusy(ctx)) return std::nullopt;
  return StartUpBusyExitCode(ctx.options);
}

// No response file found and none picked in the dialog: nothing to install.
RunEnd FindResponseFile(RunContext& ctx) {
  if (LocateResponseFile(ctx)) return std::nullopt;
  return 1;
}

// Every later read of the response file uses its short (8.3) form. When
// Windows cannot give one (no short names on that volume, or the path does
// not fit), the path as located is kept: it opens the same file.
void ShortenResponseFilePath(RunContext& ctx) {
  std::string shortPath = ctx.platform.files.ShortPathName(ctx.options.responseFile);
  if (!shortPath.empty()) ctx.options.responseFile = shortPath;
}

// Windows Installer shows no interface of its own for the rest of the
// process.
void SwitchOffInstallerUi(RunContext& ctx) { ctx.platform.installer.SetInternalUI(INSTALLUILEVEL_NONE); }

// Counts and validates the items; invalid entries end the run with
// ERROR_INVALID_DATA after their message.
RunEnd PlanInstall(RunContext& ctx) {
  WriteRunLog(ctx, "Response XML file: " + ctx.options.responseFile + "\n");
  if (BuildInstallPlan(ctx)) return std::nullopt;
  return static_cast<int32_t>(ERROR_INVALID_DATA);
}

// The local copy of a .NET redistributable does not outlive the run.
void RemoveStagingFolder(RunContext& ctx) {
  const std::string staging = StagingFolder(ctx);
  if (ProbePath(ctx.platform, staging) == kProbeOnlyFolders) DeleteForRun(ctx, staging);
}

// The closing line has no line end: a finished log ends with " done.",
// unless a restart that could not be started is logged after it.
void WriteClosingLine(RunContext& ctx) { WriteRunLog(ctx, MakeTimeStamp(ctx) + " done."); }

// A start-up stop. Where nobody could see its message, the message went to
// the run log; the exit code follows it there, and the log is closed.
int32_t StartUpStop(RunContext& ctx, int32_t exitCode) {
  FinishResultFile(ctx, exitCode);
  if (ctx.desktopVisible) return exitCode;
  EndRunLogWithExitCode(ctx, exitCode);
  return exitCode;
}

// The end of a run that got past its start-up checks: the run log closes
// after the restart decision, whose failure it may still record. An agent's
// run log ends with the code the agent acts on.
int32_t FinishedRun(RunContext& ctx, int32_t exitCode) {
  const int32_t code = WithRestartCode(ctx, exitCode, ctx.restartRequested);
  if (ctx.options.agent) {
    EndRunLogWithExitCode(ctx, code);
  } else {
    CloseRunLog(ctx);
  }
  return code;
}

int32_t Run(RunContext& ctx, InstanceHandle instance) {
  Platform& platform = ctx.platform;
  RecordProgramLocation(ctx, instance);
  if (RunEnd end = GateInstallerVersion(ctx)) return StartUpStop(ctx, *end);
  const std::string usage = BuildUsageText();
  const std::vector<std::string> args = platform.system.Arguments();
  if (RunEnd end = AnswerHelpRequest(ctx, args, usage)) return StartUpStop(ctx, *end);
  if (RunEnd end = ReadOptions(ctx, args, usage)) return StartUpStop(ctx, *end);
  const MutexState runMutex = TakeRunMutexAtStart(ctx);
  OpenRunLog(ctx);
  if (!WaitForOtherRun(ctx, runMutex)) return StartUpStop(ctx, StartUpBusyExitCode(ctx.options));
  StartResultFile(ctx);
  if (RunEnd end = RemoveAllBranch(ctx)) return FinishedRun(ctx, *end);
  if (RunEnd end = FindResponseFile(ctx)) return StartUpStop(ctx, *end);
  if (RunEnd end = RefuseWhileBusy(ctx)) return StartUpStop(ctx, *end);
  ShortenResponseFilePath(ctx);
  SwitchOffInstallerUi(ctx);
  if (ctx.options.interactive) CreateProgressWindow(ctx);
  if (RunEnd end = PlanInstall(ctx)) return StartUpStop(ctx, *end);
  LaunchItems(ctx);
  DeployUninstaller(ctx);
  RemoveStagingFolder(ctx);
  FinishResultFile(ctx, ctx.exitCode);
  WriteClosingLine(ctx);
  if (ctx.options.interactive) DestroyProgressWindow(ctx);
  DecideReboot(ctx);
  return FinishedRun(ctx, ctx.exitCode);
}

// The run mutex is released on every way out (and, by the restart, before
// Windows is asked to restart).
int32_t RunAndRelease(RunContext& ctx, InstanceHandle instance) {
  const int32_t exitCode = Run(ctx, instance);
  ctx.platform.system.ReleaseRunMutex();
  return exitCode;
}

}  // namespace

int32_t RunUnattended(Platform& platform, InstanceHandle instance) {
  // A run started by a management agent is treated as one nobody can see,
  // whatever the desktop: a user's desktop may be visible, but nobody there
  // is expected to answer.
  if (platform.system.DesktopVisible() && !AgentSwitchGiven(platform.codePage, platform.system.Arguments())) {
    RunContext ctx(platform);
    return RunAndRelease(ctx, instance);
  }
  UnseenUi unseen(platform.ui);
  Platform unseenPlatform{platform.files, platform.registry, platform.installer, platform.shell,
                          platform.processes, unseen, platform.system, platform.codePage};
  RunContext ctx(unseenPlatform);
  ctx.desktopVisible = false;
  unseen.Attach(ctx);
  return RunAndRelease(ctx, instance);
}

}  // namespace nv
