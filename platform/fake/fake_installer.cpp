// The fake Windows Installer: packages with Property tables, installed
// products, and handles that tests can count.

#include <cctype>
#include <cstring>

#include "platform/fake/fake_platform.h"

namespace nv {
namespace fake {

namespace {

constexpr uint32_t kErrorFunctionFailed = 1627;  // ERROR_FUNCTION_FAILED

std::string LowerAscii(const std::string& text) {
  std::string out = text;
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// What a failed msi.dll call answers: a failed or refused installation, or
// a configuration that cannot be read.
uint32_t Failure(int variant) {
  static const uint32_t kFailures[] = {ERROR_INSTALL_FAILURE, 1618 /* ERROR_INSTALL_ALREADY_RUNNING */,
                                       1620 /* ERROR_INSTALL_PACKAGE_INVALID */,
                                       1610 /* ERROR_BAD_CONFIGURATION */};
  return kFailures[static_cast<size_t>(variant) % 4];
}

std::string SizeText(const uint32_t* size) { return size != nullptr ? std::to_string(*size) : "null"; }

// Hands a value out under the msi.dll buffer rules (see the header).
uint32_t CopyOut(const std::string& value, char* buffer, uint32_t* size) {
  if (buffer != nullptr && size == nullptr) return ERROR_INVALID_PARAMETER;
  if (size == nullptr) return ERROR_SUCCESS;
  const uint32_t length = static_cast<uint32_t>(value.size());
  if (buffer == nullptr) {
    *size = length;
    return ERROR_SUCCESS;
  }
  const uint32_t capacity = *size;
  *size = length;
  if (length < capacity) {
    std::memcpy(buffer, value.data(), length);
    buffer[length] = '\0';
    return ERROR_SUCCESS;
  }
  if (capacity > 0) {
    std::memcpy(buffer, value.data(), capacity - 1);
    buffer[capacity - 1] = '\0';
  }
  return ERROR_MORE_DATA;
}

// A small reader of the one statement the fake understands:
//   SELECT * FROM [`]Property[`] WHERE [`]Property[`] = 'X'
class QueryReader {
 public:
  explicit QueryReader(const std::string& text) : text_(text) {}

  bool ReadPropertySelect(std::string* property) {
    if (!Keyword("select") || !Symbol('*') || !Keyword("from") || !Name("property") || !Keyword("where") ||
        !Name("property") || !Symbol('=') || !Literal(property)) {
      return false;
    }
    SkipBlanks();
    return pos_ == text_.size();
  }

 private:
  void SkipBlanks() {
    while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_]))) ++pos_;
  }
  bool Word(const std::string& word) {
    if (LowerAscii(text_.substr(pos_, word.size())) != word) return false;
    size_t end = pos_ + word.size();
    if (end < text_.size() && (std::isalnum(static_cast<unsigned char>(text_[end])) || text_[end] == '_')) {
      return false;
    }
    pos_ = end;
    return true;
  }
  bool Keyword(const std::string& word) {
    SkipBlanks();
    return Word(word);
  }
  bool Name(const std::string& word) {
    SkipBlanks();
    if (pos_ < text_.size() && text_[pos_] == '`') {
      ++pos_;
      if (!Word(word) || pos_ >= text_.size() || text_[pos_] != '`') return false;
      ++pos_;
      return true;
    }
    return Word(word);
  }
  bool Symbol(char c) {
    SkipBlanks();
    if (pos_ >= text_.size() || text_[pos_] != c) return false;
    ++pos_;
    return true;
  }
  bool Literal(std::string* value) {
    SkipBlanks();
    if (pos_ >= text_.size() || text_[pos_] != '\'') return false;
    size_t close = text_.find('\'', pos_ + 1);
    if (close == std::string::npos) return false;
    *value = text_.substr(pos_ + 1, close - pos_ - 1);
    pos_ = close + 1;
    return true;
  }

  const std::string& text_;
  size_t pos_ = 0;
};

}  // namespace

void FakeInstaller::AddPackage(const std::string& path, const std::map<std::string, std::string>& properties) {
  packages_[LowerAscii(path)] = properties;
}

void FakeInstaller::AddProduct(const std::string& productCode,
                               const std::map<std::string, std::string>& properties,
                               const std::map<std::string, std::string>& info) {
  products_.push_back({productCode, properties, info, {}});
}

