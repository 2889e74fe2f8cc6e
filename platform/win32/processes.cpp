// Starting processes, listing the running ones, and running work on a
// worker thread while the calling thread keeps its windows serviced.

#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <vector>

#include "platform/win32/late_bound.h"
#include "platform/win32/win32_platform.h"

namespace nv {
namespace win32 {
namespace {

struct WorkerTask {
  const std::function<void()>* work;
  std::exception_ptr failure;
};

DWORD WINAPI RunWorkerTask(void* parameter) {
  WorkerTask* task = static_cast<WorkerTask*>(parameter);
  // An exception must not leave a thread entry; it is handed back to the
  // thread that asked for the work.
  try {
    (*task->work)();
  } catch (...) {
    task->failure = std::current_exception();
  }
  return 0;
}

// Takes and dispatches every message waiting in this thread's queue. Stops
// early once the worker has ended, so that a window that keeps its queue
// full (a WM_PAINT that is never validated) cannot hold the caller here.
void DrainMessages(HANDLE worker) {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    // A quit request belongs to a message loop this program does not have;
    // it is dropped rather than ending the wait.
    if (message.message != WM_QUIT) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
    if (WaitForSingleObject(worker, 0) == WAIT_OBJECT_0) return;
  }
}

// The job functions, bound at run time: Windows NT 4.0 has none, and the
// program must still load there far enough to say that it cannot run.
using CreateJobFn = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, LPCSTR);
using AssignToJobFn = BOOL(WINAPI*)(HANDLE, HANDLE);
using SetJobInformationFn = BOOL(WINAPI*)(HANDLE, JOBOBJECTINFOCLASS, LPVOID, DWORD);
using QueryJobInformationFn = BOOL(WINAPI*)(HANDLE, JOBOBJECTINFOCLASS, LPVOID, DWORD, LPDWORD);
using TerminateJobFn = BOOL(WINAPI*)(HANDLE, UINT);

// How long an ended item may take to go.
constexpr DWORD kEndWaitMilliseconds = 30000;
// The processes of a job whose windows are looked for.
constexpr DWORD kMaxJobProcesses = 256;

// A job object of its own for a started process, its processes allowed to
// break away on request; null when the job cannot be made or the process
// cannot join it (Windows before 8 refuses a job inside another).
HANDLE PutIntoJob(HANDLE process) {
  static const CreateJobFn createJob = LateBound<CreateJobFn>("kernel32.dll", "CreateJobObjectA");
  static const AssignToJobFn assign = LateBound<AssignToJobFn>("kernel32.dll", "AssignProcessToJobObject");
  static const SetJobInformationFn setInformation =
      LateBound<SetJobInformationFn>("kernel32.dll", "SetInformationJobObject");
  if (createJob == nullptr || assign == nullptr || setInformation == nullptr) return nullptr;
  HANDLE job = createJob(nullptr, nullptr);
  if (job == nullptr) return nullptr;
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits;
  memset(&limits, 0, sizeof(limits));
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_BREAKAWAY_OK;
  setInformation(job, JobObjectExtendedLimitInformation, &limits, sizeof(limits));
  if (!assign(job, process)) {
    CloseHandle(job);
    return nullptr;
  }
  return job;
}

// The visible top-level windows of a process and of the processes in its
// job, and their texts.
class Win32ItemWindows : public ItemWindows {
 public:
  Win32ItemWindows(DWORD processId, HANDLE job) : processIds_(1, processId) {
    static const QueryJobInformationFn query =
        LateBound<QueryJobInformationFn>("kernel32.dll", "QueryInformationJobObject");
    if (job == nullptr || query == nullptr) return;
    std::vector<char> buffer(sizeof(JOBOBJECT_BASIC_PROCESS_ID_LIST) + kMaxJobProcesses * sizeof(ULONG_PTR));
    auto* list = reinterpret_cast<JOBOBJECT_BASIC_PROCESS_ID_LIST*>(buffer.data());
    list->NumberOfAssignedProcesses = kMaxJobProcesses;
    if (!query(job, JobObjectBasicProcessIdList, list, static_cast<DWORD>(buffer.size()), nullptr)) return;
    for (DWORD i = 0; i < list->NumberOfProcessIdsInList; ++i) {
      processIds_.push_back(static_cast<DWORD>(list->ProcessIdList[i]));
    }
  }

