// The Windows entry point: the real platform and one unattended run.

#include <windows.h>

#include "app/run_driver.h"
#include "platform/win32/late_bound.h"
#include "platform/win32/win32_platform.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  // The program runs elevated, often from a share or a download folder: the
  // libraries it loads by name (the status MIF library) are never taken from
  // the current folder, where anyone may have left one. Windows before XP
  // SP1 lacks the call.
  using SetDllDirectoryFn = BOOL(WINAPI*)(const char*);
  if (auto setDllDirectory = nv::win32::LateBound<SetDllDirectoryFn>("kernel32.dll", "SetDllDirectoryA")) {
    setDllDirectory("");
  }
  nv::win32::Win32Windows windows;
  return nv::RunUnattended(windows.platform, instance);
}
