#include "app/run_mutex.h"

#include <algorithm>
#include <string>

#include "app/environment_checks.h"
#include "app/run_context.h"
#include "status/run_log.h"

namespace nv {

namespace {

constexpr uint32_t kCheckMilliseconds = 5000;

bool HeldElsewhere(MutexState state) { return state == MutexState::kHeld || state == MutexState::kDenied; }

}  // namespace

MutexState TakeRunMutexAtStart(RunContext& ctx) {
  const MutexState state = ctx.platform.system.TakeRunMutex(kRunMutexName);
  ctx.log.nameOfItsOwn = HeldElsewhere(state);
  return state;
}

bool WaitForOtherRun(RunContext& ctx, MutexState state) {
  System& system = ctx.platform.system;
  if (HeldElsewhere(state) && ctx.options.busyWait > 0) {
    const uint32_t budgetSeconds = ctx.options.busyWait;
    WriteRunLog(ctx, "Another run of NvRunUnattended.exe is in progress; waiting up to " +
                         std::to_string(budgetSeconds) + " seconds for it to finish.\n");
    const uint64_t budget = uint64_t{budgetSeconds} * 1000;
    const uint32_t start = system.TickCount();
    for (;;) {
      const uint32_t waited = system.TickCount() - start;
      if (waited >= budget) break;
      system.WaitServicingWindows(static_cast<uint32_t>(std::min<uint64_t>(kCheckMilliseconds, budget - waited)));
      state = system.TakeRunMutex(kRunMutexName);
      if (!HeldElsewhere(state)) {
        if (state != MutexState::kAbandoned) {
          const uint32_t seconds = (system.TickCount() - start + 500) / 1000;
          WriteRunLog(ctx, "The other run has finished after " + std::to_string(seconds) + " seconds.\n");
        }
        break;
      }
    }
  }
  if (state == MutexState::kAbandoned) WriteRunLog(ctx, "The previous run ended without finishing.\n");
  if (!HeldElsewhere(state)) return true;
  ShowInstallerBusy(ctx.platform);
  return false;
}

}  // namespace nv
