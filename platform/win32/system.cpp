// The process's arguments, the clock and the standard output; the status
// MIF library; Windows version, environment, libraries, error texts and the
// restart.

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>
#include <vector>

#include "platform/desktop_seen.h"
#include "platform/text.h"
#include "platform/win32/late_bound.h"
#include "platform/win32/win32_platform.h"

namespace nv {
namespace win32 {
namespace {

// ---------------------------------------------------------------- guarded calls
//
// A call into a foreign library runs on a short-lived worker thread. Whatever
// it raises there and leaves unhandled (a processor fault, a C++ exception,
// RaiseException with any code) ends that call instead of the process. The
// library's own handlers see every exception first. What none of them takes
// reaches a frame handler of the worker's own, below the library's frames,
// which unwinds them as an __except block would: the library's termination
// handlers (__finally) run and release what they hold (its locks, or those of
// the C run-time it shares with this program), and the worker returns
// normally. A stack overflow leaves no room for that: it reaches the
// process's last-chance filter, in place while the call runs, which resumes
// the worker at the top of its stack and ends it. Exceptions of other threads
// pass on to the filter that was in place before.

struct GuardedCall {
  void (*body)(void* context) = nullptr;
  void* context = nullptr;
  uintptr_t resumeStack = 0;      // a point near the top of the worker's stack
  void* exceptionList = nullptr;  // 32-bit: the worker's exception registrations at its start
  bool returned = false;          // the body came back (rather than raising)
};

// The thread-local slot that marks a worker inside a guarded call; its value
// is the call. Taken once for the process.
DWORD GuardSlot() {
  static const DWORD slot = TlsAlloc();
  return slot;
}

// The last-chance filter the guard replaced while a call runs.
LPTOP_LEVEL_EXCEPTION_FILTER replacedFilter = nullptr;

#if defined(_M_IX86) || defined(__i386__)
// The head of the thread's exception registration chain, the first field of
// the thread information block that FS addresses.
void* ExceptionList() {
  void* list;
  __asm__ volatile("movl %%fs:0, %0" : "=r"(list));
  return list;
}
void SetExceptionList(void* list) { __asm__ volatile("movl %0, %%fs:0" : : "r"(list) : "memory"); }
#endif

// Where a worker whose call raised ends. The slot is cleared first, so that
// a second exception while the thread shuts down is not caught again.
[[noreturn]] void EndFaultedWorker() {
#if defined(_M_IX86) || defined(__i386__)
  // 32-bit Windows keeps exception registrations in a chain on the stack.
  // Those of the abandoned frames may be overwritten; the chain goes back to
  // where it stood when the worker started.
  GuardedCall* call = static_cast<GuardedCall*>(TlsGetValue(GuardSlot()));
  if (call != nullptr) SetExceptionList(call->exceptionList);
#endif
  TlsSetValue(GuardSlot(), nullptr);
  ExitThread(1);
}

LONG WINAPI EndGuardedWorker(EXCEPTION_POINTERS* exception) {
  GuardedCall* call = static_cast<GuardedCall*>(TlsGetValue(GuardSlot()));
  if (call == nullptr) return replacedFilter != nullptr ? replacedFilter(exception) : EXCEPTION_CONTINUE_SEARCH;
  const EXCEPTION_RECORD* record = exception->ExceptionRecord;
  if (record->ExceptionCode != EXCEPTION_STACK_OVERFLOW || (record->ExceptionFlags & EXCEPTION_NONCONTINUABLE)) {
    EndFaultedWorker();
  }
  // After a stack overflow only the upper end of the stack has room: the
  // worker resumes at EndFaultedWorker there, the frames below abandoned.
  // The stack pointer is set as a call would leave it (return address slot,
  // aligned below); nothing is written to memory.
  CONTEXT* context = exception->ContextRecord;
  uintptr_t stack = (call->resumeStack - 256) & ~static_cast<uintptr_t>(15);
#if defined(_M_X64) || defined(__x86_64__)
  context->Rsp = stack - 8;
  context->Rip = reinterpret_cast<DWORD64>(&EndFaultedWorker);
#elif defined(_M_IX86) || defined(__i386__)
  context->Esp = static_cast<DWORD>(stack - 4);
  context->Eip = static_cast<DWORD>(reinterpret_cast<uintptr_t>(&EndFaultedWorker));
#else
#error "guarded calls need the stack and instruction pointers of this processor"
#endif
  context->EFlags &= ~0x400u;  // direction flag clear, as every call expects
  return EXCEPTION_CONTINUE_EXECUTION;
}

}  // namespace

// The frame that runs a guarded body: nvGuardedFrame(body, context) calls
// body(context) with nvGuardHandler registered for its frame and returns 1;
// when the handler unwinds an exception to it, it returns 0 instead, from
// nvGuardLanding. Written in assembly, since where the unwind lands must be
// a known place with a known stack.
extern "C" int nvGuardedFrame(void (*body)(void*), void* context);
extern "C" void nvGuardLanding();

#if defined(__x86_64__)
// The frame handler is named in the function's unwind information; an unwind
// to the landing restores the frame's stack pointer and gives rax the
// unwind's return value (0).
__asm__(
    "  .text\n"
    "  .globl nvGuardedFrame\n"
    "  .def nvGuardedFrame; .scl 2; .type 32; .endef\n"
    "  .seh_proc nvGuardedFrame\n"
    "nvGuardedFrame:\n"
    "  subq $40, %rsp\n"
    "  .seh_stackalloc 40\n"
    "  .seh_endprologue\n"
    "  .seh_handler nvGuardHandler, @except\n"
    "  movq %rcx, %rax\n"
    "  movq %rdx, %rcx\n"
    "  call *%rax\n"
    "  movl $1, %eax\n"
    "  .globl nvGuardLanding\n"
    "nvGuardLanding:\n"
    "  addq $40, %rsp\n"
    "  ret\n"
    "  .seh_endproc\n");

extern "C" EXCEPTION_DISPOSITION nvGuardHandler(EXCEPTION_RECORD* record, void* frame, CONTEXT*,
                                                DISPATCHER_CONTEXT* dispatcher) {
  if ((record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) != 0 ||
      record->ExceptionCode == EXCEPTION_STACK_OVERFLOW) {
    return ExceptionContinueSearch;
  }
  // Runs the termination handlers of every frame above this one, then
  // continues at the landing; it does not return here.
  RtlUnwindEx(frame, reinterpret_cast<void*>(&nvGuardLanding), record, nullptr, dispatcher->ContextRecord,
              dispatcher->HistoryTable);
  return ExceptionContinueSearch;
}
#elif defined(__i386__)
// 32-bit Windows keeps the frame handlers in a chain that FS:0 heads, each
// registration on the stack of its frame. The frame: saved ebp, ebx, esi,
// edi, then the registration (previous, handler) at ebp-20, which is the
// establisher frame the handler is given.
__asm__(
    "  .text\n"
    "  .globl _nvGuardedFrame\n"
    "_nvGuardedFrame:\n"
    "  pushl %ebp\n"
    "  movl %esp, %ebp\n"
    "  pushl %ebx\n"
    "  pushl %esi\n"
    "  pushl %edi\n"
    "  pushl $_nvGuardHandler\n"
    "  pushl %fs:0\n"
    "  movl %esp, %fs:0\n"
    "  subl $12, %esp\n"
    "  pushl 12(%ebp)\n"
    "  call *8(%ebp)\n"
    "  movl $1, %eax\n"
    "  jmp 1f\n"
    "  .globl _nvGuardLanding\n"
    "_nvGuardLanding:\n"
    "  xorl %eax, %eax\n"
    "1:\n"
    "  movl -20(%ebp), %ecx\n"
    "  movl %ecx, %fs:0\n"
    "  movl -12(%ebp), %edi\n"
    "  movl -8(%ebp), %esi\n"
    "  movl -4(%ebp), %ebx\n"
    "  movl %ebp, %esp\n"
    "  popl %ebp\n"
    "  ret\n"
    // nvGuardResume(registration): the frame's stack back, at the landing.
    "  .globl _nvGuardResume\n"
    "_nvGuardResume:\n"
    "  movl 4(%esp), %eax\n"
    "  movl %eax, %esp\n"
    "  leal 20(%eax), %ebp\n"
    "  jmp _nvGuardLanding\n");

extern "C" [[noreturn]] void nvGuardResume(void* registration);

extern "C" EXCEPTION_DISPOSITION __cdecl nvGuardHandler(EXCEPTION_RECORD* record, void* registration, CONTEXT*,
                                                        void*) {
  if ((record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) != 0 ||
      record->ExceptionCode == EXCEPTION_STACK_OVERFLOW) {
    return ExceptionContinueSearch;
  }
  // RtlUnwind runs the termination handlers of the registrations above this
  // one and takes them off the chain; it is bound at run time, as kernel32
  // has long exported it without documenting it for Windows 2000.
  using UnwindFn = void(WINAPI*)(void*, void*, EXCEPTION_RECORD*, void*);
  static const UnwindFn unwind = LateBound<UnwindFn>("kernel32.dll", "RtlUnwind");
  if (unwind == nullptr) return ExceptionContinueSearch;
  unwind(registration, nullptr, record, nullptr);
  nvGuardResume(registration);
}
#else
#error "guarded calls need a frame handler for this processor"
#endif

namespace {

DWORD WINAPI RunGuardedCall(void* parameter) {
  GuardedCall* call = static_cast<GuardedCall*>(parameter);
  volatile char marker = 0;
  call->resumeStack = reinterpret_cast<uintptr_t>(&marker);
#if defined(_M_IX86) || defined(__i386__)
  call->exceptionList = ExceptionList();
#endif
  TlsSetValue(GuardSlot(), call);
  const bool returned = nvGuardedFrame(call->body, call->context) != 0;
  TlsSetValue(GuardSlot(), nullptr);
  call->returned = returned;
  return 0;
}

// Waits for the worker. Messages sent from other threads to this thread's
// windows are delivered meanwhile, as they would be had the library been
// called here: a library that broadcasts to all top-level windows would
// otherwise wait for this thread for ever. Posted messages stay queued.
void WaitForWorker(HANDLE worker) { WaitDeliveringSentMessages(worker, INFINITE); }

// Runs body(context); false when it raised an exception it did not handle,
// which then ended only the worker that ran it.
bool CallGuarded(void (*body)(void*), void* context) {
  GuardedCall call;
  call.body = body;
  call.context = context;
  HANDLE worker = GuardSlot() != TLS_OUT_OF_INDEXES ? CreateThread(nullptr, 0, RunGuardedCall, &call,
                                                                   CREATE_SUSPENDED, nullptr)
                                                    : nullptr;
  if (worker == nullptr) {
    // No guard to be had: the call is still made, as it would be without one.
    body(context);
    return true;
  }
  replacedFilter = SetUnhandledExceptionFilter(EndGuardedWorker);
  ResumeThread(worker);
  WaitForWorker(worker);
  CloseHandle(worker);
  SetUnhandledExceptionFilter(replacedFilter);
  replacedFilter = nullptr;
  return call.returned;
}

// ---------------------------------------------------------------- status MIF

using InstallStatusMifFn = BOOL(WINAPI*)(char* mifFile, char* company, char* product, char* version,
                                         char* locale, char* serialNumber, char* message, BOOL success);

// A zero-terminated copy the library may write into.
std::vector<char> MutableCopy(const std::string& text) {
  std::vector<char> copy(text.begin(), text.end());
  copy.push_back('\0');
  return copy;
}

struct StatusMifCall {
  InstallStatusMifFn function;
  std::vector<char> mifFile, company, product, version, locale, serialNumber, message;
  bool hasSerialNumber;
  BOOL success;
};

void CallInstallStatusMif(void* context) {
  StatusMifCall* call = static_cast<StatusMifCall*>(context);
  call->function(call->mifFile.data(), call->company.data(), call->product.data(), call->version.data(),
                 call->locale.data(), call->hasSerialNumber ? call->serialNumber.data() : nullptr,
                 call->message.data(), call->success);
}

}  // namespace

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

LocalTime Win32System::UtcNow() {
  SYSTEMTIME utc;
  GetSystemTime(&utc);
  return {utc.wYear, utc.wMonth, utc.wDay, utc.wHour, utc.wMinute, utc.wSecond, utc.wDayOfWeek};
}

std::string Win32System::CommandLine() {
  const char* line = GetCommandLineA();
  return line != nullptr ? line : "";
}

uint32_t Win32System::ProcessId() { return GetCurrentProcessId(); }

std::string Win32System::ComputerName() {
  char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = sizeof(name);
  return GetComputerNameA(name, &size) ? std::string(name, size) : std::string();
}

std::string Win32System::UserName() {
  char name[257] = {};  // UNLEN + 1
  DWORD size = sizeof(name);
  return GetUserNameA(name, &size) ? std::string(name) : std::string();
}

std::string Win32System::ExpandEnvironment(const std::string& text) {
  // The size asked for includes the terminating zero; a variable may change
  // between the two calls, so a result that still does not fit is asked again.
  std::string buffer(text.size() + 1, '\0');
  for (int attempt = 0; attempt < 3; ++attempt) {
    const DWORD needed = ExpandEnvironmentStringsA(text.c_str(), &buffer[0], static_cast<DWORD>(buffer.size()));
    if (needed == 0) return text;
    if (needed <= buffer.size()) return std::string(buffer.c_str());
    buffer.assign(needed, '\0');
  }
  return text;
}

void Win32System::WriteStdOut(const std::string& text) {
  // A GUI program started without redirection has no standard output; the
  // write then fails quietly and nothing else depends on it.
  if (text.empty()) return;
  fwrite(text.data(), 1, text.size(), stdout);
  fflush(stdout);
}


namespace {

// The systems-management client puts its library in the system folder; a
// copy shipped with the media sits next to the program.
HMODULE LoadStatusMifLibrary(const std::string& libraryFolder) {
  constexpr const char* kName = "ismif32.dll";
  if (HMODULE library = LoadSystemLibrary(kName)) return library;
  std::string folder = libraryFolder;
  if (folder.empty()) {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return nullptr;
    folder.assign(path, length);
    // A double-byte character's second byte may be a backslash.
    const size_t slash = MbFindLast(Win32CodePage(), folder, '\\');
    if (slash == std::string::npos) return nullptr;
    folder.resize(slash);
  }
  return LoadLibraryA((folder + "\\" + kName).c_str());
}

}  // namespace

bool Win32System::InstallStatusMif(const StatusMifRecord& record) {
  HMODULE library = LoadStatusMifLibrary(libraryFolder_);
  if (library == nullptr) return false;
  StatusMifCall call;
  call.function = reinterpret_cast<InstallStatusMifFn>(
      reinterpret_cast<void*>(GetProcAddress(library, "InstallStatusMIF")));
  if (call.function == nullptr) {
    FreeLibrary(library);
    return false;
  }
  call.mifFile = MutableCopy(record.mifFile);
  call.company = MutableCopy(record.company);
  call.product = MutableCopy(record.product);
  call.version = MutableCopy(record.version);
  call.locale = MutableCopy(record.locale);
  call.hasSerialNumber = record.serialNumber != nullptr;
  call.serialNumber = MutableCopy(call.hasSerialNumber ? record.serialNumber : "");
  call.message = MutableCopy(record.message);
  call.success = record.success ? TRUE : FALSE;
  // After a fault the library's state is unknown: it stays loaded rather
  // than having its detach code run.
  if (!CallGuarded(CallInstallStatusMif, &call)) return false;
  FreeLibrary(library);
  return true;
}

bool Win32System::WindowsVersion(WindowsVersionInfo* version) {
  OSVERSIONINFOA info;
  static_assert(sizeof(info) == 148, "the version query takes the 148-byte record");
  memset(&info, 0, sizeof(info));
  info.dwOSVersionInfoSize = sizeof(info);
  // The classification of old Windows families needs exactly what
  // GetVersionExA reports for this process, compatibility shims included.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  BOOL ok = GetVersionExA(&info);
#pragma GCC diagnostic pop
  if (!ok) return false;
  version->platformId = info.dwPlatformId;
  version->major = info.dwMajorVersion;
  version->minor = info.dwMinorVersion;
  return true;
}

bool Win32System::EnvironmentVariable(const std::string& name, size_t bufferSize, std::string* value) {
  value->clear();
  if (bufferSize == 0) return false;
  DWORD size = bufferSize < MAXDWORD ? static_cast<DWORD>(bufferSize) : MAXDWORD;
  std::vector<char> buffer(size);
  // The length without the zero when the value fits; the size it would need,
  // zero included, when it does not.
  DWORD length = GetEnvironmentVariableA(name.c_str(), buffer.data(), size);
  if (length == 0 || length >= size) return false;
  value->assign(buffer.data(), length);
  return true;
}

bool Win32System::LoadLibraryForProcess(const std::string& path) {
  // Kept for the life of the process on purpose: later calls find it by name.
  return LoadLibraryA(path.c_str()) != nullptr;
}

std::string Win32System::SystemMessage(uint32_t errorCode) {
  char* text = nullptr;
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
                                    FORMAT_MESSAGE_ALLOCATE_BUFFER,
                                nullptr, errorCode, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message;
  if (length > 0 && text != nullptr) message.assign(text, length);
  if (text != nullptr) LocalFree(text);
  return message;
}

void Win32System::EnableShutdownPrivilege() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return;
  TOKEN_PRIVILEGES privileges;
  memset(&privileges, 0, sizeof(privileges));
  if (LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &privileges.Privileges[0].Luid)) {
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
  }
  CloseHandle(token);
}

