// The Windows entry point: the real platform and one unattended run.

#include <windows.h>

#include "app/run_driver.h"
#include "platform/win32/win32_platform.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  nv::win32::Win32Windows windows;
  return nv::RunUnattended(windows.platform, instance);
}
