#include "launch/item_limit.h"

#include <atomic>

#include "app/run_context.h"
#include "launch/process_runner.h"
#include "status/run_log.h"

namespace nv {

namespace {

constexpr uint32_t kRetryMilliseconds = 10000;

// What the window lines of an ended item may cost: a hung owner costs one
// second a text, never the run.
constexpr size_t kMaxWindows = 10;
constexpr size_t kMaxControls = 20;
constexpr size_t kMaxTextBytes = 512;
constexpr uint32_t kTextTimeoutMilliseconds = 1000;
constexpr uint32_t kWindowsBudgetMilliseconds = 15000;

// The messages a long install sends all through: the handler is asked often
// enough to notice the limit.
constexpr uint32_t kLimitMessages = INSTALLLOGMODE_PROGRESS | INSTALLLOGMODE_ACTIONSTART | INSTALLLOGMODE_ACTIONDATA;

// A text on one line of the log.
std::string OneLine(std::string text) {
  for (char& c : text) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return text;
}

// One line per visible window: its caption, then the text of each control
// that has one. Each text is asked for with a message that gives up on a
// hung owner; a caption that cannot be had that way is read without one.
std::string DescribeWindows(System& system, ItemWindows& windows, const std::string& subject) {
  const uint32_t start = system.TickCount();
  auto timeLeft = [&] { return system.TickCount() - start < kWindowsBudgetMilliseconds; };
  std::string lines;
  size_t shown = 0;
  for (WindowHandle window : windows.VisibleTopWindows()) {
    if (shown == kMaxWindows || !timeLeft()) break;
    ++shown;
    std::string caption;
    if (!windows.SendGetText(window, kTextTimeoutMilliseconds, kMaxTextBytes, &caption)) {
      caption = windows.WindowText(window, kMaxTextBytes);
    }
    std::string line = subject + " window: \"" + OneLine(caption) + "\"";
    size_t controls = 0;
    for (WindowHandle control : windows.ChildWindows(window)) {
      if (controls == kMaxControls || !timeLeft()) break;
      std::string text;
      if (!windows.SendGetText(control, kTextTimeoutMilliseconds, kMaxTextBytes, &text) || text.empty()) continue;
      ++controls;
      line += " \"" + OneLine(text) + "\"";
    }
    lines += line + "\n";
  }
  return lines;
}

std::string ItemSubject(int number) { return "PRODUCT" + std::to_string(number); }

}  // namespace

uint32_t RetryWhileBusy(RunContext& ctx, const std::function<uint32_t()>& call) {
  System& system = ctx.platform.system;
  uint32_t result = call();
  const uint64_t budget = uint64_t{ctx.options.busyWait} * 1000;
  const uint32_t start = system.TickCount();
  while (result == ERROR_INSTALL_ALREADY_RUNNING && system.TickCount() - start < budget) {
    WriteRunLog(ctx, "Another installation is in progress (1618); retrying in 10 seconds.\n");
    system.WaitServicingWindows(kRetryMilliseconds);
    result = call();
  }
  return result;
}

ItemOutcome OutcomeOfCall(const RunContext& ctx, uint32_t result) {
  if (ctx.itemLimit == LimitOutcome::kEnded || ctx.itemLimit == LimitOutcome::kCancelled) {
    return ItemOutcome::TimedOut;
  }
  return OutcomeOfResult(result);
}

std::string NotFinishedText(const RunContext& ctx, const std::string& subject) {
  return subject + " did not finish within " + std::to_string(ctx.options.itemTimeout) + " seconds";
}

uint32_t CallInstallerWithinLimit(RunContext& ctx, const std::string& subject, const char* what,
                                  const std::function<uint32_t()>& call) {
  ctx.itemLimit = LimitOutcome::kNone;
  const uint32_t limitSeconds = ctx.options.itemTimeout;
  if (limitSeconds == 0) return RetryWhileBusy(ctx, call);
  Installer& installer = ctx.platform.installer;
  System& system = ctx.platform.system;
  // Windows Installer may call the handler on a thread of its own.
  std::atomic<bool> asked(false);
  const uint32_t result = RetryWhileBusy(ctx, [&] {
    // Each attempt has the whole limit: a busy answer comes at once.
    asked = false;
    const uint32_t start = system.TickCount();
    installer.SetExternalUI(
        [&system, &asked, start, limitSeconds](uint32_t) {
          if (system.TickCount() - start < uint64_t{limitSeconds} * 1000) return 0;
          asked = true;
          return IDCANCEL;
        },
        kLimitMessages);
    const uint32_t answer = call();
    installer.SetExternalUI(nullptr, 0);
    return answer;
  });
  if (!asked) return result;
  if (result == ERROR_INSTALL_USEREXIT) {
    ctx.itemLimit = LimitOutcome::kCancelled;
    WriteRunLog(ctx, NotFinishedText(ctx, subject) + "; the " + what + " was cancelled.\n");
  } else {
    ctx.itemLimit = LimitOutcome::kCancelAsked;
    WriteRunLog(ctx, NotFinishedText(ctx, subject) + "; Windows Installer was asked to cancel.\n");
  }
  return result;
}

uint32_t RunProcessWithinLimit(Platform& platform, uint32_t limitSeconds, const std::string& subject,
                               const std::string& commandLine, std::string* windowLines, bool* ended) {
  if (ended != nullptr) *ended = false;
  if (limitSeconds == 0) return RunProcess(platform, commandLine, true);
  System& system = platform.system;
  std::string lines;
  const LimitedRun run = platform.processes.RunLimited(
      commandLine, limitSeconds * 1000, [&](ItemWindows& windows) { lines = DescribeWindows(system, windows, subject); });
  if (run.ended) {
    if (windowLines != nullptr) *windowLines = lines;
    if (ended != nullptr) *ended = true;
  }
  return run.result;
}

uint32_t RunItemProgram(RunContext& ctx, int number, const std::string& commandLine) {
  ctx.itemLimit = LimitOutcome::kNone;
  const std::string subject = ItemSubject(number);
  std::string lines;
  bool ended = false;
  const uint32_t result =
      RunProcessWithinLimit(ctx.platform, ctx.options.itemTimeout, subject, commandLine, &lines, &ended);
  if (ended) {
    // The program did not fail by its own code: the run ended it, and the
    // agent must see that in the exit code.
    ctx.itemLimit = LimitOutcome::kEnded;
    ctx.exitCode = static_cast<int32_t>(ERROR_TIMEOUT);
    WriteRunLog(ctx, lines + NotFinishedText(ctx, subject) + " and was ended.\n");
  }
  return result;
}

}  // namespace nv
