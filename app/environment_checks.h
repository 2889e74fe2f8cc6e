#pragma once
// The two checks that may stop a run before anything is installed: the
// Windows Installer engine must be recent enough (an old one is upgraded
// where the Windows family allows it), and no other installation may be
// running.

#include <cstdint>

#include "platform/platform.h"

namespace nv {

struct RunContext;
struct RunOptions;

// The Windows family the process runs on, as bit values; 0 for anything not
// listed (NT 3.x other than 3.51, NT 5.3 and later, other platforms).
enum WindowsClass : uint32_t {
  kWindows95 = 0x1,
  kWindows98OrMe = 0x10,
  kWindowsNT351 = 0x10000,
  kWindowsNT4 = 0x100000,
  kWindows2000 = 0x200000,
  kWindowsXP = 0x400000,
  kWindowsServer2003 = 0x800000,
};

// The WindowsClass of the running Windows. A non-zero answer is kept for the
// rest of the process; 0 is worked out again on the next call.
uint32_t ClassifyWindows(Platform& platform);

// Forgets the kept answer of ClassifyWindows (for tests that change the
// Windows version between cases).
void ResetWindowsClassCache();

// The engine gate, run before the switches are read. True: go on. False: the
// run has been refused with its message (unsupported Windows, or the upgrade
// package missing next to the program) and ends with exit code 1. An engine
// older than required is upgraded under the status window on Windows 2000,
// XP and Server 2003, and the new msi.dll is loaded; the upgrade's outcome
// never stops the run. Uses ctx.programDir, ctx.instance and ctx.statusText.
bool CheckInstallerVersion(RunContext& ctx);

// Stops the Windows Installer service and refuses to go on while a
// msiexec.exe process is still running. With busywait= it checks again every
// 5 seconds until the other installation has ended or the budget is spent,
// logging both ends of the wait (under a status window in interactive mode).
// True: go on. False: the user has been told and the run ends with
// StartUpBusyExitCode.
bool CheckInstallerBusy(RunContext& ctx);

// The exit code of a run stopped at start-up because another installation
// (or another run of this program) is under way: 1, or under /agent 1618
// (ERROR_INSTALL_ALREADY_RUNNING), the code on which management agents retry.
int32_t StartUpBusyExitCode(const RunOptions& options);

// The message of a run that stops because another installation, or another
// run, is under way.
void ShowInstallerBusy(Platform& platform);

}  // namespace nv
