/*
 * ismif32.dll stand-in: records every InstallStatusMIF call instead of
 * writing a status MIF file.
 *
 * Each call appends one line to the file named by the environment variable
 * NV_MIF_RECORD (nothing when it is unset), its fields separated by TAB and
 * the line ended by CR LF:
 *   mifFile company product version locale serial message success
 * The texts are written byte for byte as received; serial is "<null>" for a
 * null pointer and "str:" followed by the text otherwise; success is 0 or 1
 * (any non-zero BOOL is 1).
 *
 * NV_MIF_FAULT makes the call misbehave, as a broken library would:
 *   "1"      it writes nothing and raises an access violation;
 *   "raise"  it writes nothing and raises an exception of its own code
 *            (as a C++ throw that nothing catches does);
 *   "caught" it raises an access violation, catches it in its own handler
 *            and then writes its record as usual;
 *   "lock"   it takes a lock of its own and raises an exception of its own
 *            code inside a termination handler (__finally) that releases
 *            the lock and records the line "finally". A call that finds the
 *            lock still held (its owner ended without unwinding) records
 *            "lock held" and returns FALSE instead of waiting for ever.
 */
#include <windows.h>
#include <excpt.h>

#include <string.h>

static void Put(HANDLE file, const char *text) {
  DWORD written;
  if (text != NULL && *text != '\0') WriteFile(file, text, (DWORD)strlen(text), &written, NULL);
}

static void PutField(HANDLE file, const char *text) {
  Put(file, text);
  Put(file, "\t");
}

static void FaultThroughNull(void) {
  /* Through a pointer the compiler cannot see is null, so that this stays
     a real write and is not turned into a trap instruction. */
  volatile int *volatile nowhere = NULL;
  *nowhere = 1;
}

#if defined(__x86_64__)
__attribute__((used)) static LONG WINAPI TakeAccessViolation(EXCEPTION_POINTERS *exception, void *frame) {
  (void)frame;
  return exception->ExceptionRecord->ExceptionCode == EXCEPTION_ACCESS_VIOLATION ? EXCEPTION_EXECUTE_HANDLER
                                                                                 : EXCEPTION_CONTINUE_SEARCH;
}

/* A frame-based handler of the library's own around a faulting write. */
static __attribute__((noinline)) void FaultAndCatch(void) {
  __try1(TakeAccessViolation) {
    FaultThroughNull();
  }
  __except1;
}

static CRITICAL_SECTION lock;

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void *reserved) {
  (void)instance;
  (void)reserved;
  if (reason == DLL_PROCESS_ATTACH) InitializeCriticalSection(&lock);
  return TRUE;
}

/* One line for the record file named by NV_MIF_RECORD. */
static void Note(const char *line) {
  char path[MAX_PATH];
  DWORD length = GetEnvironmentVariableA("NV_MIF_RECORD", path, sizeof(path));
  HANDLE file;
  if (length == 0 || length >= sizeof(path)) return;
  file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS,
                     FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return;
  Put(file, line);
  Put(file, "\r\n");
  CloseHandle(file);
}

/* The termination handler of RaiseHoldingLock's scope, run by the unwind of
   its frame. */
__attribute__((used)) static void WINAPI ReleaseOnUnwind(BOOLEAN abnormal, void *frame) {
  (void)abnormal;
  (void)frame;
  LeaveCriticalSection(&lock);
  Note("finally");
}

/* __try { raise } __finally { release }: the scope table names the
   termination handler with no jump target. */
static __attribute__((noinline)) BOOL RaiseHoldingLock(void) {
  if (!TryEnterCriticalSection(&lock)) {
    Note("lock held");
    return FALSE;
  }
  __asm__ __volatile__(
      "\t.l_startf:\n"
      "\t.seh_handler __C_specific_handler, @unwind\n"
      "\t.seh_handlerdata\n"
      "\t.long 1\n"
      "\t.rva .l_startf, .l_endf, ReleaseOnUnwind\n"
      "\t.long 0\n"
      "\t.text\n");
  RaiseException(0xE0C0FFEE, EXCEPTION_NONCONTINUABLE, 0, NULL);
  __asm__ __volatile__("\tnop\n\t.l_endf: nop\n");
  LeaveCriticalSection(&lock);
  return TRUE;
}
#else
static void FaultAndCatch(void) {}
static BOOL RaiseHoldingLock(void) { return FALSE; }
#endif

__declspec(dllexport) BOOL WINAPI InstallStatusMIF(const char *mifFile, const char *company,
                                                   const char *product, const char *version,
                                                   const char *locale, const char *serial,
                                                   const char *message, BOOL success) {
  char path[MAX_PATH];
  char fault[8];
  DWORD length;
  HANDLE file;

  length = GetEnvironmentVariableA("NV_MIF_FAULT", fault, sizeof(fault));
  if (length == 0 || length >= sizeof(fault)) fault[0] = '\0';
  if (strcmp(fault, "1") == 0) {
    FaultThroughNull();
    return FALSE;
  }
  if (strcmp(fault, "raise") == 0) {
    RaiseException(0xE0C0FFEE, EXCEPTION_NONCONTINUABLE, 0, NULL);
    return FALSE;
  }
  if (strcmp(fault, "caught") == 0) FaultAndCatch();
  if (strcmp(fault, "lock") == 0) return RaiseHoldingLock();

  length = GetEnvironmentVariableA("NV_MIF_RECORD", path, sizeof(path));
  if (length == 0 || length >= sizeof(path)) return TRUE;
  file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS,
                     FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return TRUE;
  PutField(file, mifFile);
  PutField(file, company);
  PutField(file, product);
  PutField(file, version);
  PutField(file, locale);
  if (serial == NULL) {
    PutField(file, "<null>");
  } else {
    Put(file, "str:");
    PutField(file, serial);
  }
  PutField(file, message);
  Put(file, success ? "1" : "0");
  Put(file, "\r\n");
  CloseHandle(file);
  return TRUE;
}
