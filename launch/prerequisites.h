#pragma once
// The runtime prerequisites the media carry as ordinary items: .NET
// redistributables are started from a local copy, and the MSDE setup is
// waited for on a worker thread while the status window stays serviced.

#include <string>

namespace nv {

struct RunContext;

// The folder in the temporary folder that holds the local copy (no trailing
// backslash).
std::string StagingFolder(const RunContext& ctx);

// Copies the redistributable's folder to the staging folder and returns the
// copy of the program there (its name in lower case), or path when there is
// no such copy. In interactive mode the status window shows the item first.
std::string StageRedistributable(RunContext& ctx, const std::string& path, int itemNumber, int itemCount);

// Starts the MSDE setup command line (item number) on a worker thread and
// waits for it, keeping the calling thread's windows serviced; logs "MSDE
// installed." when it returned 0 or 3010. Ended under the time limit, it
// logs its window lines and "MSDE setup did not finish within S seconds and
// was ended." instead, and the run's exit code becomes 1460. Returns the
// setup's return value (1460 when ended, 1603 when the worker did not
// finish).
uint32_t RunMsdeSetup(RunContext& ctx, int number, const std::string& commandLine);

}  // namespace nv
