/*
 * shellinfo: answers questions about files and folders of the prefix as a
 * Windows program sees them, several in one start (each Wine start costs a
 * second or so).
 *
 * Usage:
 *   shellinfo QUERY ARGUMENT [QUERY ARGUMENT ...]
 *
 *   version PATH   the file version of PATH's version resource, from the
 *                  fixed file information, as A.B.C.D
 *   lnk PATH       what the shortcut file PATH holds, read through
 *                  IShellLinkA and IPersistFile: target path, description,
 *                  arguments, working folder, icon path and index, hot key
 *                  and show command
 *   folder CSIDL   the path of a special folder (CSIDL in decimal or 0x hex)
 *   message CODE   the system's message text for an error code (decimal),
 *                  with backslash, CR and LF written as \\, \r and \n
 *
 * One line per query, fields separated by a TAB, CR LF at the end (the C runtime's text mode):
 *   version  PATH  A.B.C.D | -
 *   lnk      PATH  ok TARGET DESCRIPTION ARGUMENTS FOLDER ICON INDEX HOTKEY SHOW
 *                  | error 0xHRESULT
 *   folder   CSIDL PATH | -
 *   message  CODE  TEXT | -
 * Exit code 0, or 2 for a query it does not know.
 */
#define COBJMACROS
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static void FileVersion(const char *path) {
  DWORD handle = 0, size = GetFileVersionInfoSizeA(path, &handle);
  VS_FIXEDFILEINFO *info = NULL;
  UINT length = 0;
  char *data;
  printf("version\t%s\t", path);
  if (size == 0 || (data = malloc(size)) == NULL) {
    printf("-\n");
    return;
  }
  if (GetFileVersionInfoA(path, 0, size, data) && VerQueryValueA(data, "\\", (void **)&info, &length) &&
      info != NULL && length >= sizeof *info) {
    printf("%u.%u.%u.%u\n", (unsigned)HIWORD(info->dwFileVersionMS), (unsigned)LOWORD(info->dwFileVersionMS),
           (unsigned)HIWORD(info->dwFileVersionLS), (unsigned)LOWORD(info->dwFileVersionLS));
  } else {
    printf("-\n");
  }
  free(data);
}

static void Shortcut(const char *path) {
  IShellLinkA *link = NULL;
  IPersistFile *file = NULL;
  WCHAR wide[MAX_PATH * 2];
  char target[MAX_PATH * 2] = "", description[1024] = "", arguments[1024] = "";
  char folder[MAX_PATH * 2] = "", icon[MAX_PATH * 2] = "";
  int iconIndex = 0, show = 0;
  WORD hotkey = 0;
  HRESULT hr;
  printf("lnk\t%s\t", path);
  hr = CoCreateInstance(&CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, &IID_IShellLinkA, (void **)&link);
  if (SUCCEEDED(hr)) hr = IShellLinkA_QueryInterface(link, &IID_IPersistFile, (void **)&file);
  if (SUCCEEDED(hr)) {
    MultiByteToWideChar(CP_ACP, 0, path, -1, wide, (int)(sizeof wide / sizeof wide[0]));
    hr = IPersistFile_Load(file, wide, STGM_READ);
  }
  /* The raw path, as stored, not one resolved against the file system. */
  if (SUCCEEDED(hr)) hr = IShellLinkA_GetPath(link, target, sizeof target, NULL, SLGP_RAWPATH);
  if (SUCCEEDED(hr)) hr = IShellLinkA_GetDescription(link, description, sizeof description);
  if (SUCCEEDED(hr)) hr = IShellLinkA_GetArguments(link, arguments, sizeof arguments);
  if (SUCCEEDED(hr)) hr = IShellLinkA_GetWorkingDirectory(link, folder, sizeof folder);
  if (SUCCEEDED(hr)) hr = IShellLinkA_GetIconLocation(link, icon, sizeof icon, &iconIndex);
  if (SUCCEEDED(hr)) hr = IShellLinkA_GetHotkey(link, &hotkey);
  if (SUCCEEDED(hr)) hr = IShellLinkA_GetShowCmd(link, &show);
  if (SUCCEEDED(hr)) {
    printf("ok\t%s\t%s\t%s\t%s\t%s\t%d\t%u\t%d\n", target, description, arguments, folder, icon, iconIndex,
           (unsigned)hotkey, show);
  } else {
    printf("error\t0x%08lx\n", (unsigned long)hr);
  }
  if (file) IPersistFile_Release(file);
  if (link) IShellLinkA_Release(link);
}

static void SpecialFolder(const char *csidl) {
  char path[MAX_PATH] = "";
  int id = (int)strtol(csidl, NULL, 0);
  printf("folder\t%s\t", csidl);
  if (SUCCEEDED(SHGetFolderPathA(NULL, id, NULL, 0, path)) && path[0]) {
    printf("%s\n", path);
  } else {
    printf("-\n");
  }
}

static void SystemMessage(const char *code) {
  char *text = NULL, *p;
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
                                    FORMAT_MESSAGE_ALLOCATE_BUFFER,
                                NULL, (DWORD)strtoul(code, NULL, 10), 0, (char *)&text, 0, NULL);
  printf("message\t%s\t", code);
  if (length == 0 || text == NULL) {
    printf("-\n");
    return;
  }
  for (p = text; p < text + length; ++p) {
    if (*p == '\\') {
      printf("\\\\");
    } else if (*p == '\r') {
      printf("\\r");
    } else if (*p == '\n') {
      printf("\\n");
    } else {
      putchar(*p);
    }
  }
  printf("\n");
  LocalFree(text);
}

int main(int argc, char **argv) {
  int i;
  CoInitialize(NULL);
  for (i = 1; i + 1 < argc; i += 2) {
    if (strcmp(argv[i], "version") == 0) {
      FileVersion(argv[i + 1]);
    } else if (strcmp(argv[i], "lnk") == 0) {
      Shortcut(argv[i + 1]);
    } else if (strcmp(argv[i], "folder") == 0) {
      SpecialFolder(argv[i + 1]);
    } else if (strcmp(argv[i], "message") == 0) {
      SystemMessage(argv[i + 1]);
    } else {
      fprintf(stderr, "shellinfo: unknown query %s\n", argv[i]);
      return 2;
    }
  }
  fflush(stdout);
  CoUninitialize();
  return 0;
}