  std::vector<WindowHandle> VisibleTopWindows() override {
    found_.clear();
    EnumWindows(KeepIfShownByItem, reinterpret_cast<LPARAM>(this));
    return found_;
  }
  std::vector<WindowHandle> ChildWindows(WindowHandle window) override {
    found_.clear();
    EnumChildWindows(static_cast<HWND>(window), KeepEvery, reinterpret_cast<LPARAM>(this));
    return found_;
  }
  bool SendGetText(WindowHandle window, uint32_t timeoutMilliseconds, size_t maxBytes, std::string* text) override {
    text->clear();
    std::vector<char> buffer(maxBytes + 1, '\0');
    DWORD_PTR copied = 0;
    // WM_GETTEXT of another process's window, which GetWindowTextA does not
    // send: a hung owner costs the timeout, never the run.
    if (!SendMessageTimeoutA(static_cast<HWND>(window), WM_GETTEXT, buffer.size(),
                             reinterpret_cast<LPARAM>(buffer.data()), SMTO_ABORTIFHUNG | SMTO_BLOCK,
                             timeoutMilliseconds, &copied)) {
      return false;
    }
    text->assign(buffer.data(), strnlen(buffer.data(), maxBytes));
    return true;
  }
  std::string WindowText(WindowHandle window, size_t maxBytes) override {
    std::vector<char> buffer(maxBytes + 1, '\0');
    const int length = GetWindowTextA(static_cast<HWND>(window), buffer.data(), static_cast<int>(buffer.size()));
    return std::string(buffer.data(), length > 0 ? strnlen(buffer.data(), maxBytes) : 0);
  }

 private:
  static BOOL CALLBACK KeepIfShownByItem(HWND window, LPARAM self) {
    auto* windows = reinterpret_cast<Win32ItemWindows*>(self);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (IsWindowVisible(window) && std::find(windows->processIds_.begin(), windows->processIds_.end(), owner) !=
                                       windows->processIds_.end()) {
      windows->found_.push_back(window);
    }
    return TRUE;
  }
  static BOOL CALLBACK KeepEvery(HWND window, LPARAM self) {
    reinterpret_cast<Win32ItemWindows*>(self)->found_.push_back(window);
    return TRUE;
  }
  std::vector<DWORD> processIds_;
  std::vector<WindowHandle> found_;
};

// CreateProcessA of a copy of the command line (it may write into it) with
// the run's usual flags and extra ones.
BOOL CreateItemProcess(const std::string& commandLine, DWORD extraFlags, PROCESS_INFORMATION* process) {
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  STARTUPINFOA startup;
  memset(&startup, 0, sizeof(startup));
  startup.cb = sizeof(startup);
  memset(process, 0, sizeof(*process));
  return CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE,
                        CREATE_NO_WINDOW | NORMAL_PRIORITY_CLASS | extraFlags, nullptr, nullptr, &startup, process);
}

}  // namespace

bool WaitDeliveringSentMessages(void* handle, uint32_t milliseconds) {
  const DWORD start = GetTickCount();
  for (;;) {
    DWORD left = INFINITE;
    if (milliseconds != INFINITE) {
      const DWORD waited = GetTickCount() - start;
      if (waited >= milliseconds) return WaitForSingleObject(handle, 0) == WAIT_OBJECT_0;
      left = milliseconds - waited;
    }
    const DWORD woken = MsgWaitForMultipleObjects(1, &handle, FALSE, left, QS_SENDMESSAGE);
    if (woken == WAIT_OBJECT_0) return true;
    if (woken == WAIT_OBJECT_0 + 1) {
      // Peeking delivers the sent messages; nothing is taken from the queue.
      MSG message;
      PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
      continue;
    }
    if (woken == WAIT_TIMEOUT) return false;
    // The wait itself failed: a plain wait still keeps the promise.
    return WaitForSingleObject(handle, left) == WAIT_OBJECT_0;
  }
}

uint32_t Win32Processes::Run(const std::string& commandLine, bool wait, bool* created) {
  if (created != nullptr) *created = false;
  // Windows refuses lines over its limit with its own error, nothing is cut
  // here.
  PROCESS_INFORMATION process;
  if (!CreateItemProcess(commandLine, 0, &process)) return GetLastError();
  if (created != nullptr) *created = true;
  if (wait) WaitDeliveringSentMessages(process.hProcess, INFINITE);
  DWORD exitCode = 0;
  // Should the code be unreadable, the error is reported rather than a 0
  // that would read as success.
  if (!GetExitCodeProcess(process.hProcess, &exitCode)) exitCode = GetLastError();
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return exitCode;
}

