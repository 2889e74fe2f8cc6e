// Registry reads on HKEY_LOCAL_MACHINE, always in the view a 32-bit program sees.

#include <windows.h>

#include <cstring>
#include <vector>

#include "platform/win32/win32_platform.h"

namespace nv {
namespace win32 {

namespace {

// RegOpenKeyExA with query access, in the view a 32-bit program sees: null
// when the key cannot be opened.
HKEY OpenForQuery(RegRoot root, const std::string& subkey) {
  HKEY rootKey = HKEY_LOCAL_MACHINE;
  switch (root) {
    case RegRoot::LocalMachine:
      rootKey = HKEY_LOCAL_MACHINE;
      break;
  }
  // The suite keeps its settings where a 32-bit program sees them. The
  // 32-bit program opens keys without a view flag (Windows 2000 refuses one,
  // and a 32-bit process is given the 32-bit view anyway); the 64-bit build
  // must ask for that view to read the same keys, not their 64-bit namesakes.
#ifdef _WIN64
  const REGSAM access = KEY_QUERY_VALUE | KEY_WOW64_32KEY;
#else
  const REGSAM access = KEY_QUERY_VALUE;
#endif
  HKEY key = nullptr;
  if (RegOpenKeyExA(rootKey, subkey.c_str(), 0, access, &key) != ERROR_SUCCESS) return nullptr;
  return key;
}

}  // namespace

bool Win32Registry::ValueExists(RegRoot root, const std::string& subkey, const std::string& valueName) {
  HKEY key = OpenForQuery(root, subkey);
  if (key == nullptr) return false;
  DWORD size = 0;
  LONG result = RegQueryValueExA(key, valueName.c_str(), nullptr, nullptr, nullptr, &size);
  RegCloseKey(key);
  return result == ERROR_SUCCESS;
}

bool Win32Registry::QueryValue(RegRoot root, const std::string& subkey, const std::string& valueName,
                               size_t bufferSize, std::string* data) {
  data->clear();
  HKEY key = OpenForQuery(root, subkey);
  if (key == nullptr) return false;
  if (bufferSize > MAXDWORD) bufferSize = MAXDWORD;
  // Never a null data pointer: with one, a size query would succeed for a
  // value that does not fit.
  std::vector<BYTE> buffer(bufferSize > 0 ? bufferSize : 1);
  DWORD size = static_cast<DWORD>(bufferSize);
  DWORD type = 0;
  LONG result = RegQueryValueExA(key, valueName.c_str(), nullptr, &type, buffer.data(), &size);
  RegCloseKey(key);
  if (result != ERROR_SUCCESS) return false;
  // Only the bytes Windows reported are data; a string value stored without
  // its zero is not read beyond them.
  size_t length = size < bufferSize ? size : bufferSize;
  const char* bytes = reinterpret_cast<const char*>(buffer.data());
  data->assign(bytes, strnlen(bytes, length));
  return true;
}

}  // namespace win32
}  // namespace nv
