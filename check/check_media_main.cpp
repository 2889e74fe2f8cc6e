// The media check's console entry point: the real platform, the report on
// the standard output and errors on the standard error.

#include <cstdio>

#include "check/check_media.h"
#include "platform/win32/win32_platform.h"
#include "platform/win32/win32_trust.h"

int main() {
  nv::win32::Win32Windows windows;
  nv::win32::Win32Trust trust;
  std::string out, err;
  int code = nv::CheckMedia(windows.platform, trust, windows.platform.system.Arguments(), &out, &err);
  fwrite(out.data(), 1, out.size(), stdout);
  fwrite(err.data(), 1, err.size(), stderr);
  fflush(stdout);
  fflush(stderr);
  return code;
}
