#include "status/status_mif.h"

namespace nv {

int WriteStatusMif(Platform& platform, bool enabled, const std::string& productName,
                   const std::string& productVersion, bool success, bool isInstall) {
  if (!enabled) return 1;
  StatusMifRecord record;
  record.mifFile = productName;
  record.company = "Norvasoft";
  record.product = productName;
  record.version = productVersion;
  record.locale = "ENU";
  record.serialNumber = nullptr;
  if (isInstall) {
    record.message = success ? "Installation Successful" : "Installation Failure";
  } else {
    record.message = success ? "Uninstallation Successful" : "Uninstallation Failure";
  }
  record.success = success;
  platform.system.InstallStatusMif(record);
  return 1;
}

}  // namespace nv
