#pragma once
// Functions newer than the oldest Windows the programs load on are never
// imported: they are looked up when first needed, and the caller falls back
// when the running Windows does not have them.

#include <windows.h>

#include <cstring>

namespace nv {
namespace win32 {

// A bound address as the function type it stands for.
template <typename Function>
Function As(void* address) {
  return reinterpret_cast<Function>(address);
}

// The function name exported by an already loaded system module (kernel32,
// user32, advapi32: the programs import from each), or null when this
// Windows lacks it.
template <typename Function>
Function LateBound(const char* module, const char* name) {
  HMODULE handle = GetModuleHandleA(module);
  if (handle == nullptr) return nullptr;
  return As<Function>(reinterpret_cast<void*>(GetProcAddress(handle, name)));
}

// LoadLibraryA of a library in the system folder by its full path. A bare
// name would be looked for in the program's folder first, and the program
// runs elevated from download folders and agents' caches, where anyone may
// have left a library of that name. Null when it cannot be loaded.
inline HMODULE LoadSystemLibrary(const char* name) {
  char path[MAX_PATH] = {};
  const UINT length = GetSystemDirectoryA(path, MAX_PATH);
  const size_t nameLength = strlen(name);
  if (length == 0 || length + 1 + nameLength >= MAX_PATH) return nullptr;
  path[length] = '\\';
  memcpy(path + length + 1, name, nameLength + 1);
  return LoadLibraryA(path);
}

}  // namespace win32
}  // namespace nv