std::vector<std::string> Win32Processes::RunningExeFiles() {
  // Tool Help is bound when first needed: Windows NT 4.0 has none, and the
  // program must still load there far enough to say that it cannot run.
  using SnapshotFn = HANDLE(WINAPI*)(DWORD, DWORD);
  using WalkFn = BOOL(WINAPI*)(HANDLE, PROCESSENTRY32*);
  static const SnapshotFn snapshotOf = LateBound<SnapshotFn>("kernel32.dll", "CreateToolhelp32Snapshot");
  static const WalkFn first = LateBound<WalkFn>("kernel32.dll", "Process32First");
  static const WalkFn next = LateBound<WalkFn>("kernel32.dll", "Process32Next");
  std::vector<std::string> names;
  if (snapshotOf == nullptr || first == nullptr || next == nullptr) return names;
  HANDLE snapshot = snapshotOf(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return names;
  PROCESSENTRY32 entry;
  memset(&entry, 0, sizeof(entry));
  entry.dwSize = sizeof(entry);
  for (BOOL more = first(snapshot, &entry); more; more = next(snapshot, &entry)) {
    names.emplace_back(entry.szExeFile, strnlen(entry.szExeFile, sizeof(entry.szExeFile)));
  }
  CloseHandle(snapshot);
  return names;
}

void Win32Processes::RunOnWorker(const std::function<void()>& work) {
  WorkerTask task{&work, nullptr};
  HANDLE worker = CreateThread(nullptr, 0, RunWorkerTask, &task, 0, nullptr);
  if (worker == nullptr) {
    // Without a second thread the work still gets done, only the windows
    // wait for it.
    work();
    return;
  }
  // Messages that an earlier modal loop left in the queue, already marked
  // as seen, do not wake the wait below: they are taken first.
  DrainMessages(worker);
  for (;;) {
    DWORD woken = MsgWaitForMultipleObjects(1, &worker, FALSE, INFINITE, QS_ALLINPUT);
    if (woken == WAIT_OBJECT_0) break;
    if (woken == WAIT_OBJECT_0 + 1) {
      DrainMessages(worker);
      continue;
    }
    // The wait itself failed: the work must still be finished before its
    // caller goes on.
    WaitForSingleObject(worker, INFINITE);
    break;
  }
  CloseHandle(worker);
  if (task.failure) std::rethrow_exception(task.failure);
}

LimitedRun Win32Processes::RunLimited(const std::string& commandLine, uint32_t limitMilliseconds,
                                      const std::function<void(ItemWindows&)>& beforeEnd) {
  static const TerminateJobFn terminateJob = LateBound<TerminateJobFn>("kernel32.dll", "TerminateJobObject");
  LimitedRun run;
  PROCESS_INFORMATION process;
  // A run inside an agent's job starts the item outside it where the job
  // allows that, so that the item can have a job of its own.
  BOOL created = CreateItemProcess(commandLine, CREATE_SUSPENDED | CREATE_BREAKAWAY_FROM_JOB, &process);
  if (!created && GetLastError() == ERROR_ACCESS_DENIED) created = CreateItemProcess(commandLine, CREATE_SUSPENDED, &process);
  if (!created) {
    run.result = GetLastError();
    return run;
  }
  run.created = true;
  HANDLE job = terminateJob != nullptr ? PutIntoJob(process.hProcess) : nullptr;
  run.inJob = job != nullptr;
  // Whatever happened with the job, the process must not stay suspended.
  ResumeThread(process.hThread);
  if (!WaitDeliveringSentMessages(process.hProcess, limitMilliseconds)) {
    Win32ItemWindows windows(process.dwProcessId, job);
    beforeEnd(windows);
    if (job != nullptr) {
      terminateJob(job, ERROR_TIMEOUT);
    } else {
      TerminateProcess(process.hProcess, ERROR_TIMEOUT);
    }
    WaitDeliveringSentMessages(process.hProcess, kEndWaitMilliseconds);
    run.ended = true;
    run.result = ERROR_TIMEOUT;
  } else {
    DWORD exitCode = 0;
    run.result = GetExitCodeProcess(process.hProcess, &exitCode) ? exitCode : GetLastError();
  }
  if (job != nullptr) CloseHandle(job);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return run;
}

}  // namespace win32
}  // namespace nv
