/*
 * holdfile: keeps a file open without sharing, so that no other process can
 * open it (as an editor or a virus scanner holding a file does).
 *
 * Usage:
 *   holdfile PATH READY-FILE STOP-FILE [TIMEOUT-SECONDS]
 *
 * Creates READY-FILE once PATH is held, then waits until STOP-FILE exists
 * (or the time-out, default 120 seconds, has passed) and lets PATH go.
 * Exit code 0, or 2 when PATH could not be opened.
 */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

int main(int argc, char **argv) {
  HANDLE held, ready;
  DWORD start, limit;
  if (argc < 4) {
    fprintf(stderr, "usage: holdfile PATH READY-FILE STOP-FILE [TIMEOUT-SECONDS]\n");
    return 2;
  }
  limit = (argc > 4 ? (DWORD)strtoul(argv[4], NULL, 10) : 120) * 1000;
  held = CreateFileA(argv[1], GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, NULL);
  if (held == INVALID_HANDLE_VALUE) {
    fprintf(stderr, "holdfile: cannot open %s (%lu)\n", argv[1], (unsigned long)GetLastError());
    return 2;
  }
  ready = CreateFileA(argv[2], GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (ready != INVALID_HANDLE_VALUE) CloseHandle(ready);
  start = GetTickCount();
  while (GetFileAttributesA(argv[3]) == INVALID_FILE_ATTRIBUTES && GetTickCount() - start < limit)
    Sleep(50);
  CloseHandle(held);
  return 0;
}
