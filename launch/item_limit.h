#pragma once
// What an item may cost the run: a busy installer is waited for within the
// busywait= budget, and with itemtimeout= nothing an item starts may run
// longer than its limit. A program is ended with its job; Windows Installer
// is asked to cancel. Used by the install pass and by remove-all alike.

#include <cstdint>
#include <functional>
#include <string>

#include "platform/platform.h"
#include "status/result_file.h"

namespace nv {

struct RunContext;

// The longest itemtimeout= value: a day, in seconds.
constexpr uint32_t kMaxItemTimeout = 86400;

// How the time limit met an item's last process or installer call.
enum class LimitOutcome {
  kNone,         // it finished in time, or no limit was set
  kEnded,        // a program ran out of time and was ended (1460)
  kCancelled,    // Windows Installer cancelled after the run asked (1602)
  kCancelAsked,  // the run asked for a cancel, and the call ended otherwise
};

// Makes an installer call (an install or a removal). With busywait= a call
// that answers ERROR_INSTALL_ALREADY_RUNNING (1618) is made again every 10
// seconds while this call has waited less than the budget in all, each wait
// logged. Returns the last answer.
uint32_t RetryWhileBusy(RunContext& ctx, const std::function<uint32_t()>& call);

// The same call under the item time limit when one is set: an external UI
// handler answers 0 until the limit has run out from the start of the call,
// then IDCANCEL, and is removed after it. When it asked to cancel, the log
// gets "<subject> did not finish within S seconds; ..." (the what, e.g.
// "installation", named as cancelled when the call answered 1602), and
// ctx.itemLimit says how it went. Returns the call's answer.
uint32_t CallInstallerWithinLimit(RunContext& ctx, const std::string& subject, const char* what,
                                  const std::function<uint32_t()>& call);

// A process the run waits for: its exit code, or the error when it could
// not be created. With itemtimeout= it runs in a job under the limit; when
// the limit ends it, *windowLines (when given) receives the lines of its
// visible windows ("<subject> window: ..."), *ended is set and the result
// is ERROR_TIMEOUT. Writes no log, so that a worker thread may call it.
uint32_t RunProcessWithinLimit(Platform& platform, uint32_t limitSeconds, const std::string& subject,
                               const std::string& commandLine, std::string* windowLines, bool* ended);

// An item's program, as the install pass runs it: on a time-out its window
// lines and "PRODUCTn did not finish within S seconds and was ended." are
// logged, the run's exit code becomes 1460 and ctx.itemLimit kEnded.
uint32_t RunItemProgram(RunContext& ctx, int number, const std::string& commandLine);

// The outcome of the item or removal carried out last, from its result:
// "timed out" when the limit ended it or Windows Installer cancelled it at
// the run's request, else as OutcomeOfResult.
ItemOutcome OutcomeOfCall(const RunContext& ctx, uint32_t result);

// "<subject> did not finish within S seconds" for the run's limit.
std::string NotFinishedText(const RunContext& ctx, const std::string& subject);

}  // namespace nv
