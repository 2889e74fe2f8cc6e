/*
 * dlgbot: watches for dialog windows (class "#32770") of one program,
 * records each one (title, owner, every child's class, id and full text)
 * and answers them as scripted on the command line. The end-to-end tests
 * start it next to the program under Wine and read its record afterwards.
 *
 * Usage:
 *   dlgbot --out FILE [--exe NAME] [--stop FILE] [--timeout SECONDS]
 *          [--rest close|leave] [ACTION ...]
 *
 *   --out FILE      where the record goes: one JSON object per line, every
 *                   byte outside printable ASCII written as \u00XX (so the
 *                   reader gets the ANSI bytes back through Latin-1)
 *   --exe NAME      only dialogs of processes whose image file name is NAME
 *                   (case-insensitive); without it every process but this one
 *   --stop FILE     end as soon as FILE exists (the harness creates it once
 *                   the program has ended)
 *   --timeout S     end after S seconds whatever happens (default 60)
 *   --rest close    titled dialogs that no action is for (the actions ran
 *                   out, or the next one waits for another title) get
 *                   WM_CLOSE, so that a program showing more than expected
 *                   ends quickly instead of waiting for a time-out; without
 *                   it they are left alone (the default, "--rest leave")
 *
 *   Each ACTION answers the next titled dialog, in the order they appear:
 *     btn:ID        press the button with control id ID (OK 1, Cancel 2,
 *                   Yes 6, No 7); a missing button is pressed through
 *                   WM_COMMAND all the same, as a keyboard accelerator would
 *     cancel        the same as btn:2
 *     open:PATH     file-open dialog: put PATH into the file-name field and
 *                   press Open
 *     none          record the dialog and leave it alone
 *   An action written TITLE::ACTION waits for a dialog with exactly that
 *   title: titled dialogs that come before it are treated as left over
 *   (see --rest) and do not use it up.
 *   Dialogs without a title (modeless status windows) are recorded, again
 *   whenever their texts change, and never consume an action.
 *
 * Record lines:
 *   {"event":"start","desktop":".."}            (the desktop window's handle)
 *   {"event":"dialog","seq":N,"t":MS,"hwnd":"..","owner":"..",
 *    "ownerIsDesktop":B,"pid":P,"title":"..","children":[{"class":"..",
 *    "id":N,"text":".."},...]}
 *   {"event":"update",...the same fields...}   (the texts of a dialog changed)
 *   {"event":"action","seq":N,"t":MS,"action":"..","ok":B,"detail":".."}
 *   {"event":"end","t":MS,"reason":"stop|timeout"}
 */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define MAX_TRACKED 256
#define MAX_TEXT (256 * 1024)
#define POLL_MS 50
/* A dialog is read this long after it first shows, so that its
   initialisation (texts, file list) has finished. */
#define SETTLE_MS 300

typedef struct {
  char *buf;
  size_t len, cap;
} Buffer;

typedef struct {
  HWND hwnd;
  int seq;
  DWORD firstSeen;
  int recorded;
  int watch;      /* untitled: recorded again when its texts change */
  char *snapshot; /* the texts last recorded */
} Tracked;

static FILE *g_out;
static const char *g_exe;
static DWORD g_self;
static DWORD g_start;
static Tracked g_tracked[MAX_TRACKED];
static int g_trackedCount;
static int g_nextSeq = 1;
static char **g_actions;
static int g_actionCount;
static int g_nextAction;
static char *g_textBuf;
static int g_closeRest;

static DWORD Elapsed(void) { return GetTickCount() - g_start; }

/* ------------------------------------------------------------ buffers */

static void BufAppend(Buffer *b, const char *s, size_t n) {
  if (b->len + n + 1 > b->cap) {
    size_t cap = b->cap ? b->cap : 4096;
    char *p;
    while (b->len + n + 1 > cap) cap *= 2;
    p = (char *)realloc(b->buf, cap);
    if (!p) return;
    b->buf = p;
    b->cap = cap;
  }
  memcpy(b->buf + b->len, s, n);
  b->len += n;
  b->buf[b->len] = 0;
}

static void BufPuts(Buffer *b, const char *s) { BufAppend(b, s, strlen(s)); }

static void BufJsonString(Buffer *b, const char *s, size_t n) {
  size_t i;
  char esc[8];
  BufAppend(b, "\"", 1);
  for (i = 0; i < n; ++i) {
    unsigned char c = (unsigned char)s[i];
    if (c == '"' || c == '\\') {
      esc[0] = '\\';
      esc[1] = (char)c;
      BufAppend(b, esc, 2);
    } else if (c < 0x20 || c > 0x7e) {
      snprintf(esc, sizeof esc, "\\u%04x", c);
      BufAppend(b, esc, 6);
    } else {
      BufAppend(b, (const char *)&c, 1);
    }
  }
  BufAppend(b, "\"", 1);
}