uint32_t Win32System::RequestRestart(bool unseen) {
  // A planned restart for an application's installation: reason 0 records
  // an unplanned shutdown, and Windows may hold the restart back to collect
  // the system's state for it.
  const DWORD reason = SHTDN_REASON_MAJOR_APPLICATION | SHTDN_REASON_MINOR_INSTALLATION | SHTDN_REASON_FLAG_PLANNED;
  if (unseen) {
    // ExitWindowsEx belongs to the interactive user's session; a process
    // nobody sees (a service, session 0) asks the system itself. Windows
    // 2000 lacks the call with a reason.
    using ShutdownExFn = BOOL(WINAPI*)(char*, char*, DWORD, BOOL, BOOL, DWORD);
    using ShutdownFn = BOOL(WINAPI*)(char*, char*, DWORD, BOOL, BOOL);
    static const ShutdownExFn shutdownEx = LateBound<ShutdownExFn>("advapi32.dll", "InitiateSystemShutdownExA");
    static const ShutdownFn shutdown = LateBound<ShutdownFn>("advapi32.dll", "InitiateSystemShutdownA");
    BOOL ok = FALSE;
    if (shutdownEx != nullptr) {
      ok = shutdownEx(nullptr, nullptr, 0, FALSE, TRUE, reason);
    } else if (shutdown != nullptr) {
      ok = shutdown(nullptr, nullptr, 0, FALSE, TRUE);
    } else {
      return ERROR_CALL_NOT_IMPLEMENTED;
    }
    return ok ? 0 : GetLastError();
  }
  return ExitWindowsEx(EWX_REBOOT, reason) ? 0 : GetLastError();
}

