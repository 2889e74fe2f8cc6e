#pragma once
// Starting a command line as a process without a console window and waiting
// for it; finding a running process by its file name.

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace nv {

// The process's exit code, or the system error code when it could not be
// created; *created (when given) tells which. Every caller passes wait set.
uint32_t RunProcess(Platform& platform, const std::string& commandLine, bool wait, bool* created = nullptr);

// True when a running process's executable file name, lower-cased with the
// code page's mapping, equals name (which callers pass in lower case).
bool IsProcessRunning(Platform& platform, const std::string& name);

}  // namespace nv