static void Emit(Buffer *line) {
  if (!line->buf) return;
  fwrite(line->buf, 1, line->len, g_out);
  fputc('\n', g_out);
  fflush(g_out);
}

/* ------------------------------------------------------- window texts */

/* The full text of a window of another process: WM_GETTEXT with a large
   buffer (GetWindowText would cut long static texts). Returns the length;
   the text is in g_textBuf. */
static size_t ReadWindowText(HWND hwnd) {
  DWORD_PTR got = 0;
  g_textBuf[0] = 0;
  if (!SendMessageTimeoutA(hwnd, WM_GETTEXT, (WPARAM)(MAX_TEXT - 1), (LPARAM)g_textBuf,
                           SMTO_ABORTIFHUNG, 2000, &got)) {
    got = (DWORD_PTR)GetWindowTextA(hwnd, g_textBuf, MAX_TEXT - 1);
  }
  if (got >= MAX_TEXT) got = MAX_TEXT - 1;
  g_textBuf[got] = 0;
  return (size_t)got;
}

typedef struct {
  Buffer json;     /* the members of the "children" array */
  Buffer snapshot; /* plain texts, to notice changes */
  int count;
} ChildDump;

static BOOL CALLBACK DumpChild(HWND child, LPARAM param) {
  ChildDump *d = (ChildDump *)param;
  char cls[256];
  char num[64];
  int id = GetDlgCtrlID(child);
  size_t n;
  if (!GetClassNameA(child, cls, sizeof cls)) cls[0] = 0;
  n = ReadWindowText(child);

  BufPuts(&d->json, d->count ? ",{\"class\":" : "{\"class\":");
  BufJsonString(&d->json, cls, strlen(cls));
  snprintf(num, sizeof num, ",\"id\":%d,\"text\":", id);
  BufPuts(&d->json, num);
  BufJsonString(&d->json, g_textBuf, n);
  BufPuts(&d->json, "}");

  snprintf(num, sizeof num, "|%d|", id);
  BufPuts(&d->snapshot, cls);
  BufPuts(&d->snapshot, num);
  BufAppend(&d->snapshot, g_textBuf, n);
  BufAppend(&d->snapshot, "\n", 1);
  d->count++;
  return TRUE;
}

/* Reads a dialog into one record line and a snapshot of its texts. */
static void ReadDialog(Tracked *t, const char *event, Buffer *line, Buffer *snapshot) {
  ChildDump d;
  char head[512];
  HWND owner = GetWindow(t->hwnd, GW_OWNER);
  DWORD pid = 0;
  size_t n;
  memset(&d, 0, sizeof d);
  GetWindowThreadProcessId(t->hwnd, &pid);

  n = ReadWindowText(t->hwnd);
  BufAppend(snapshot, g_textBuf, n);
  BufAppend(snapshot, "\n", 1);
  snprintf(head, sizeof head,
           "{\"event\":\"%s\",\"seq\":%d,\"t\":%lu,\"hwnd\":\"%p\",\"owner\":\"%p\","
           "\"ownerIsDesktop\":%s,\"pid\":%lu,\"title\":",
           event, t->seq, (unsigned long)Elapsed(), (void *)t->hwnd, (void *)owner,
           owner && owner == GetDesktopWindow() ? "true" : "false", (unsigned long)pid);
  BufPuts(line, head);
  BufJsonString(line, g_textBuf, n);

  EnumChildWindows(t->hwnd, DumpChild, (LPARAM)&d);
  BufPuts(line, ",\"children\":[");
  if (d.json.buf) BufAppend(line, d.json.buf, d.json.len);
  BufPuts(line, "]}");
  if (d.snapshot.buf) BufAppend(snapshot, d.snapshot.buf, d.snapshot.len);
  free(d.json.buf);
  free(d.snapshot.buf);
}

static void RecordAction(int seq, const char *action, int ok, const char *detail) {
  Buffer line = {NULL, 0, 0};
  char head[128];
  snprintf(head, sizeof head, "{\"event\":\"action\",\"seq\":%d,\"t\":%lu,\"action\":", seq,
           (unsigned long)Elapsed());
  BufPuts(&line, head);
  BufJsonString(&line, action, strlen(action));
  BufPuts(&line, ok ? ",\"ok\":true,\"detail\":" : ",\"ok\":false,\"detail\":");
  BufJsonString(&line, detail, strlen(detail));
  BufPuts(&line, "}");
  Emit(&line);
  free(line.buf);
}

