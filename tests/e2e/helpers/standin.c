/*
 * standin: a small program that plays an item's setup program (setup.exe,
 * dotnetfx.exe, an MSDE setup, any tool) in the end-to-end tests. Copies of
 * standin.exe under any name make items; each copy reads its settings from
 * a file next to it named like itself with ".cfg" appended
 * (C:\media\tools\tool.exe reads C:\media\tools\tool.exe.cfg), one
 * key=value a line:
 *
 *   record=PATH      append what happened to PATH (see below); without it
 *                    nothing is recorded
 *   read_status=1    find the installer's status window (a dialog of class
 *                    #32770 of a process named NvRunUnattended.exe with a
 *                    control 1001) and record the texts of 1001 and 1002
 *   ping_status=1    send WM_NULL to that window and record whether its
 *                    thread answered within ping_ms (default 3000)
 *   sleep_ms=N       wait N milliseconds before ending
 *   spawn=PATH       start PATH (another copy) and leave it running
 *   box=TEXT         show a message box with TEXT (caption box_caption=,
 *                    default "Setup") and wait for its answer
 *   broadcast=1      send WM_SETTINGCHANGE ("Environment") to every
 *                    top-level window, as a setup that changed the
 *                    environment does; it returns once all have answered
 *   exit=N           end with exit code N (default 0)
 *
 * Record lines, fields separated by a TAB, each line ending in CR LF; in
 * every text field the bytes below 0x20 and "%" are written as %XX:
 *
 *   start  MODULE-PATH  COMMAND-LINE  CURRENT-FOLDER  MILLISECONDS
 *   status FOUND(0|1)  TEXT-1001  TEXT-1002
 *   ping   FOUND(0|1)  ANSWERED(0|1)  MILLISECONDS
 *   end    EXIT-CODE  MILLISECONDS
 * (MILLISECONDS: of the system time, counted from 1601.)
 *   broadcast  MILLISECONDS it took
 *
 * A copy without a .cfg file simply ends with 0.
 */
#include <windows.h>
#include <tlhelp32.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define STATUS_TEXT_ID 1001
#define STEP_TEXT_ID 1002

typedef struct {
  char record[MAX_PATH * 4];
  int readStatus;
  int pingStatus;
  DWORD pingMs;
  DWORD sleepMs;
  long exitCode;
  char spawn[MAX_PATH * 4];
  char box[1024];
  char boxCaption[256];
  int broadcast;
} Settings;

static Settings g_settings;

static void Trim(char *s) {
  size_t n = strlen(s);
  while (n && (s[n - 1] == '\r' || s[n - 1] == '\n' || s[n - 1] == ' ' || s[n - 1] == '\t'))
    s[--n] = 0;
}

static void ReadSettings(const char *path) {
  char line[4096];
  FILE *f = fopen(path, "r");
  g_settings.pingMs = 3000;
  if (!f) return;
  while (fgets(line, sizeof line, f)) {
    char *eq = strchr(line, '=');
    Trim(line);
    if (!eq) continue;
    *eq = 0;
    if (strcmp(line, "record") == 0) {
      lstrcpynA(g_settings.record, eq + 1, sizeof g_settings.record);
    } else if (strcmp(line, "read_status") == 0) {
      g_settings.readStatus = atoi(eq + 1);
    } else if (strcmp(line, "ping_status") == 0) {
      g_settings.pingStatus = atoi(eq + 1);
    } else if (strcmp(line, "ping_ms") == 0) {
      g_settings.pingMs = (DWORD)strtoul(eq + 1, NULL, 10);
    } else if (strcmp(line, "sleep_ms") == 0) {
      g_settings.sleepMs = (DWORD)strtoul(eq + 1, NULL, 10);
    } else if (strcmp(line, "spawn") == 0) {
      lstrcpynA(g_settings.spawn, eq + 1, sizeof g_settings.spawn);
    } else if (strcmp(line, "box") == 0) {
      lstrcpynA(g_settings.box, eq + 1, sizeof g_settings.box);
    } else if (strcmp(line, "box_caption") == 0) {
      lstrcpynA(g_settings.boxCaption, eq + 1, sizeof g_settings.boxCaption);
    } else if (strcmp(line, "broadcast") == 0) {
      g_settings.broadcast = atoi(eq + 1);
    } else if (strcmp(line, "exit") == 0) {
      g_settings.exitCode = strtol(eq + 1, NULL, 10);
    }
  }
  fclose(f);
}

/* One text field of a record line. */
static void PutField(FILE *f, const char *s) {
  fputc('\t', f);
  for (; *s; ++s) {
    unsigned char c = (unsigned char)*s;
    if (c < 0x20 || c == '%')
      fprintf(f, "%%%02X", c);
    else
      fputc(c, f);
  }
}

/* Appends one record line: a kind and its fields. */
static void Record(const char *kind, int count, const char **fields) {
  FILE *f;
  int i;
  if (!g_settings.record[0]) return;
  f = fopen(g_settings.record, "ab");
  if (!f) return;
  fputs(kind, f);
  for (i = 0; i < count; ++i) PutField(f, fields[i]);
  fputs("\r\n", f);
  fclose(f);
}

/* ------------------------------------------------------- status window */

typedef struct {
  DWORD *pids;
  int count;
  HWND found;
} WindowSearch;

static int IsInstallerProcess(DWORD pid, const DWORD *pids, int count) {
  int i;
  for (i = 0; i < count; ++i)
    if (pids[i] == pid) return 1;
  return 0;
}