void FakeInstaller::SetUpgradeCode(const std::string& productCode, const std::string& upgradeCode) {
  if (Product* p = FindProduct(productCode)) p->upgradeCode = upgradeCode;
}

void FakeInstaller::SetResult(const std::string& packageOrProduct, uint32_t result) {
  results_[LowerAscii(packageOrProduct)] = result;
}

void FakeInstaller::SetResults(const std::string& packageOrProduct, const std::vector<uint32_t>& results) {
  queued_[LowerAscii(packageOrProduct)].assign(results.begin(), results.end());
}

void FakeInstaller::TakeQueuedResult(const std::string& packageOrProduct) {
  auto it = queued_.find(LowerAscii(packageOrProduct));
  if (it == queued_.end() || it->second.empty()) return;
  results_[it->first] = it->second.front();
  it->second.pop_front();
}

MSIHANDLE FakeInstaller::NewHandle(Handle handle) {
  MSIHANDLE id = nextHandle_++;
  handles_.emplace(id, std::move(handle));
  return id;
}

FakeInstaller::Handle* FakeInstaller::Find(MSIHANDLE handle, Handle::Kind kind) {
  auto it = handles_.find(handle);
  return (it == handles_.end() || it->second.kind != kind) ? nullptr : &it->second;
}

FakeInstaller::Product* FakeInstaller::FindProduct(const std::string& code) {
  for (Product& product : products_) {
    if (LowerAscii(product.code) == LowerAscii(code)) return &product;
  }
  return nullptr;
}

int FakeInstaller::SetInternalUI(int level) {
  calls_.push_back("MsiSetInternalUI " + std::to_string(level));
  if (unavailable_) return 0;
  int previous = uiLevel_;
  uiLevel_ = level;
  return previous;
}

uint32_t FakeInstaller::EnableLog(uint32_t logMode, const std::string& path, uint32_t attributes) {
  calls_.push_back("MsiEnableLogA " + std::to_string(logMode) + " " + path + " " + std::to_string(attributes));
  if (Fails(Call::Installer)) return Failure(variant());
  return unavailable_ ? ERROR_CALL_NOT_IMPLEMENTED : ERROR_SUCCESS;
}

void FakeInstaller::SetDuration(const std::string& packageOrProduct, uint32_t milliseconds, bool ignoresCancel) {
  durations_[LowerAscii(packageOrProduct)] = {milliseconds, ignoresCancel};
}

void FakeInstaller::SetExternalUI(std::function<int(uint32_t messageType)> handler, uint32_t messageFilter) {
  calls_.push_back(handler ? "MsiSetExternalUIA " + std::to_string(messageFilter) : std::string("MsiSetExternalUIA null"));
  handler_ = std::move(handler);
}

uint32_t FakeInstaller::RunFor(const std::string& packageOrProduct) {
  auto it = durations_.find(LowerAscii(packageOrProduct));
  if (it == durations_.end()) return 0;
  constexpr uint32_t kProgress = 0x0A000000;  // INSTALLMESSAGE_PROGRESS
  for (uint32_t ran = 0; ran < it->second.milliseconds; ran += 1000) {
    if (clock_ != nullptr) clock_->Advance(1000);
    if (handler_ && handler_(kProgress) == IDCANCEL && !it->second.ignoresCancel) return ERROR_INSTALL_USEREXIT;
  }
  return 0;
}

uint32_t FakeInstaller::InstallProduct(const std::string& package, const std::string& commandLine) {
  calls_.push_back("MsiInstallProductA " + package + "|" + commandLine);
  if (Fails(Call::Installer)) return Failure(variant());
  if (unavailable_) return ERROR_CALL_NOT_IMPLEMENTED;
  TakeQueuedResult(package);
  if (RunFor(package) != 0) return ERROR_INSTALL_USEREXIT;
  auto it = results_.find(LowerAscii(package));
  return it != results_.end() ? it->second : ERROR_SUCCESS;
}

