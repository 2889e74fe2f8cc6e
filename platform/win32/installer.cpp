// The Windows Installer calls, bound at run time.

#include <windows.h>

#include <cstring>

#include "platform/win32/late_bound.h"
#include "platform/win32/win32_platform.h"

namespace nv {
namespace win32 {
namespace {

// The Windows Installer's own handle type (an unsigned long of 32 bits).
using MsiHandle = unsigned long;

// MSIDBOPEN_READONLY: the persistence mode passed as a pointer value.
const char* const kOpenReadOnly = nullptr;

using SetInternalUIFn = int(WINAPI*)(int level, HWND* window);
using EnableLogFn = UINT(WINAPI*)(DWORD mode, const char* path, DWORD attributes);
using InstallProductFn = UINT(WINAPI*)(const char* package, const char* commandLine);
using ConfigureProductExFn = UINT(WINAPI*)(const char* product, int level, int state, const char* commandLine);
using EnumProductsFn = UINT(WINAPI*)(DWORD index, char* productCode);
using GetProductInfoFn = UINT(WINAPI*)(const char* product, const char* property, char* buffer, DWORD* size);
using OpenDatabaseFn = UINT(WINAPI*)(const char* path, const char* persist, MsiHandle* database);
using DatabaseOpenViewFn = UINT(WINAPI*)(MsiHandle database, const char* query, MsiHandle* view);
using ViewExecuteFn = UINT(WINAPI*)(MsiHandle view, MsiHandle record);
using ViewFetchFn = UINT(WINAPI*)(MsiHandle view, MsiHandle* record);
using ViewCloseFn = UINT(WINAPI*)(MsiHandle view);
using RecordGetStringFn = UINT(WINAPI*)(MsiHandle record, UINT field, char* buffer, DWORD* size);
using OpenProductFn = UINT(WINAPI*)(const char* product, MsiHandle* handle);
using GetProductPropertyFn = UINT(WINAPI*)(MsiHandle product, const char* property, char* buffer, DWORD* size);
using CloseHandleFn = UINT(WINAPI*)(MsiHandle handle);
using EnumRelatedProductsFn = UINT(WINAPI*)(const char* upgradeCode, DWORD reserved, DWORD index, char* productCode);
using ExternalUIHandler = int(WINAPI*)(void* context, UINT messageType, const char* message);
using SetExternalUIFn = ExternalUIHandler(WINAPI*)(ExternalUIHandler handler, DWORD filter, void* context);

// Export names, by Win32Installer::Function.
const char* const kExportNames[Win32Installer::kFunctionCount] = {
    "MsiSetInternalUI",     "MsiEnableLogA",      "MsiInstallProductA",   "MsiConfigureProductExA",
    "MsiEnumProductsA",     "MsiGetProductInfoA", "MsiOpenDatabaseA",     "MsiDatabaseOpenViewA",
    "MsiViewExecute",       "MsiViewFetch",       "MsiViewClose",         "MsiRecordGetStringA",
    "MsiOpenProductA",      "MsiGetProductPropertyA", "MsiCloseHandle", "MsiEnumRelatedProductsA",
    "MsiSetExternalUIA",
};

// The product-code buffer of MsiEnumProductsA: 38 characters and the zero.
constexpr size_t kProductCodeChars = 39;

// Passes a caller's buffer size through the installer's DWORD and back.
template <typename Call>
UINT WithSize(uint32_t* size, Call call) {
  DWORD chars = size != nullptr ? *size : 0;
  UINT result = call(size != nullptr ? &chars : nullptr);
  if (size != nullptr) *size = chars;
  return result;
}

// Hands a message to the handler the run set; the context is that handler.
int WINAPI CallExternalUIHandler(void* context, UINT messageType, const char*) {
  return (*static_cast<const std::function<int(uint32_t)>*>(context))(messageType);
}

}  // namespace

Win32Installer::Win32Installer(const char* library) : library_(library != nullptr ? library : "") {}

Win32Installer::~Win32Installer() {
  if (module_ != nullptr) FreeLibrary(static_cast<HMODULE>(module_));
}

void* Win32Installer::LoadEngine() const {
  // A library given with its folder (the tests') is loaded as given.
  if (library_.find('\\') != std::string::npos) return LoadLibraryA(library_.c_str());
  // An engine already loaded, the upgraded one from the Installer's own
  // folder, keeps answering: the load by its own full path only counts one
  // more reference to it.
  if (HMODULE loaded = GetModuleHandleA(library_.c_str())) {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(loaded, path, MAX_PATH);
    if (length > 0 && length < MAX_PATH) return LoadLibraryA(path);
  }
  return LoadSystemLibrary(library_.c_str());
}

void* Win32Installer::Bind(Function function) {
  if (functions_[function] != nullptr) return functions_[function];
  if (module_ == nullptr) {
    module_ = LoadEngine();
    if (module_ == nullptr) return nullptr;
  }
  FARPROC address = GetProcAddress(static_cast<HMODULE>(module_), kExportNames[function]);
  functions_[function] = reinterpret_cast<void*>(address);
  return functions_[function];
}

int Win32Installer::SetInternalUI(int level) {
  void* fn = Bind(kSetInternalUI);
  if (fn == nullptr) return 0;
  return As<SetInternalUIFn>(fn)(level, nullptr);
}

uint32_t Win32Installer::EnableLog(uint32_t logMode, const std::string& path, uint32_t attributes) {
  void* fn = Bind(kEnableLog);
  if (fn == nullptr) return ERROR_CALL_NOT_IMPLEMENTED;
  return As<EnableLogFn>(fn)(logMode, path.c_str(), attributes);
}

uint32_t Win32Installer::InstallProduct(const std::string& package, const std::string& commandLine) {
  void* fn = Bind(kInstallProduct);
  if (fn == nullptr) return ERROR_CALL_NOT_IMPLEMENTED;
  return As<InstallProductFn>(fn)(package.c_str(), commandLine.c_str());
}

uint32_t Win32Installer::ConfigureProductEx(const std::string& product, int installLevel, int installState,
                                            const std::string& commandLine) {
  void* fn = Bind(kConfigureProductEx);
  if (fn == nullptr) return ERROR_CALL_NOT_IMPLEMENTED;
  return As<ConfigureProductExFn>(fn)(product.c_str(), installLevel, installState, commandLine.c_str());
}

uint32_t Win32Installer::EnumProducts(uint32_t index, std::string* productCode) {
  productCode->clear();
  void* fn = Bind(kEnumProducts);
  if (fn == nullptr) return ERROR_CALL_NOT_IMPLEMENTED;
  char buffer[kProductCodeChars] = {};
  UINT result = As<EnumProductsFn>(fn)(index, buffer);
  if (result == ERROR_SUCCESS) productCode->assign(buffer, strnlen(buffer, sizeof(buffer)));
  return result;
}

uint32_t Win32Installer::GetProductInfo(const std::string& product, const std::string& property, char* buffer,
                                        uint32_t* size) {
  void* fn = Bind(kGetProductInfo);
  if (fn == nullptr) return ERROR_CALL_NOT_IMPLEMENTED;
  return WithSize(size, [&](DWORD* chars) {
    return As<GetProductInfoFn>(fn)(product.c_str(), property.c_str(), buffer, chars);
  });
}

uint32_t Win32Installer::OpenDatabase(const std::string& path, MSIHANDLE* database) {
  *database = 0;
  void* fn = Bind(kOpenDatabase);
  if (fn == nullptr) return ERROR_CALL_NOT_IMPLEMENTED;
  MsiHandle handle = 0;
  UINT result = As<OpenDatabaseFn>(fn)(path.c_str(), kOpenReadOnly, &handle);
  *database = static_cast<MSIHANDLE>(handle);
  return result;
}

uint32_t Win32Installer::DatabaseOpenView(MSIHANDLE database, const std::string& query, MSIHANDLE* view) {
  *view = 0;
  void* fn = Bind(kDatabaseOpenView);
  if (fn == nullptr) return ERROR_CALL_NOT_IMPLEMENTED;
  MsiHandle handle = 0;
  UINT result = As<DatabaseOpenViewFn>(fn)(database, query.c_str(), &handle);
  *view = static_cast<MSIHANDLE>(handle);
  return result;
}

uint32_t Win32Installer::ViewExecute(MSIHANDLE view) {
  void* fn = Bind(kViewExecute);
  if (fn == nullptr) return ERROR_CALL_NOT_IMPLEMENTED;
  return As<ViewExecuteFn>(fn)(view, 0);
}

uint32_t Win32Installer::ViewFetch(MSIHANDLE view, MSIHANDLE* record) {
  *record = 0;
  void* fn = Bind(kViewFetch);
  if (fn == nullptr) return ERROR_CALL_NOT_IMPLEMENTED;
  MsiHandle handle = 0;
  UINT result = As<ViewFetchFn>(fn)(view, &handle);
  *record = static_cast<MSIHANDLE>(handle);
  return result;
}

uint32_t Win32Installer::ViewClose(MSIHANDLE view) {
  void* fn = Bind(kViewClose);
  if (fn == nullptr) return ERROR_CALL_NOT_IMPLEMENTED;
  return As<ViewCloseFn>(fn)(view);
}

uint32_t Win32Installer::RecordGetString(MSIHANDLE record, uint32_t field, char* buffer, uint32_t* size) {
  void* fn = Bind(kRecordGetString);
  if (fn == nullptr) return ERROR_CALL_NOT_IMPLEMENTED;
  return WithSize(size, [&](DWORD* chars) { return As<RecordGetStringFn>(fn)(record, field, buffer, chars); });
}

uint32_t Win32Installer::OpenProduct(const std::string& productCode, MSIHANDLE* product) {
  *product = 0;
  void* fn = Bind(kOpenProduct);
  if (fn == nullptr) return ERROR_CALL_NOT_IMPLEMENTED;
  MsiHandle handle = 0;
  UINT result = As<OpenProductFn>(fn)(productCode.c_str(), &handle);
  *product = static_cast<MSIHANDLE>(handle);
  return result;
}

uint32_t Win32Installer::GetProductProperty(MSIHANDLE product, const std::string& property, char* buffer,
                                            uint32_t* size) {
  void* fn = Bind(kGetProductProperty);
  if (fn == nullptr) return ERROR_CALL_NOT_IMPLEMENTED;
  return WithSize(size, [&](DWORD* chars) {
    return As<GetProductPropertyFn>(fn)(product, property.c_str(), buffer, chars);
  });
}

uint32_t Win32Installer::CloseHandle(MSIHANDLE handle) {
  void* fn = Bind(kCloseHandle);
  if (fn == nullptr) return ERROR_CALL_NOT_IMPLEMENTED;
  return As<CloseHandleFn>(fn)(handle);
}

uint32_t Win32Installer::EnumRelatedProducts(const std::string& upgradeCode, uint32_t index,
                                             std::string* productCode) {
  productCode->clear();
  void* fn = Bind(kEnumRelatedProducts);
  if (fn == nullptr) return ERROR_CALL_NOT_IMPLEMENTED;
  char buffer[kProductCodeChars] = {};
  UINT result = As<EnumRelatedProductsFn>(fn)(upgradeCode.c_str(), 0, index, buffer);
  if (result == ERROR_SUCCESS) productCode->assign(buffer, strnlen(buffer, sizeof(buffer)));
  return result;
}

void Win32Installer::SetExternalUI(std::function<int(uint32_t messageType)> handler, uint32_t messageFilter) {
  void* fn = Bind(kSetExternalUI);
  if (fn == nullptr) return;
  if (!handler) {
    As<SetExternalUIFn>(fn)(nullptr, 0, nullptr);
    externalUI_ = nullptr;
    return;
  }
  // Kept here while Windows Installer may call it.
  externalUI_ = std::move(handler);
  As<SetExternalUIFn>(fn)(CallExternalUIHandler, messageFilter, &externalUI_);
}

}  // namespace win32
}  // namespace nv