static BOOL CALLBACK ConsiderWindow(HWND hwnd, LPARAM param) {
  WindowSearch *search = (WindowSearch *)param;
  char cls[64];
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (!IsInstallerProcess(pid, search->pids, search->count)) return TRUE;
  if (!GetClassNameA(hwnd, cls, sizeof cls) || strcmp(cls, "#32770") != 0) return TRUE;
  if (!GetDlgItem(hwnd, STATUS_TEXT_ID)) return TRUE;
  search->found = hwnd;
  return FALSE;
}

/* The installer's status window, looked for during up to two seconds (it
   exists before any item starts, but the window list may lag behind). */
static HWND FindStatusWindow(void) {
  DWORD pids[64];
  DWORD start = GetTickCount();
  for (;;) {
    WindowSearch search;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry;
    memset(&search, 0, sizeof search);
    search.pids = pids;
    if (snapshot != INVALID_HANDLE_VALUE) {
      entry.dwSize = sizeof entry;
      if (Process32First(snapshot, &entry)) {
        do {
          const char *base = strrchr(entry.szExeFile, '\\');
          base = base ? base + 1 : entry.szExeFile;
          if (lstrcmpiA(base, "NvRunUnattended.exe") == 0 && search.count < 64)
            pids[search.count++] = entry.th32ProcessID;
        } while (Process32Next(snapshot, &entry));
      }
      CloseHandle(snapshot);
    }
    if (search.count) EnumWindows(ConsiderWindow, (LPARAM)&search);
    if (search.found) return search.found;
    if (GetTickCount() - start > 2000) return NULL;
    Sleep(100);
  }
}

/* The text of a control of another process. GetWindowText reads the text
   the system keeps for the window, without a message to its thread, which
   may be blocked waiting for this very program. */
static void ControlText(HWND dialog, int id, char *buf, int size) {
  HWND control = GetDlgItem(dialog, id);
  buf[0] = 0;
  if (control) GetWindowTextA(control, buf, size);
}

static void RecordStatus(HWND window) {
  char status[1024], step[256];
  const char *fields[3];
  ControlText(window, STATUS_TEXT_ID, status, sizeof status);
  ControlText(window, STEP_TEXT_ID, step, sizeof step);
  fields[0] = window ? "1" : "0";
  fields[1] = status;
  fields[2] = step;
  Record("status", 3, fields);
}

static void PingStatus(HWND window) {
  char answered[8], ms[32];
  const char *fields[3];
  DWORD_PTR dummy = 0;
  DWORD start = GetTickCount();
  int ok = 0;
  if (window)
    ok = SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, g_settings.pingMs, &dummy) != 0;
  snprintf(answered, sizeof answered, "%d", ok);
  snprintf(ms, sizeof ms, "%lu", (unsigned long)(GetTickCount() - start));
  fields[0] = window ? "1" : "0";
  fields[1] = answered;
  fields[2] = ms;
  Record("ping", 3, fields);
}

/* The system time in milliseconds, as decimal text. */
static void Now(char *ms, size_t size) {
  FILETIME now;
  ULARGE_INTEGER ticks;
  GetSystemTimeAsFileTime(&now);
  ticks.LowPart = now.dwLowDateTime;
  ticks.HighPart = now.dwHighDateTime;
  snprintf(ms, size, "%llu", (unsigned long long)(ticks.QuadPart / 10000));
}

static void Spawn(const char *path) {
  STARTUPINFOA startup;
  PROCESS_INFORMATION process;
  char line[MAX_PATH * 4 + 2];
  memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  snprintf(line, sizeof line, "\"%s\"", path);
  if (CreateProcessA(NULL, line, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
}

int main(void) {
  char module[MAX_PATH * 4], cfg[MAX_PATH * 4 + 8], cwd[MAX_PATH * 4], code[32];
  const char *fields[4];
  char ms[32];
  HWND window = NULL;
  DWORD n = GetModuleFileNameA(NULL, module, sizeof module);
  if (n == 0 || n >= sizeof module) return 0;
  snprintf(cfg, sizeof cfg, "%s.cfg", module);
  ReadSettings(cfg);

  if (!GetCurrentDirectoryA(sizeof cwd, cwd)) cwd[0] = 0;
  fields[0] = module;
  fields[1] = GetCommandLineA();
  fields[2] = cwd;
  Now(ms, sizeof ms);
  fields[3] = ms;
  Record("start", 4, fields);
  if (g_settings.spawn[0]) Spawn(g_settings.spawn);
  if (g_settings.broadcast) {
    DWORD start = GetTickCount();
    SendMessageA(HWND_BROADCAST, WM_SETTINGCHANGE, 0, (LPARAM) "Environment");
    snprintf(ms, sizeof ms, "%lu", (unsigned long)(GetTickCount() - start));
    fields[0] = ms;
    Record("broadcast", 1, fields);
  }
  if (g_settings.box[0])
    MessageBoxA(NULL, g_settings.box, g_settings.boxCaption[0] ? g_settings.boxCaption : "Setup", MB_OK);

  if (g_settings.readStatus || g_settings.pingStatus) window = FindStatusWindow();
  if (g_settings.readStatus) RecordStatus(window);
  if (g_settings.pingStatus) PingStatus(window);
  if (g_settings.sleepMs) Sleep(g_settings.sleepMs);

  snprintf(code, sizeof code, "%ld", g_settings.exitCode);
  fields[0] = code;
  Now(ms, sizeof ms);
  fields[1] = ms;
  Record("end", 2, fields);
  return (int)g_settings.exitCode;
}
