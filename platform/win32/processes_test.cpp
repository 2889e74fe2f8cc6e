// Real processes started through Win32Processes, the process snapshot, and
// work on a worker thread while the calling thread's windows stay serviced.

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <stdexcept>

#include "platform/win32/test_support.h"
#include "platform/win32/win32_platform.h"

namespace nv {
namespace win32 {
namespace {

std::string SystemFolder() {
  char folder[MAX_PATH] = {};
  GetSystemDirectoryA(folder, MAX_PATH);
  return folder;
}

bool WaitUntil(const std::function<bool()>& condition, DWORD milliseconds = 20000) {
  for (DWORD waited = 0; waited < milliseconds; waited += 50) {
    if (condition()) return true;
    Sleep(50);
  }
  return condition();
}

bool IsRunning(Win32Processes& processes, const std::string& exeFile) {
  std::vector<std::string> names = processes.RunningExeFiles();
  return std::find(names.begin(), names.end(), exeFile) != names.end();
}

// A program that keeps running until it is told to stop: the holdfile helper
// under a name of the test's choice.
class RunningProgram {
 public:
  RunningProgram(const testing::ScratchFolder& dir, const std::string& exeFile)
      : exeFile_(exeFile), exe_(dir / exeFile), held_(dir / "held.txt"), ready_(dir / "ready.txt"),
        stop_(dir / "stop.txt") {
    copied_ = CopyFileA(testing::Helper("holdfile.exe").c_str(), exe_.c_str(), FALSE) &&
              testing::WriteBytes(held_, "held");
  }
  ~RunningProgram() { Stop(); }

  bool copied() const { return copied_; }
  std::string CommandLine() const {
    return "\"" + exe_ + "\" \"" + held_ + "\" \"" + ready_ + "\" \"" + stop_ + "\" 60";
  }
  bool WaitStarted() const {
    return WaitUntil([&] { return testing::FileExists(ready_); });
  }
  // Lets the program end and waits until it has gone from the snapshot.
  void Stop() {
    if (!testing::FileExists(ready_) || testing::FileExists(stop_)) return;
    testing::WriteBytes(stop_, "stop");
    Win32Processes processes;
    WaitUntil([&] { return !IsRunning(processes, exeFile_); });
  }

 private:
  std::string exeFile_, exe_, held_, ready_, stop_;
  bool copied_ = false;
};

TEST(Win32ProcessesTest, RunGivesTheExitCodeOrTheCreationError) {
  testing::ScratchFolder dir("run");
  const std::string cmd = SystemFolder() + "\\cmd.exe";
  const std::string blanks = dir / "with blanks";
  ASSERT_TRUE(CreateDirectoryA(blanks.c_str(), nullptr));
  ASSERT_TRUE(CopyFileA(cmd.c_str(), (blanks + "\\my shell.exe").c_str(), FALSE));

  struct Case {
    const char* what;
    std::string commandLine;
    uint32_t expected;
  };
  const Case cases[] = {
      {"a program's exit code", cmd + " /c exit 3010", 3010},
      {"a program in a folder with blanks, quoted", "\"" + blanks + "\\my shell.exe\" /c exit 7", 7},
      {"a line far longer than 260 characters", cmd + " /c exit 5 & rem " + std::string(2000, 'x'), 5},
      {"a missing program", "\"" + dir / "missing.exe" + "\" /c exit 0", ERROR_FILE_NOT_FOUND},
  };
  Win32Processes processes;
  for (const Case& c : cases) {
    EXPECT_EQ(processes.Run(c.commandLine, true, nullptr), c.expected) << c.what;
  }

  // Over Windows' limit of 32,767 characters the start fails with Windows'
  // own error: 206 on Windows, 87 under Wine.
  uint32_t tooLong = processes.Run(cmd + " /c rem " + std::string(40000, 'y'), true, nullptr);
  EXPECT_TRUE(tooLong == ERROR_FILENAME_EXCED_RANGE || tooLong == ERROR_INVALID_PARAMETER) << tooLong;
}

TEST(Win32ProcessesTest, RunWithoutWaitingAndTheSnapshotSeeTheProgramStillRunning) {
  testing::ScratchFolder dir("running");
  // Named like the Windows Installer's own program, in its usual spelling.
  RunningProgram program(dir, "MsiExec.exe");
  ASSERT_TRUE(program.copied()) << testing::Helper("holdfile.exe");
  Win32Processes processes;
  EXPECT_FALSE(IsRunning(processes, "MsiExec.exe"));

  EXPECT_EQ(processes.Run(program.CommandLine(), false, nullptr), static_cast<uint32_t>(STILL_ACTIVE));
  ASSERT_TRUE(program.WaitStarted());
  EXPECT_TRUE(IsRunning(processes, "MsiExec.exe"));

  program.Stop();
  EXPECT_FALSE(IsRunning(processes, "MsiExec.exe"));
}

// A window of the calling thread that answers WM_APP with 42 and counts the
// WM_APP + 1 messages posted to it.
int postedSeen = 0;

LRESULT CALLBACK AnsweringWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_APP) return 42;
  if (message == WM_APP + 1) {
    ++postedSeen;
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

TEST(Win32ProcessesTest, RunOnWorkerKeepsTheCallersWindowsServicedUntilTheWorkIsDone) {
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = AnsweringWindowProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "NvAnsweringWindow";
  RegisterClassA(&windowClass);
  HWND window = CreateWindowExA(0, "NvAnsweringWindow", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(window, nullptr);
  postedSeen = 0;
  const DWORD caller = GetCurrentThreadId();

  DWORD_PTR answer = 0;
  LRESULT sent = 0;
  bool done = false;
  Win32Processes processes;
  processes.RunOnWorker([&] {
    // A quit request must not end the wait early.
    PostThreadMessageA(caller, WM_QUIT, 0, 0);
    PostMessageA(window, WM_APP + 1, 0, 0);
    Sleep(200);
    // Only answered when the calling thread takes messages while it waits.
    sent = SendMessageTimeoutA(window, WM_APP, 0, 0, SMTO_BLOCK, 10000, &answer);
    Sleep(200);
    done = true;
  });
  EXPECT_TRUE(done);
  EXPECT_NE(sent, 0);
  EXPECT_EQ(answer, 42u);
  EXPECT_EQ(postedSeen, 1);
  MSG message;
  EXPECT_FALSE(PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "WM_QUIT was left queued";
  DestroyWindow(window);

  // What the work throws reaches the caller instead of ending the process.
  EXPECT_THROW(processes.RunOnWorker([] { throw std::runtime_error("work failed"); }), std::runtime_error);
}

}  // namespace
}  // namespace win32
}  // namespace nv
