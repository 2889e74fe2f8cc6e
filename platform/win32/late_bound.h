#pragma once
// Functions newer than the oldest Windows the programs load on are never
// imported: they are looked up when first needed, and the caller falls back
// when the running Windows does not have them.

#include <windows.h>

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

}  // namespace win32
}  // namespace nv
