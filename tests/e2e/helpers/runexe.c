/*
 * runexe: starts a program under Wine and reports its full 32-bit exit code.
 * A Unix parent only sees the low eight bits of a Windows exit code, which
 * cannot tell 1603 from 67 or an access violation from 5.
 *
 * Usage:
 *   runexe RESULT-FILE TIMEOUT-MS PROGRAM [ARGUMENTS...]
 *
 * Everything after TIMEOUT-MS is passed on as the program's command line
 * exactly as this process received it, so the program splits its arguments
 * just as it would when started directly. The program inherits the
 * standard handles. RESULT-FILE gets one line:
 *   exit <decimal> 0x<hex>     the program ended with that code
 *   timeout                    it ran longer than TIMEOUT-MS and was ended
 *   error <code>               it could not be started
 * runexe's own exit code is the program's, or 255 for time-out and error.
 *
 * With NV_RUNEXE_HIDDEN set, the program starts on a desktop of a window
 * station that runexe creates: one that is not visible (WSF_VISIBLE clear),
 * as a service's is. Nobody can answer a window there; one that waits for
 * an answer waits until the time-out.
 */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

/* Skips one argument of a command line as the C runtime splits it: blanks,
   then characters up to the next blank outside double quotes. A quote after
   an odd number of backslashes is literal; any other quote toggles quoting. */
static const wchar_t *SkipArgument(const wchar_t *p) {
  int quoted = 0;
  while (*p == L' ' || *p == L'\t') ++p;
  while (*p) {
    if (*p == L'\\') {
      int n = 0;
      while (*p == L'\\') {
        ++p;
        ++n;
      }
      if (*p == L'"' && n % 2 == 1) ++p;
      continue;
    }
    if (*p == L'"') {
      quoted = !quoted;
      ++p;
      continue;
    }
    if (!quoted && (*p == L' ' || *p == L'\t')) break;
    ++p;
  }
  return p;
}

static void Report(const char *path, const char *line) {
  FILE *f = fopen(path, "w");
  if (f) {
    fputs(line, f);
    fclose(f);
  }
}

int main(int argc, char **argv) {
  const wchar_t *rest;
  wchar_t *commandLine;
  STARTUPINFOW si;
  PROCESS_INFORMATION pi;
  DWORD timeout, wait, code = 0;
  char line[128];
  int i;

  if (argc < 4) {
    fprintf(stderr, "usage: runexe RESULT-FILE TIMEOUT-MS PROGRAM [ARGUMENTS...]\n");
    return 255;
  }
  timeout = (DWORD)strtoul(argv[2], NULL, 10);

  rest = GetCommandLineW();
  for (i = 0; i < 3; ++i) rest = SkipArgument(rest);
  while (*rest == L' ' || *rest == L'\t') ++rest;
  commandLine = _wcsdup(rest); /* CreateProcessW may write to it */
  if (!commandLine) return 255;

  ZeroMemory(&si, sizeof si);
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  si.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  if (GetEnvironmentVariableA("NV_RUNEXE_HIDDEN", line, sizeof line) > 0) {
    HWINSTA own = GetProcessWindowStation();
    HWINSTA hidden = CreateWindowStationW(L"NvHidden", 0, WINSTA_ALL_ACCESS, NULL);
    /* A desktop is made in the window station of the process that makes it. */
    if (!hidden || !SetProcessWindowStation(hidden) ||
        !CreateDesktopW(L"Default", NULL, NULL, 0, GENERIC_ALL, NULL) || !SetProcessWindowStation(own)) {
      snprintf(line, sizeof line, "error %lu\n", (unsigned long)GetLastError());
      Report(argv[1], line);
      return 255;
    }
    si.lpDesktop = L"NvHidden\\Default";
  }
  ZeroMemory(&pi, sizeof pi);
  if (!CreateProcessW(NULL, commandLine, NULL, NULL, TRUE, 0, NULL, NULL, &si, &pi)) {
    snprintf(line, sizeof line, "error %lu\n", (unsigned long)GetLastError());
    Report(argv[1], line);
    return 255;
  }
  wait = WaitForSingleObject(pi.hProcess, timeout);
  if (wait != WAIT_OBJECT_0) {
    TerminateProcess(pi.hProcess, 0xDEADu);
    WaitForSingleObject(pi.hProcess, 5000);
    Report(argv[1], "timeout\n");
    return 255;
  }
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  snprintf(line, sizeof line, "exit %ld 0x%08lx\n", (long)(LONG)code, (unsigned long)code);
  Report(argv[1], line);
  return (int)code;
}