uint32_t Win32System::TickCount() { return GetTickCount(); }

void Win32System::WaitServicingWindows(uint32_t milliseconds) {
  const DWORD start = GetTickCount();
  for (;;) {
    const DWORD elapsed = GetTickCount() - start;
    if (elapsed >= milliseconds) return;
    if (MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds - elapsed, QS_ALLINPUT) == WAIT_OBJECT_0) {
      MSG message;
      while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        // A quit request belongs to a message loop this program does not
        // have; it is dropped rather than ending the wait.
        if (message.message == WM_QUIT) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
      }
    }
  }
}

namespace {

// UOI_NAME of a window station or desktop; empty when it cannot be read.
std::optional<std::string> ObjectName(HANDLE object) {
  using GetObjectInfoFn = BOOL(WINAPI*)(HANDLE, int, void*, DWORD, DWORD*);
  static const GetObjectInfoFn objectInfo = LateBound<GetObjectInfoFn>("user32.dll", "GetUserObjectInformationA");
  char name[256] = {};
  DWORD needed = 0;
  if (object == nullptr || objectInfo == nullptr || !objectInfo(object, UOI_NAME, name, sizeof(name) - 1, &needed)) {
    return std::nullopt;
  }
  return std::string(name, strnlen(name, sizeof(name)));
}

}  // namespace

