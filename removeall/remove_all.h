#pragma once
// The /removeall run: every installed product of the suite is removed, then
// the suite's Start-menu and uninstaller folders.

#include "platform/platform.h"

namespace nv {

struct RunContext;

// Removes every product of EnumerateSuiteProducts in title order, logging
// each step, up to the closing line of the run log (which must be open; the
// caller closes it after the restart, whose failure is logged). Uses
// ctx.options.msiLogging, statusMif and interactive, and ctx.instance for the
// status window of interactive mode. When a removal asked for a restart the
// computer is restarted at the end (after a question in interactive mode
// where someone can see it), unless /noreboot was given. Returns the result
// of the last removal that failed (neither 0 nor 3010), else the error that
// kept an installed product from being read, or 0.
int32_t RemoveAllProducts(RunContext& ctx);

// The suite's folders that a remove-all run deletes with everything in them:
// its two Start-menu folders and the uninstaller folders under both Program
// Files folders. A base folder that cannot be resolved is skipped.
void RemoveSuiteFolders(Platform& platform);

}  // namespace nv