uint32_t FakeInstaller::ConfigureProductEx(const std::string& product, int installLevel, int installState,
                                           const std::string& commandLine) {
  calls_.push_back("MsiConfigureProductExA " + product + " " + std::to_string(installLevel) + " " +
                   std::to_string(installState) + " " + commandLine);
  if (Fails(Call::Installer)) return Failure(variant());
  if (unavailable_) return ERROR_CALL_NOT_IMPLEMENTED;
  TakeQueuedResult(product);
  if (RunFor(product) != 0) return ERROR_INSTALL_USEREXIT;
  auto it = results_.find(LowerAscii(product));
  uint32_t result = it != results_.end() ? it->second : ERROR_SUCCESS;
  if (FindProduct(product) == nullptr && it == results_.end()) return ERROR_UNKNOWN_PRODUCT;
  if (installState == INSTALLSTATE_ABSENT && (result == ERROR_SUCCESS || result == ERROR_SUCCESS_REBOOT_REQUIRED)) {
    for (auto p = products_.begin(); p != products_.end(); ++p) {
      if (LowerAscii(p->code) == LowerAscii(product)) {
        products_.erase(p);
        break;
      }
    }
  }
  return result;
}

uint32_t FakeInstaller::EnumProducts(uint32_t index, std::string* productCode) {
  calls_.push_back("MsiEnumProductsA " + std::to_string(index));
  productCode->clear();
  if (Fails(Call::Installer)) return Failure(variant());
  if (unavailable_) return ERROR_CALL_NOT_IMPLEMENTED;
  if (index >= products_.size()) return ERROR_NO_MORE_ITEMS;
  *productCode = products_[index].code.substr(0, 38);
  return ERROR_SUCCESS;
}

uint32_t FakeInstaller::GetProductInfo(const std::string& product, const std::string& property, char* buffer,
                                       uint32_t* size) {
  calls_.push_back("MsiGetProductInfoA " + product + " " + property + " " + SizeText(size));
  if (Fails(Call::Installer)) return Failure(variant());
  if (unavailable_) return ERROR_CALL_NOT_IMPLEMENTED;
  Product* p = FindProduct(product);
  if (p == nullptr) return ERROR_UNKNOWN_PRODUCT;
  auto it = p->info.find(property);
  if (it == p->info.end()) return ERROR_UNKNOWN_PROPERTY;
  return CopyOut(it->second, buffer, size);
}

uint32_t FakeInstaller::OpenDatabase(const std::string& path, MSIHANDLE* database) {
  calls_.push_back("MsiOpenDatabaseA " + path);
  *database = 0;
  if (Fails(Call::Installer)) return Failure(variant());
  if (unavailable_) return ERROR_CALL_NOT_IMPLEMENTED;
  if (packages_.count(LowerAscii(path)) == 0) return ERROR_OPEN_FAILED;
  Handle h{Handle::Database, LowerAscii(path), {}, {}, {}, false};
  *database = NewHandle(h);
  return ERROR_SUCCESS;
}

uint32_t FakeInstaller::DatabaseOpenView(MSIHANDLE database, const std::string& query, MSIHANDLE* view) {
  calls_.push_back("MsiDatabaseOpenViewA " + query);
  *view = 0;
  if (Fails(Call::Installer)) return Failure(variant());
  if (unavailable_) return ERROR_CALL_NOT_IMPLEMENTED;
  Handle* db = Find(database, Handle::Database);
  if (db == nullptr) return ERROR_INVALID_HANDLE;
  std::string property;
  if (!QueryReader(query).ReadPropertySelect(&property)) return ERROR_BAD_QUERY_SYNTAX;
  Handle h{Handle::View, db->key, {}, {}, property, false};
  *view = NewHandle(h);
  return ERROR_SUCCESS;
}

uint32_t FakeInstaller::ViewExecute(MSIHANDLE view) {
  calls_.push_back("MsiViewExecute");
  if (Fails(Call::Installer)) return Failure(variant());
  if (unavailable_) return ERROR_CALL_NOT_IMPLEMENTED;
  Handle* v = Find(view, Handle::View);
  if (v == nullptr) return ERROR_INVALID_HANDLE;
  v->rows.clear();
  auto package = packages_.find(v->key);
  if (package != packages_.end()) {
    auto it = package->second.find(v->property);
    if (it != package->second.end()) v->rows.push_back({it->first, it->second});
  }
  v->executed = true;
  return ERROR_SUCCESS;
}

