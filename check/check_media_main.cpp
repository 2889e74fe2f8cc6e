// The media check's console entry point: the real platform, the report on
// the standard output and errors on the standard error.

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "check/check_media.h"
#include "platform/win32/win32_platform.h"
#include "platform/win32/win32_trust.h"

namespace {

// A console shows text in its OEM code page (437 or 850 on Western
// systems), so accented characters of the ANSI report would come out wrong
// there. Redirected output, and the JSON document, keep their bytes.
void WriteReport(FILE* stream, DWORD handleKind, std::string text, bool keepBytes) {
  if (text.empty()) return;
  if (!keepBytes && GetFileType(GetStdHandle(handleKind)) == FILE_TYPE_CHAR && text.size() < MAXDWORD) {
    CharToOemBuffA(text.data(), text.data(), static_cast<DWORD>(text.size()));
  }
  fwrite(text.data(), 1, text.size(), stream);
  fflush(stream);
}

}  // namespace

int main() {
  nv::win32::Win32Windows windows;
  nv::win32::Win32Trust trust;
  const std::vector<std::string> args = windows.platform.system.Arguments();
  std::string out, err;
  int code = nv::CheckMedia(windows.platform, trust, args, &out, &err);
  const bool json = nv::CheckReportIsJson(windows.platform.codePage, args);
  WriteReport(stdout, STD_OUTPUT_HANDLE, out, json);
  WriteReport(stderr, STD_ERROR_HANDLE, err, false);
  return code;
}
