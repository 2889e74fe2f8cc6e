#include "removeall/product_enumeration.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "launch/package_property.h"
#include "platform/text.h"

namespace nv {

namespace {

constexpr const char* kTitleQuery = "SELECT * FROM Property WHERE Property = 'NVProductTitle'";
// Anywhere in the lower-cased publisher, e.g. "Norvasoft Inc." or
// "NORVATECH".
constexpr const char* kMakerWord = "norva";

bool PublishedByMaker(Platform& p, const std::string& productCode) {
  const std::string publisher = MbLower(p.codePage, GetProductInfoText(p.installer, productCode, "Publisher"));
  return MbFind(p.codePage, publisher, kMakerWord) != std::string::npos;
}

// NVProductTitle from the package Windows Installer cached at installation;
// empty when any step fails. Every handle opened here is closed here.
std::string CachedPackageTitle(Platform& p, const std::string& productCode) {
  Installer& installer = p.installer;
  const std::string package = GetProductInfoText(installer, productCode, "LocalPackage");
  if (package.empty()) return std::string();
  std::string title;
  MSIHANDLE database = 0;
  if (installer.OpenDatabase(package, &database) != ERROR_SUCCESS || database == 0) return title;
  MSIHANDLE view = 0;
  if (installer.DatabaseOpenView(database, kTitleQuery, &view) == ERROR_SUCCESS && view != 0) {
    MSIHANDLE record = 0;
    if (installer.ViewExecute(view) == ERROR_SUCCESS && installer.ViewFetch(view, &record) == ERROR_SUCCESS &&
        record != 0) {
      title = GetRecordString(installer, record, 2);  // the Value column
      installer.CloseHandle(record);
    }
    installer.ViewClose(view);
    installer.CloseHandle(view);
  }
  installer.CloseHandle(database);
  return title;
}

}  // namespace

std::string GetProductInfoText(Installer& installer, const std::string& productCode, const std::string& property) {
  // A size query: an empty buffer of size 0 answers ERROR_MORE_DATA with the
  // value's length.
  char empty[1] = {'\0'};
  uint32_t size = 0;
  if (installer.GetProductInfo(productCode, property, empty, &size) != ERROR_MORE_DATA) return std::string();
  if (size == UINT32_MAX) return std::string();
  std::vector<char> buffer(static_cast<size_t>(size) + 1, '\0');
  size = static_cast<uint32_t>(buffer.size());
  if (installer.GetProductInfo(productCode, property, buffer.data(), &size) != ERROR_SUCCESS) return std::string();
  // Never past the buffer, whatever length was reported.
  return std::string(buffer.data(), std::min<size_t>(size, buffer.size() - 1));
}

InstalledProductMap EnumerateSuiteProducts(Platform& platform) {
  InstalledProductMap products;
  const CodePage& cp = platform.codePage;
  std::string productCode;
  for (uint32_t index = 0; platform.installer.EnumProducts(index, &productCode) == ERROR_SUCCESS; ++index) {
    if (!PublishedByMaker(platform, productCode)) continue;
    std::string title = MbTrim(cp, CachedPackageTitle(platform, productCode));
    if (title.empty()) {
      title = MbTrim(cp, GetProductInfoText(platform.installer, productCode, "InstalledProductName"));
    }
    if (title.empty()) continue;
    // Goes after every earlier product of the same title.
    products.insert({title, productCode});
  }
  return products;
}

}  // namespace nv
