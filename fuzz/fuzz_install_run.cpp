// A whole install run: RunUnattended over a machine, a command line and a
// response file from the input (see run_scenario.h for the lines).
//
// What must hold for every run:
// - a run that stops early (help, invalid switches, an engine too old, no
//   response file, a busy installer, invalid entries) ends with the exit
//   code of its stop and installs nothing;
// - any other run ends with the last failing Windows Installer result (not
//   0 or 3010) of its installs and removals, or 0; its log starts with the
//   response file's line and ends with the closing " done." line, and its
//   status windows are gone;
// - nothing the run opened stays open, and the computer is restarted at
//   most once.
// With failing boundary calls (K lines), an item of the count that cannot
// be read is skipped as a failed install (1603), and the exit code may be
// any failure an installer call gave.

#include <string>

#include "app/command_line.h"
#include "app/run_context.h"
#include "fuzz_support.h"
#include "run_scenario.h"

namespace nv {
namespace {

using fuzz::Show;

// The exit code of the stop the run's messages tell of, or -1 when the run
// did not stop early.
int ExpectedStop(const fuzz::Run& run) {
  for (const fake::MessageBoxCall& box : run.w.ui.MessageBoxes()) {
    if (box.text == BuildUsageText()) return 0;
  }
  if (run.BoxShown("Invalid command line options detected.")) return static_cast<int>(ERROR_INVALID_COMMAND_LINE);
  if (run.BoxShown("This version of Windows is not supported.")) return 1;
  if (run.BoxShown("Windows Installer version 3.1.4000.2435 or higher is required.")) return 1;
  // A failed dialog ends as a cancelled one.
  if (run.BoxShown("Could not locate the unattended response file") && run.OpenFileCancelled()) return 1;
  if (run.BoxShown("An error was encountered.  Please ensure that no other installations")) return 1;
  if (run.BoxShown("Invalid entries found in response file.")) return static_cast<int>(ERROR_INVALID_DATA);
  return -1;
}

bool RemoveAllAsked(fuzz::Run& run) {
  RunOptions options;
  return ParseCommandLine(run.w.codePage, run.args, "D:\\media\\", &options) == ParseResult::kOk &&
         options.removeAll;
}

}  // namespace
}  // namespace nv

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace nv;
  fuzz::Run run;
  run.SetUp(fuzz::ReadScenario(data, size, fuzz::kMaxScenarioLines));
  const int32_t ended = run.Go();
  if (run.CheckedAsAgentRun(ended)) return 0;
  const int32_t exitCode = run.WithoutRestartCode(ended);
  fuzz::Trace("exit code", std::to_string(exitCode));
  fuzz::Trace("run log", run.files.Written());
  for (const fake::MessageBoxCall& box : run.w.ui.MessageBoxes()) fuzz::Trace("message box", box.text);
  run.CheckNothingLeftOpen();
  run.CheckResultDocument();
  FUZZ_CHECK(run.w.system.RestartRequests() <= 1, std::to_string(run.w.system.RestartRequests()) + " restarts");

  size_t resultLines = 0;
  const std::string log = fuzz::WithoutResultFileLine(run.files.WrittenAfterLogFolderLine(), &resultLines);
  FUZZ_CHECK(resultLines <= 1, "the result file's failure logged more than once: " + Show(run.files.Written()));
  const int stop = ExpectedStop(run);
  if (stop >= 0) {
    FUZZ_CHECK(exitCode == stop, "stopped early with " + std::to_string(exitCode) + ", expected " +
                                     std::to_string(stop) + "; log " + Show(log));
    FUZZ_CHECK(run.installer.Results().empty(), "installed before stopping");
    FUZZ_CHECK(!fuzz::EndsWithText(log, fuzz::kClosingLine), "a stopped run has a closing line: " + Show(log));
    return 0;
  }

  if (RemoveAllAsked(run)) {
    const int64_t expected = run.RemoveAllExitCode();
    FUZZ_CHECK(expected < 0 || exitCode == expected,
               "a remove-all run ended with " + std::to_string(exitCode) + ", expected " + std::to_string(expected));
    FUZZ_CHECK(run.files.Created() == 0 || fuzz::EndsClosed(log), Show(log));
    return 0;
  }

  int32_t lastFailure = 0;
  for (const fuzz::RecordingInstaller::Result& result : run.installer.Results()) {
    if (result.value != 0 && result.value != ERROR_SUCCESS_REBOOT_REQUIRED) {
      lastFailure = static_cast<int32_t>(result.value);
    }
  }
  // Besides installer failures: a package not found, and an item of the
  // count that cannot be read. Only the log, when there is one, tells; but it
  // also repeats response values and paths, in which the fuzzer soon places
  // the very texts looked for. A line whose key word the input holds (in any
  // case) may be an echo: it allows the failure without proving it.
  const std::string input(reinterpret_cast<const char*>(data), size);
  const bool unknown = run.files.Created() == 0;
  const bool givenUpLine = log.find("Giving up. File ") != std::string::npos;
  const bool skippedLine =
      log.find(" could not be read from the response file; the item is skipped.") != std::string::npos;
  const bool givenUp = unknown || givenUpLine;
  const bool skipped = unknown || skippedLine;
  const bool surelyFailed = (givenUpLine && !fuzz::HoldsWord(input, "giving")) ||
                            (skippedLine && !fuzz::HoldsWord(input, "skipped"));
  FUZZ_CHECK(exitCode == lastFailure || (givenUp && exitCode == static_cast<int32_t>(ERROR_INSTALL_PACKAGE_OPEN_FAILED)) ||
                 (skipped && exitCode == static_cast<int32_t>(ERROR_INSTALL_FAILURE)),
             "ended with " + std::to_string(exitCode) + ", the last failure was " + std::to_string(lastFailure) +
                 "; log " + Show(log));
  FUZZ_CHECK(exitCode != 0 || (lastFailure == 0 && !surelyFailed),
             "ended with 0 after a failure; log " + Show(log));
  FUZZ_CHECK(exitCode == 0 || exitCode == 1 || run.scriptedResults.count(static_cast<uint32_t>(exitCode)) != 0 ||
                 exitCode == static_cast<int32_t>(ERROR_UNKNOWN_PRODUCT) ||
                 (run.unavailable && exitCode == static_cast<int32_t>(ERROR_CALL_NOT_IMPLEMENTED)) ||
                 exitCode == static_cast<int32_t>(ERROR_INSTALL_PACKAGE_OPEN_FAILED) ||
                 exitCode == static_cast<int32_t>(ERROR_INSTALL_FAILURE) ||
                 (!run.w.faults.Fired().empty() && exitCode > 1600 && exitCode < 1621),
             "an exit code no installer call could give: " + std::to_string(exitCode));
  if (run.files.Created() > 0) {
    FUZZ_CHECK(fuzz::StartsWithText(log, "Response XML file: "), Show(log));
    FUZZ_CHECK(fuzz::EndsWithText(log, fuzz::kClosingLine), "the log does not end with the closing line: " + Show(log));
  }
  FUZZ_CHECK(run.AllStatusWindowsDestroyed(), "a status window outlives the run");
  return 0;
}
