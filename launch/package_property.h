#pragma once
// Reading one property of a package file (its Property table, read-only) or
// of an installed product (given by its product code).

#include <string>

#include "platform/platform.h"

namespace nv {

// The property's value, or empty text when it cannot be read. A source whose
// first character is "{" is a product code; anything else is a package path.
std::string GetPackageProperty(Platform& platform, const std::string& source, const std::string& property);

// One field of a Windows Installer record, read in full however long it is;
// empty text when it cannot be read.
std::string GetRecordString(Installer& installer, MSIHANDLE record, unsigned field);

}  // namespace nv
