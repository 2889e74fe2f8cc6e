#include "launch/package_property.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace nv {

namespace {

constexpr uint32_t kValueBuffer = 1000;  // characters, terminating null included
constexpr size_t kMaxQuery = 255;        // characters of the Property-table query

std::string ProductProperty(Installer& installer, const std::string& productCode, const std::string& property) {
  std::string result;
  MSIHANDLE product = 0;
  if (installer.OpenProduct(productCode, &product) != ERROR_SUCCESS || product == 0) return result;
  // One read only: a value of 1000 characters or more does not fit and reads
  // as empty.
  std::vector<char> buffer(kValueBuffer, '\0');
  uint32_t size = kValueBuffer;
  if (installer.GetProductProperty(product, property, buffer.data(), &size) == ERROR_SUCCESS) {
    buffer.back() = '\0';
    result = buffer.data();
  }
  installer.CloseHandle(product);
  return result;
}

std::string DatabaseProperty(Installer& installer, const std::string& package, const std::string& property) {
  std::string result;
  std::string query = "Select * FROM `Property` Where `Property`='" + property + "'";
  // The query has a fixed room; a property name that would not fit is not a
  // property any package can hold.
  if (query.size() > kMaxQuery) return result;
  MSIHANDLE database = 0;
  if (installer.OpenDatabase(package, &database) != ERROR_SUCCESS || database == 0) return result;
  MSIHANDLE view = 0;
  if (installer.DatabaseOpenView(database, query, &view) == ERROR_SUCCESS && view != 0) {
    MSIHANDLE record = 0;
    if (installer.ViewExecute(view) == ERROR_SUCCESS && installer.ViewFetch(view, &record) == ERROR_SUCCESS &&
        record != 0) {
      result = GetRecordString(installer, record, 2);  // the Value column
      installer.CloseHandle(record);
    }
    installer.ViewClose(view);
    installer.CloseHandle(view);
  }
  installer.CloseHandle(database);
  return result;
}

}  // namespace

std::string GetPackageProperty(Platform& platform, const std::string& source, const std::string& property) {
  if (!source.empty() && source[0] == '{') return ProductProperty(platform.installer, source, property);
  return DatabaseProperty(platform.installer, source, property);
}

std::string GetRecordString(Installer& installer, MSIHANDLE record, unsigned field) {
  std::vector<char> buffer(kValueBuffer, '\0');
  uint32_t size = kValueBuffer;
  uint32_t rc = installer.RecordGetString(record, field, buffer.data(), &size);
  if (rc == ERROR_MORE_DATA) {
    // size is the value's length without its terminating null.
    size_t capacity = static_cast<size_t>(size) + 1;
    if (capacity > UINT32_MAX) return std::string();
    buffer.assign(capacity, '\0');
    size = static_cast<uint32_t>(capacity);
    rc = installer.RecordGetString(record, field, buffer.data(), &size);
  }
  if (rc != ERROR_SUCCESS) return std::string();
  // Never past the buffer, whatever length was reported.
  size_t length = std::min<size_t>(size, buffer.size() - 1);
  return std::string(buffer.data(), length);
}

}  // namespace nv
