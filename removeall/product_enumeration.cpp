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

// A cached package that is gone or is no database: the title is not there,
// rather than unreadable.
bool PackageMissing(uint32_t rc) {
  return rc == ERROR_OPEN_FAILED || rc == ERROR_FILE_NOT_FOUND || rc == ERROR_PATH_NOT_FOUND;
}

bool PublishedByMaker(Platform& p, const std::string& productCode, uint32_t* error) {
  const std::string publisher =
      MbLower(p.codePage, GetProductInfoText(p.installer, productCode, "Publisher", error));
  return MbFind(p.codePage, publisher, kMakerWord) != std::string::npos;
}

// NVProductTitle from the package Windows Installer cached at installation;
// empty when any step fails (*error then telling a failure from a title
// that is not there). Every handle opened here is closed here.
std::string CachedPackageTitle(Platform& p, const std::string& productCode, uint32_t* error) {
  Installer& installer = p.installer;
  const std::string package = GetProductInfoText(installer, productCode, "LocalPackage", error);
  if (package.empty()) return std::string();
  std::string title;
  MSIHANDLE database = 0;
  uint32_t rc = installer.OpenDatabase(package, &database);
  if (rc != ERROR_SUCCESS || database == 0) {
    if (rc != ERROR_SUCCESS && !PackageMissing(rc)) *error = rc;
    return title;
  }
  MSIHANDLE view = 0;
  rc = installer.DatabaseOpenView(database, kTitleQuery, &view);
  if (rc == ERROR_SUCCESS && view != 0) {
    MSIHANDLE record = 0;
    rc = installer.ViewExecute(view);
    if (rc == ERROR_SUCCESS) rc = installer.ViewFetch(view, &record);
    if (rc == ERROR_SUCCESS && record != 0) {
      title = GetRecordString(installer, record, 2);  // the Value column
      installer.CloseHandle(record);
    }
    installer.ViewClose(view);
    installer.CloseHandle(view);
  }
  if (rc != ERROR_SUCCESS && rc != ERROR_NO_MORE_ITEMS) *error = rc;
  installer.CloseHandle(database);
  return title;
}

}  // namespace

std::string GetProductInfoText(Installer& installer, const std::string& productCode, const std::string& property,
                               uint32_t* error) {
  auto failed = [error](uint32_t rc) {
    if (rc != ERROR_SUCCESS && rc != ERROR_UNKNOWN_PROPERTY && rc != ERROR_UNKNOWN_PRODUCT && error != nullptr) {
      *error = rc;
    }
    return std::string();
  };
  // A size query: an empty buffer of size 0 answers ERROR_MORE_DATA with the
  // value's length (0 for an empty value).
  char empty[1] = {'\0'};
  uint32_t size = 0;
  uint32_t rc = installer.GetProductInfo(productCode, property, empty, &size);
  if (rc != ERROR_MORE_DATA) return failed(rc);
  if (size == UINT32_MAX) return std::string();
  std::vector<char> buffer(static_cast<size_t>(size) + 1, '\0');
  size = static_cast<uint32_t>(buffer.size());
  rc = installer.GetProductInfo(productCode, property, buffer.data(), &size);
  if (rc != ERROR_SUCCESS) return failed(rc);
  // Never past the buffer, whatever length was reported.
  return std::string(buffer.data(), std::min<size_t>(size, buffer.size() - 1));
}

InstalledProductMap EnumerateSuiteProducts(Platform& platform, uint32_t* readError) {
  InstalledProductMap products;
  const CodePage& cp = platform.codePage;
  std::string productCode;
  uint32_t lastError = 0;
  for (uint32_t index = 0;; ++index) {
    const uint32_t rc = platform.installer.EnumProducts(index, &productCode);
    if (rc != ERROR_SUCCESS) {
      if (rc != ERROR_NO_MORE_ITEMS) lastError = rc;
      break;
    }
    // A product that cannot be told to be the maker's, or cannot be titled,
    // is left out as before, but not silently.
    uint32_t error = 0;
    if (!PublishedByMaker(platform, productCode, &error)) {
      if (error != 0) lastError = error;
      continue;
    }
    std::string title = MbTrim(cp, CachedPackageTitle(platform, productCode, &error));
    if (title.empty()) {
      title = MbTrim(cp, GetProductInfoText(platform.installer, productCode, "InstalledProductName", &error));
    }
    if (title.empty()) {
      if (error != 0) lastError = error;
      continue;
    }
    // Goes after every earlier product of the same title.
    products.insert({title, productCode});
  }
  if (readError != nullptr) *readError = lastError;
  return products;
}

}  // namespace nv
