#pragma once
// The installed Windows Installer products published by the suite's maker,
// each under its display title.

#include <map>
#include <string>

#include "platform/platform.h"

namespace nv {

// Title -> product code, ascending by title compared byte by byte as unsigned
// characters (upper-case titles before lower-case ones); products with equal
// titles are all kept, in the order Windows Installer listed them.
using InstalledProductMap = std::multimap<std::string, std::string>;

// Every installed product whose Publisher contains "norva" in any letter
// case, titled by its cached package's NVProductTitle property or else its
// InstalledProductName (trimmed); products with neither are left out.
// Changes nothing and logs nothing.
InstalledProductMap EnumerateSuiteProducts(Platform& platform);

// One product information value (MsiGetProductInfoA) read in full; empty on
// any error.
std::string GetProductInfoText(Installer& installer, const std::string& productCode, const std::string& property);

}  // namespace nv
