#include "launch/prerequisites.h"

#include <atomic>
#include <cstdint>

#include "app/run_context.h"
#include "deploy/shell_helpers.h"
#include "launch/item_limit.h"
#include "platform/text.h"
#include "status/progress_window.h"
#include "status/run_log.h"

namespace nv {

std::string StagingFolder(const RunContext& ctx) { return ctx.tempDir + "norvacore"; }

std::string StageRedistributable(RunContext& ctx, const std::string& path, int itemNumber, int itemCount) {
  Platform& p = ctx.platform;
  if (ctx.options.interactive) {
    SetStep(ctx, itemNumber, itemCount);
    SetStatus(ctx, "Norvasoft Installer is configuring " + path + ". Please wait...");
  }
  const std::string lower = MbLower(p.codePage, path);
  size_t last = MbFindLast(p.codePage, lower, '\\');
  if (last == std::string::npos || last <= 1) return path;
  const std::string source = lower.substr(0, last);
  const std::string staging = StagingFolder(ctx);
  if (ProbePath(p, staging) == kProbeOnlyFolders) DeleteForRun(ctx, staging);
  if (ProbePath(p, source) == kProbeOnlyFolders) {
    // The staging folder itself must not exist yet, so that the shell makes
    // it a copy of the source folder rather than a folder inside it.
    CreateDirectoryPath(p, staging, true);
    CopyForRun(ctx, source, staging, !ctx.options.interactive);
    ShowWaitCursor(ctx);
  }
  const std::string candidate = staging + lower.substr(last);
  return PathExists(p, candidate) ? candidate : path;
}

uint32_t RunMsdeSetup(RunContext& ctx, int number, const std::string& commandLine) {
  // The worker reads its own copies of the command line and the limit and
  // writes only the flags, the result and the window lines; the calling
  // thread reads them only after done is set.
  const std::string msdeCommandLine = commandLine;
  const std::string subject = "PRODUCT" + std::to_string(number);
  const uint32_t limit = ctx.options.itemTimeout;
  std::string windowLines;
  std::atomic<bool> done(false), succeeded(false), ended(false);
  std::atomic<uint32_t> result(ERROR_INSTALL_FAILURE);
  WriteRunLog(ctx, "MSDE Launched on a new thread...\n\n");
  Platform& p = ctx.platform;
  p.processes.RunOnWorker([&] {
    bool timedOut = false;
    uint32_t rc = RunProcessWithinLimit(p, limit, subject, msdeCommandLine, &windowLines, &timedOut);
    if (rc == 0 || rc == ERROR_SUCCESS_REBOOT_REQUIRED) succeeded = true;
    ended = timedOut;
    result = rc;
    done = true;
  });
  ctx.itemLimit = ended ? LimitOutcome::kEnded : LimitOutcome::kNone;
  if (done && ended) {
    ctx.exitCode = static_cast<int32_t>(ERROR_TIMEOUT);
    WriteRunLog(ctx, windowLines + NotFinishedText(ctx, "MSDE setup") + " and was ended.\n\n");
  } else if (done && succeeded) {
    WriteRunLog(ctx, "MSDE installed.\n\n");
  }
  return done ? result.load() : static_cast<uint32_t>(ERROR_INSTALL_FAILURE);
}

}  // namespace nv
