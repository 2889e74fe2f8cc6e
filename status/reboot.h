#pragma once
// The end-of-run restart: the decision from the reboot switches and the
// RunOnce marker, and the routine that asks and restarts.

#include "platform/platform.h"

namespace nv {

struct RunContext;

// rebootMode 1: restart; -1: never; 0: restart only when the
// "NorvasoftReboot" RunOnce value is present. The user is asked first in
// interactive mode. Uses ctx.options.rebootMode and ctx.options.interactive.
void DecideReboot(RunContext& ctx);

// Asks first when ask is set (a No leaves the computer running), then
// enables the shutdown privilege on Windows NT and requests the restart,
// which returns at once. Always returns 1.
int RebootComputer(Platform& platform, bool ask);

}  // namespace nv
