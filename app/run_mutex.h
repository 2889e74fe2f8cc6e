#pragma once
// One run at a time. Two runs at once are a fault whatever their switches:
// on Windows the second one's installs fail with 1618 halfway through its
// list, and under Wine both install in parallel. A named mutex, global to
// the computer, tells a run that another is under way.

#include "platform/platform.h"

namespace nv {

struct RunContext;

constexpr const char* kRunMutexName = "Global\\NorvasoftUnattendedInstaller";

// Tries to take the mutex at once, before the run log opens. When another
// run holds it, or made it so that this run may not open it, the run log
// gets a name of its own (" (2)" to " (9)" before the extension, created
// new), so that no other run's log is ever emptied.
MutexState TakeRunMutexAtStart(RunContext& ctx);

// After the run log opens. With the mutex this run's, true. Held by another
// run: with busywait= the run checks again every 5 seconds within that
// budget of its own, logging both ends of the wait; otherwise, or when the
// budget is spent, the busy message is shown and the run stops (false).
// A mutex left abandoned by a run that was killed is taken, and said so.
bool WaitForOtherRun(RunContext& ctx, MutexState state);

}  // namespace nv
