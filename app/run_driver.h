#pragma once
// The program's entry operation: one unattended run from start to end.

#include <cstdint>

#include "platform/platform.h"

namespace nv {

// Carries one run on the calling (user-interface) thread and returns the
// process exit code. The arguments come from platform.system.Arguments().
int32_t RunUnattended(Platform& platform, InstanceHandle instance);

}  // namespace nv
