/*
 * barewalk: lists every folder below a folder once with FindFirstFileA /
 * FindNextFileA, depth first, and nothing else: the floor for any search
 * that has to see the whole tree. It enters folders as the subfolder search
 * does (no names beginning with ".", no links, no path too long to list).
 *
 * Usage:
 *   barewalk FOLDER
 *
 * Prints the number of folders listed; exit code 0, or 2 without a folder.
 */
#include <windows.h>

#include <stdio.h>
#include <string.h>

static unsigned long listed;

static void Walk(const char *folder) {
  char pattern[MAX_PATH];
  WIN32_FIND_DATAA data;
  HANDLE search;
  if (strlen(folder) + 4 >= MAX_PATH) return;
  sprintf(pattern, "%s\\*.*", folder);
  search = FindFirstFileA(pattern, &data);
  ++listed;
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    char below[MAX_PATH];
    if (data.cFileName[0] == '.' || !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
        (data.dwReserved0 == 0 || (data.dwReserved0 & 0x20000000))) continue;
    if (strlen(folder) + 1 + strlen(data.cFileName) >= MAX_PATH) continue;
    sprintf(below, "%s\\%s", folder, data.cFileName);
    Walk(below);
  } while (FindNextFileA(search, &data));
  FindClose(search);
}

int main(int argc, char **argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: barewalk FOLDER\n");
    return 2;
  }
  Walk(argv[1]);
  printf("%lu\n", listed);
  return 0;
}
