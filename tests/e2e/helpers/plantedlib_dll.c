/*
 * A library planted where the program must not load it from (next to the
 * program, or in the current folder), under the name of a system library
 * such as msi.dll. Loading it is recorded by the file "<its path>.loaded",
 * written from DllMain with the file calls alone, since the C run-time is
 * not ready there. It exports nothing, so a program that loaded it finds
 * none of the functions it wanted.
 */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void *reserved) {
  char path[MAX_PATH + 8];
  DWORD length;
  HANDLE file;
  (void)reserved;
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  length = GetModuleFileNameA(instance, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return TRUE;
  lstrcpyA(path + length, ".loaded");
  file = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  return TRUE;
}
