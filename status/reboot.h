#pragma once
// The end-of-run restart: the decision from the reboot switches and the
// RunOnce marker, and the routine that asks and restarts.

#include <cstdint>

#include "platform/platform.h"
#include "status/result_file.h"

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
// reports a restart that never began. Returns Started, Suppressed (the
// question was not answered Yes) or Pending (Windows refused).
RestartState RebootComputer(RunContext& ctx, bool ask);

// RebootComputer for the run: the result file records the restart before it
// is asked for, since the process may not outlive it, and again when it is
// declined or refused.
void RestartForRun(RunContext& ctx, bool ask);

// With /rebootcodes a run that failed nothing tells a management agent about
// the restart: 1641 when it asked Windows to restart (requested), 3010 when
// a package or removal needs one that did not happen. A failure code always
// wins.
int32_t WithRestartCode(const RunContext& ctx, int32_t exitCode, bool requested);

}  // namespace nv