bool Win32System::DesktopVisible() {
  // Bound at run time: the Windows 9x family has no window stations.
  using GetWindowStationFn = HWINSTA(WINAPI*)();
  using GetObjectInfoFn = BOOL(WINAPI*)(HANDLE, int, void*, DWORD, DWORD*);
  using SessionIdFn = BOOL(WINAPI*)(DWORD, DWORD*);
  using OpenInputDesktopFn = HDESK(WINAPI*)(DWORD, BOOL, ACCESS_MASK);
  using GetThreadDesktopFn = HDESK(WINAPI*)(DWORD);
  using CloseDesktopFn = BOOL(WINAPI*)(HDESK);
  static const GetWindowStationFn windowStation =
      LateBound<GetWindowStationFn>("user32.dll", "GetProcessWindowStation");
  static const GetObjectInfoFn objectInfo = LateBound<GetObjectInfoFn>("user32.dll", "GetUserObjectInformationA");
  static const SessionIdFn sessionId = LateBound<SessionIdFn>("kernel32.dll", "ProcessIdToSessionId");
  static const OpenInputDesktopFn openInputDesktop = LateBound<OpenInputDesktopFn>("user32.dll", "OpenInputDesktop");
  static const GetThreadDesktopFn threadDesktop = LateBound<GetThreadDesktopFn>("user32.dll", "GetThreadDesktop");
  static const CloseDesktopFn closeDesktop = LateBound<CloseDesktopFn>("user32.dll", "CloseDesktop");
  DesktopFacts facts;
  if (windowStation != nullptr && objectInfo != nullptr) {
    HWINSTA station = windowStation();
    USEROBJECTFLAGS flags;
    DWORD needed = 0;
    if (station != nullptr && objectInfo(station, UOI_FLAGS, &flags, sizeof(flags), &needed)) {
      facts.stationVisible = (flags.dwFlags & WSF_VISIBLE) != 0;
    }
  }
  WindowsVersionInfo version;
  if (WindowsVersion(&version)) facts.version = version;
  DWORD session = 0;
  if (sessionId != nullptr && sessionId(GetCurrentProcessId(), &session)) facts.session = session;
  // Only Windows before Vista needs the input desktop; the query is not made
  // elsewhere, where a locked screen would count as nobody there.
  if (facts.version && facts.version->platformId == VER_PLATFORM_WIN32_NT && facts.version->major == 5 &&
      openInputDesktop != nullptr && threadDesktop != nullptr && closeDesktop != nullptr) {
    HDESK input = openInputDesktop(0, FALSE, DESKTOP_READOBJECTS);
    facts.inputDesktopOpened = input != nullptr;
    if (input != nullptr) {
      facts.inputDesktop = ObjectName(input);
      facts.threadDesktop = ObjectName(threadDesktop(GetCurrentThreadId()));
      closeDesktop(input);
    }
  }
  return DesktopSeen(facts);
}

MutexState Win32System::TakeRunMutex(const std::string& name) {
  if (runMutex_ == nullptr) {
    runMutex_ = CreateMutexA(nullptr, FALSE, name.c_str());
    // Made by a run as the system account, the default security lets
    // administrators only read it: it is there, and held.
    if (runMutex_ == nullptr) return GetLastError() == ERROR_ACCESS_DENIED ? MutexState::kDenied : MutexState::kUnavailable;
  }
  switch (WaitForSingleObject(runMutex_, 0)) {
    case WAIT_OBJECT_0:
      ownsRunMutex_ = true;
      return MutexState::kTaken;
    case WAIT_ABANDONED:
      ownsRunMutex_ = true;
      return MutexState::kAbandoned;
    case WAIT_TIMEOUT:
      return MutexState::kHeld;
    default:
      return MutexState::kUnavailable;
  }
}

void Win32System::ReleaseRunMutex() {
  if (runMutex_ == nullptr) return;
  if (ownsRunMutex_) ReleaseMutex(runMutex_);
  ownsRunMutex_ = false;
  CloseHandle(runMutex_);
  runMutex_ = nullptr;
}

}  // namespace win32
}  // namespace nv
