#pragma once
// Placing the suite's uninstaller after an install run, with its Start-menu
// shortcut for all users, when the media carry a newer one than the installed
// copy.

namespace nv {

struct RunContext;

// Reads ctx.plan.coreDir, ctx.options.altSource, ctx.statusWindow; sets
// ctx.statusText when it copies; logs every step to the run log. Never stops
// the run and shows no message box.
void DeployUninstaller(RunContext& ctx);

}  // namespace nv