uint32_t FakeInstaller::ViewFetch(MSIHANDLE view, MSIHANDLE* record) {
  calls_.push_back("MsiViewFetch");
  *record = 0;
  if (Fails(Call::Installer)) return Failure(variant());
  if (unavailable_) return ERROR_CALL_NOT_IMPLEMENTED;
  Handle* v = Find(view, Handle::View);
  if (v == nullptr) return ERROR_INVALID_HANDLE;
  if (!v->executed) return kErrorFunctionFailed;
  if (v->rows.empty()) return ERROR_NO_MORE_ITEMS;
  Handle h{Handle::Record, v->key, v->rows.front(), {}, {}, false};
  v->rows.erase(v->rows.begin());
  *record = NewHandle(h);
  return ERROR_SUCCESS;
}

uint32_t FakeInstaller::ViewClose(MSIHANDLE view) {
  calls_.push_back("MsiViewClose");
  if (Fails(Call::Installer)) return Failure(variant());
  if (unavailable_) return ERROR_CALL_NOT_IMPLEMENTED;
  Handle* v = Find(view, Handle::View);
  if (v == nullptr) return ERROR_INVALID_HANDLE;
  if (!v->executed) return kErrorFunctionFailed;
  v->executed = false;
  v->rows.clear();
  return ERROR_SUCCESS;
}

uint32_t FakeInstaller::RecordGetString(MSIHANDLE record, uint32_t field, char* buffer, uint32_t* size) {
  calls_.push_back("MsiRecordGetStringA " + std::to_string(field) + " " + SizeText(size));
  if (Fails(Call::Installer)) return Failure(variant());
  if (unavailable_) return ERROR_CALL_NOT_IMPLEMENTED;
  Handle* r = Find(record, Handle::Record);
  if (r == nullptr) return ERROR_INVALID_HANDLE;
  std::string value;
  if (field >= 1 && field <= r->fields.size()) value = r->fields[field - 1];
  return CopyOut(value, buffer, size);
}

uint32_t FakeInstaller::OpenProduct(const std::string& productCode, MSIHANDLE* product) {
  calls_.push_back("MsiOpenProductA " + productCode);
  *product = 0;
  if (Fails(Call::Installer)) return Failure(variant());
  if (unavailable_) return ERROR_CALL_NOT_IMPLEMENTED;
  Product* p = FindProduct(productCode);
  if (p == nullptr) return ERROR_UNKNOWN_PRODUCT;
  Handle h{Handle::Product, p->code, {}, {}, {}, false};
  *product = NewHandle(h);
  return ERROR_SUCCESS;
}

uint32_t FakeInstaller::GetProductProperty(MSIHANDLE product, const std::string& property, char* buffer,
                                           uint32_t* size) {
  calls_.push_back("MsiGetProductPropertyA " + property + " " + SizeText(size));
  if (Fails(Call::Installer)) return Failure(variant());
  if (unavailable_) return ERROR_CALL_NOT_IMPLEMENTED;
  Handle* h = Find(product, Handle::Product);
  if (h == nullptr) return ERROR_INVALID_HANDLE;
  Product* p = FindProduct(h->key);
  std::string value;
  if (p != nullptr) {
    auto it = p->properties.find(property);
    if (it != p->properties.end()) value = it->second;
  }
  return CopyOut(value, buffer, size);
}

uint32_t FakeInstaller::CloseHandle(MSIHANDLE handle) {
  calls_.push_back("MsiCloseHandle " + std::to_string(handle));
  if (unavailable_) return ERROR_CALL_NOT_IMPLEMENTED;
  if (handle == 0) return ERROR_SUCCESS;
  return handles_.erase(handle) != 0 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

uint32_t FakeInstaller::EnumRelatedProducts(const std::string& upgradeCode, uint32_t index,
                                            std::string* productCode) {
  calls_.push_back("MsiEnumRelatedProductsA " + upgradeCode + " " + std::to_string(index));
  productCode->clear();
  if (Fails(Call::Installer)) return Failure(variant());
  if (unavailable_) return ERROR_CALL_NOT_IMPLEMENTED;
  uint32_t seen = 0;
  for (const Product& p : products_) {
    if (p.upgradeCode.empty() || LowerAscii(p.upgradeCode) != LowerAscii(upgradeCode)) continue;
    if (seen++ == index) {
      *productCode = p.code.substr(0, 38);
      return ERROR_SUCCESS;
    }
  }
  return ERROR_NO_MORE_ITEMS;
}

}  // namespace fake
}  // namespace nv
