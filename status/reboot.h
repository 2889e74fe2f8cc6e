#pragma once
// The end-of-run restart: the decision from the reboot switches and the
// RunOnce marker, and the routine that asks and restarts.

#include <cstdint>

#include "platform/platform.h"

namespace nv {

struct RunContext;

// rebootMode 1: restart; -1: never; 0: restart only when the
// "NorvasoftReboot" RunOnce value is present. The user is asked first in
// interactive mode where someone can see the question. Uses ctx.options
// (rebootMode, interactive) and ctx.desktopVisible; sets
// ctx.restartRequested when it asks Windows to restart.
void DecideReboot(RunContext& ctx);

// Asks first when ask is set (only Yes restarts), then enables the shutdown
// privilege on Windows NT and requests the restart, which returns at once;
// *requested (when given) is set then. Always returns 1.
int RebootComputer(Platform& platform, bool ask, bool* requested = nullptr);

// RebootComputer for the run, with ctx.restartRequested: the result file
// records the restart before it is asked for, since the process may not
// outlive it, and again when it is declined.
void RestartForRun(RunContext& ctx, bool ask);

// With /rebootcodes a run that failed nothing tells a management agent about
// the restart: 1641 when it asked Windows to restart (requested), 3010 when
// a package or removal needs one that did not happen. A failure code always
// wins.
int32_t WithRestartCode(const RunContext& ctx, int32_t exitCode, bool requested);

}  // namespace nv
