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
// Changes nothing and logs nothing. *readError (when given) is 0, or the
// last error of a Windows Installer call that failed where an answer was
// needed: the enumeration itself, or a product whose publisher or title
// could not be read, so that the list may miss a product of the maker.
InstalledProductMap EnumerateSuiteProducts(Platform& platform, uint32_t* readError = nullptr);

// One product information value (MsiGetProductInfoA) read in full; empty on
// any error. *error (when given) receives an error other than the value or
// the product being unknown.
std::string GetProductInfoText(Installer& installer, const std::string& productCode, const std::string& property,
                               uint32_t* error = nullptr);

}  // namespace nv
