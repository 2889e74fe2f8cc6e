// The Windows entry point: the real platform and one unattended run.

#include <windows.h>

#include "app/run_driver.h"
#include "platform/win32/win32_platform.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  // Every library the program loads by name is loaded by its full path, so
  // the DLL search order is left as it is: the programs the run starts
  // inherit it, and a setup that loads a library from its current folder
  // must still find it there.
  nv::win32::Win32Windows windows;
  return nv::RunUnattended(windows.platform, instance);
}