/* ------------------------------------------------------------ answers */

static void PressButton(HWND dialog, int id) {
  HWND button = GetDlgItem(dialog, id);
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)button);
}

static BOOL CALLBACK FindEditIn(HWND child, LPARAM param) {
  char cls[64];
  if (GetClassNameA(child, cls, sizeof cls) && lstrcmpiA(cls, "Edit") == 0) {
    *(HWND *)param = child;
    return FALSE;
  }
  return TRUE;
}

/* The file-name field of the file-open dialog: the combo box cmb13
   (Explorer style) or the edit edt1, or the edit inside either. */
static HWND FindFileNameField(HWND dialog) {
  static const int ids[] = {0x47c /* cmb13 */, 0x480 /* edt1 */};
  size_t i;
  for (i = 0; i < sizeof ids / sizeof ids[0]; ++i) {
    HWND field = GetDlgItem(dialog, ids[i]);
    HWND edit = NULL;
    char cls[64];
    if (!field) continue;
    if (GetClassNameA(field, cls, sizeof cls) && lstrcmpiA(cls, "Edit") == 0) return field;
    EnumChildWindows(field, FindEditIn, (LPARAM)&edit);
    return edit ? edit : field;
  }
  return NULL;
}

static void Answer(Tracked *t, const char *action) {
  if (strncmp(action, "btn:", 4) == 0) {
    int id = atoi(action + 4);
    int present = GetDlgItem(t->hwnd, id) != NULL;
    PressButton(t->hwnd, id);
    RecordAction(t->seq, action, present,
                 present ? "pressed" : "no such button; sent WM_COMMAND");
  } else if (strcmp(action, "cancel") == 0) {
    PressButton(t->hwnd, IDCANCEL);
    RecordAction(t->seq, action, 1, "pressed");
  } else if (strncmp(action, "open:", 5) == 0) {
    HWND field = FindFileNameField(t->hwnd);
    DWORD_PTR r = 0;
    if (!field) {
      RecordAction(t->seq, action, 0, "no file-name field; left alone");
      return;
    }
    SendMessageTimeoutA(field, WM_SETTEXT, 0, (LPARAM)(action + 5), SMTO_ABORTIFHUNG, 2000, &r);
    PressButton(t->hwnd, IDOK);
    RecordAction(t->seq, action, 1, "file name set, Open pressed");
  } else if (strcmp(action, "none") == 0) {
    RecordAction(t->seq, action, 1, "left alone");
  } else {
    RecordAction(t->seq, action, 0, "unknown action; left alone");
  }
}

/* ------------------------------------------------------------ polling */

static int ProcessMatches(DWORD pid) {
  HANDLE process;
  char path[MAX_PATH];
  DWORD size = sizeof path;
  int match = 0;
  if (pid == g_self) return 0;
  if (!g_exe) return 1;
  process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  if (!process) return 0;
  if (QueryFullProcessImageNameA(process, 0, path, &size)) {
    const char *base = strrchr(path, '\\');
    base = base ? base + 1 : path;
    match = lstrcmpiA(base, g_exe) == 0;
  }
  CloseHandle(process);
  return match;
}

static Tracked *FindTracked(HWND hwnd) {
  int i;
  for (i = 0; i < g_trackedCount; ++i)
    if (g_tracked[i].hwnd == hwnd) return &g_tracked[i];
  return NULL;
}

static BOOL CALLBACK NoteWindow(HWND hwnd, LPARAM param) {
  char cls[64];
  DWORD pid = 0;
  Tracked *t;
  (void)param;
  if (!GetClassNameA(hwnd, cls, sizeof cls) || strcmp(cls, "#32770") != 0) return TRUE;
  if (!IsWindowVisible(hwnd) || FindTracked(hwnd)) return TRUE;
  GetWindowThreadProcessId(hwnd, &pid);
  if (!ProcessMatches(pid)) return TRUE;
  if (g_trackedCount == MAX_TRACKED) return FALSE;
  t = &g_tracked[g_trackedCount++];
  memset(t, 0, sizeof *t);
  t->hwnd = hwnd;
  t->seq = g_nextSeq++;
  t->firstSeen = GetTickCount();
  return TRUE;
}

static void Forget(int i) {
  free(g_tracked[i].snapshot);
  g_tracked[i] = g_tracked[g_trackedCount - 1];
  g_trackedCount--;
}

/* The next action when it applies to this dialog (and uses it up), or
   NULL when the actions ran out or the next one waits for another title. */
