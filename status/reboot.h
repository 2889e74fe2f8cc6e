#pragma once
// The end-of-run restart: the decision from the reboot switches and the
// RunOnce marker, and the routine that asks and restarts.

#include "platform/platform.h"

namespace nv {

struct RunContext;

// rebootMode 1: restart; -1: never; 0: restart only when the
// "NorvasoftReboot" RunOnce value is present. The user is asked first in
// interactive mode where someone can see the question. Uses ctx.options
// (rebootMode, interactive) and ctx.desktopVisible; sets
// ctx.restartRequested when it asks Windows to restart.
void DecideReboot(RunContext& ctx);

// Releases the run mutex (the run is over), asks first when ask is set
// (only Yes restarts), then enables the shutdown
// privilege on Windows NT and requests the restart, which returns at once;
// *requested (when given) is set then. Always returns 1.
int RebootComputer(Platform& platform, bool ask, bool* requested = nullptr);

}  // namespace nv
