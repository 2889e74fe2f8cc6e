#pragma once
// Status MIF records for systems-management clients, handed to the status
// library ismif32.dll when it is present.

#include <string>

#include "platform/platform.h"

namespace nv {

// With enabled set, hands one record to the library: the status text is
// "Installation Successful"/"Installation Failure" when isInstall is set,
// "Uninstallation Successful"/"Uninstallation Failure" otherwise. Without
// enabled nothing is loaded. A missing library or export does nothing.
// Always returns 1.
int WriteStatusMif(Platform& platform, bool enabled, const std::string& productName,
                   const std::string& productVersion, bool success, bool isInstall);

}  // namespace nv
