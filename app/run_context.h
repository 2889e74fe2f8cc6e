#pragma once
// The run-wide state that every phase of a run shares.

#include <cstdint>
#include <set>
#include <string>

#include "launch/item_limit.h"
#include "platform/platform.h"
#include "response/install_plan.h"
#include "status/result_file.h"
#include "status/run_log.h"

namespace nv {

// What the command line asks for.
struct RunOptions {
  bool interactive = false;  // /I; /S clears it
  bool msiLogging = false;   // /L, or the "EnableLogging" registry value
  bool statusMif = false;    // /M
  int rebootMode = 0;        // -1 /noreboot, 0 when marked, 1 /forcereboot
  bool removeAll = false;    // /removeall
  bool verboseTrace = false; // an argument beginning with /v or /V
  std::string responseFile;
  std::string logFile;
  std::string altSource;     // when set, ends in exactly one backslash
  uint32_t busyWait = 0;     // busywait=: seconds to wait for a busy installer
  bool rebootCodes = false;  // /rebootcodes: 3010 and 1641 tell a pending or started restart
  bool agent = false;        // /agent: started by a management agent (implies /rebootcodes and /S)
  std::string logDir;        // logdir=: the folder of the logs, as given (not lower-cased, not expanded)
  uint32_t itemTimeout = 0;  // itemtimeout=: seconds an item may run; 0 for no limit
  std::string resultFile;    // result=: the run's JSON record, as written (not expanded)
};

struct RunContext {
  explicit RunContext(Platform& p) : platform(p) {}
  RunContext(const RunContext&) = delete;
  RunContext& operator=(const RunContext&) = delete;

  Platform& platform;
  InstanceHandle instance = nullptr;
  std::string programDir;  // the program's folder, ending in a backslash
  std::string tempDir;     // the temporary folder, ending in a backslash
  // Where the default run log and the Windows Installer logs go, ending in a
  // backslash: the logdir= folder, or tempDir when none is given or usable.
  std::string logFolder;
  // The Windows Installer logs are in the logdir= folder and are appended
  // to from run to run.
  bool keepMsiLogs = false;
  RunOptions options;
  RunLog log;
  WindowHandle statusWindow = nullptr;  // none in silent mode
  std::string statusText;
  InstallPlan plan;
  int itemIndex = 0;
  int32_t exitCode = 0;
  // Whether a person can see the program's windows; without one no message
  // box or file dialog is shown and start-up messages go to the run log.
  bool desktopVisible = true;
  // A package or removal returned 3010, and the run itself asked Windows to
  // restart: what /rebootcodes reports.
  bool restartNeeded = false;
  bool restartRequested = false;
  // How the time limit met the item or removal carried out last.
  LimitOutcome itemLimit = LimitOutcome::kNone;
  // The Windows Installer logs this run has started, lower-cased.
  std::set<std::string> msiLogsStarted;
  // The result file's record of the run (result=).
  ResultFile result;
};

}  // namespace nv
