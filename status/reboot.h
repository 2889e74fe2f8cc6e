#pragma once
// The end-of-run restart: the decision from the reboot switches and the
// RunOnce marker, and the routine that asks and restarts.

#include "platform/platform.h"

namespace nv {

struct RunContext;

// rebootMode 1: restart; -1: never; 0: restart only when the
// "NorvasoftReboot" RunOnce value is present. The user is asked first in
// interactive mode where someone can see the question. Uses ctx.options
// (rebootMode, interactive, rebootCodes) and ctx.desktopVisible; see
// RebootComputer for what it records, and ctx.restartNeeded is also set when
// /noreboot keeps a marked restart from happening under /rebootcodes. The
// run log must still be open.
void DecideReboot(RunContext& ctx);

// Releases the run mutex (the run is over), asks first when ask is set
// (only Yes restarts), then enables the shutdown privilege on Windows NT and
// requests the restart, which returns at once. Sets ctx.restartRequested
// only when Windows took the request; when it did not, the run log says so
// and the restart counts as still needed (ctx.restartNeeded), so that no run
// reports a restart that never began.
void RebootComputer(RunContext& ctx, bool ask);

}  // namespace nv
