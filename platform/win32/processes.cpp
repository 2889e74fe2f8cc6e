// Starting processes, listing the running ones, and running work on a
// worker thread while the calling thread keeps its windows serviced.

#include <windows.h>
#include <tlhelp32.h>

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

}  // namespace

uint32_t Win32Processes::Run(const std::string& commandLine, bool wait, bool* created) {
  if (created != nullptr) *created = false;
  // CreateProcessA may write into the command line, so it gets a copy of its
  // own, as long as the line itself: Windows refuses lines over its limit
  // with its own error, nothing is cut here.
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');

  STARTUPINFOA startup;
  memset(&startup, 0, sizeof(startup));
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process;
  memset(&process, 0, sizeof(process));
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW | NORMAL_PRIORITY_CLASS,
                      nullptr, nullptr, &startup, &process)) {
    return GetLastError();
  }
  if (created != nullptr) *created = true;
  if (wait) WaitForSingleObject(process.hProcess, INFINITE);
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

}  // namespace win32
}  // namespace nv