static const char *NextActionFor(HWND dialog) {
  const char *action, *sep;
  char title[512];
  if (g_nextAction >= g_actionCount) return NULL;
  action = g_actions[g_nextAction];
  sep = strstr(action, "::");
  if (sep) {
    size_t n = (size_t)(sep - action);
    GetWindowTextA(dialog, title, sizeof title);
    if (strlen(title) != n || strncmp(title, action, n) != 0) return NULL;
    action = sep + 2;
  }
  g_nextAction++;
  return action;
}

static void Poll(void) {
  int i;
  /* Windows that are gone are forgotten, so that a reused handle is new. */
  for (i = g_trackedCount - 1; i >= 0; --i)
    if (!IsWindow(g_tracked[i].hwnd)) Forget(i);

  EnumWindows(NoteWindow, 0);

  for (i = 0; i < g_trackedCount; ++i) {
    Tracked *t = &g_tracked[i];
    Buffer line = {NULL, 0, 0}, snapshot = {NULL, 0, 0};
    if (!t->recorded) {
      /* Titled dialogs are read once settled; untitled status windows at
         once, as they may be short-lived, and again as their texts change. */
      if (GetWindowTextLengthA(t->hwnd) > 0 && GetTickCount() - t->firstSeen < SETTLE_MS)
        continue;
      ReadDialog(t, "dialog", &line, &snapshot);
      Emit(&line);
      t->recorded = 1;
      if (GetWindowTextLengthA(t->hwnd) > 0) {
        const char *action = NextActionFor(t->hwnd);
        if (action)
          Answer(t, action);
        else if (g_closeRest) {
          PostMessageA(t->hwnd, WM_CLOSE, 0, 0);
          RecordAction(t->seq, "close", 1, "no action for it; WM_CLOSE sent");
        } else
          RecordAction(t->seq, "none", 1, "no action for it; left alone");
        free(snapshot.buf);
      } else {
        t->watch = 1;
        t->snapshot = snapshot.buf;
      }
    } else if (t->watch) {
      ReadDialog(t, "update", &line, &snapshot);
      if (!t->snapshot || !snapshot.buf || strcmp(t->snapshot, snapshot.buf) != 0) {
        Emit(&line);
        free(t->snapshot);
        t->snapshot = snapshot.buf;
      } else {
        free(snapshot.buf);
      }
    }
    free(line.buf);
  }
}

static void Usage(void) {
  fprintf(stderr,
          "usage: dlgbot --out FILE [--exe NAME] [--stop FILE] [--timeout SECONDS] "
          "[--rest close|leave] [btn:ID | cancel | open:PATH | none] ...\n");
}

int main(int argc, char **argv) {
  const char *outPath = NULL, *stopPath = NULL;
  double timeout = 60;
  const char *reason = "timeout";
  int i;

  g_actions = (char **)calloc((size_t)argc, sizeof *g_actions);
  g_textBuf = (char *)malloc(MAX_TEXT);
  if (!g_actions || !g_textBuf) return 3;
  for (i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "--out") == 0 && i + 1 < argc) {
      outPath = argv[++i];
    } else if (strcmp(argv[i], "--exe") == 0 && i + 1 < argc) {
      g_exe = argv[++i];
    } else if (strcmp(argv[i], "--stop") == 0 && i + 1 < argc) {
      stopPath = argv[++i];
    } else if (strcmp(argv[i], "--timeout") == 0 && i + 1 < argc) {
      timeout = atof(argv[++i]);
    } else if (strcmp(argv[i], "--rest") == 0 && i + 1 < argc) {
      g_closeRest = strcmp(argv[++i], "close") == 0;
    } else if (strncmp(argv[i], "--", 2) == 0) {
      Usage();
      return 2;
    } else {
      g_actions[g_actionCount++] = argv[i];
    }
  }
  if (!outPath) {
    Usage();
    return 2;
  }
  g_out = fopen(outPath, "wb");
  if (!g_out) {
    fprintf(stderr, "dlgbot: cannot write %s\n", outPath);
    return 2;
  }
  g_self = GetCurrentProcessId();
  g_start = GetTickCount();
  fprintf(g_out, "{\"event\":\"start\",\"desktop\":\"%p\"}\n", (void *)GetDesktopWindow());
  fflush(g_out);

  for (;;) {
    if (stopPath && GetFileAttributesA(stopPath) != INVALID_FILE_ATTRIBUTES) {
      reason = "stop";
      break;
    }
    if ((double)Elapsed() >= timeout * 1000.0) break;
    Poll();
    Sleep(POLL_MS);
  }
  fprintf(g_out, "{\"event\":\"end\",\"t\":%lu,\"reason\":\"%s\"}\n", (unsigned long)Elapsed(),
          reason);
  fclose(g_out);
  return 0;
}
