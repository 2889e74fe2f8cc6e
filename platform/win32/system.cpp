// The process's arguments, the clock and the standard output.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "platform/win32/win32_platform.h"

namespace nv {
namespace win32 {

std::vector<std::string> Win32System::Arguments() {
  // The C runtime's split of the command line, as a console program's main
  // would get it; argument 0 is the program.
  std::vector<std::string> arguments;
  if (__argv == nullptr) return arguments;
  for (int i = 1; i < __argc; ++i) {
    if (__argv[i] != nullptr) arguments.emplace_back(__argv[i]);
  }
  return arguments;
}

LocalTime Win32System::Now() {
  LocalTime now;
  time_t seconds = time(nullptr);
  const struct tm* local = localtime(&seconds);
  if (local == nullptr) return now;
  now.year = local->tm_year + 1900;
  now.month = local->tm_mon + 1;
  now.day = local->tm_mday;
  now.hour = local->tm_hour;
  now.minute = local->tm_min;
  now.second = local->tm_sec;
  now.weekday = local->tm_wday;
  return now;
}

void Win32System::WriteStdOut(const std::string& text) {
  // A GUI program started without redirection has no standard output; the
  // write then fails quietly and nothing else depends on it.
  if (text.empty()) return;
  fwrite(text.data(), 1, text.size(), stdout);
  fflush(stdout);
}

}  // namespace win32
}  // namespace nv
