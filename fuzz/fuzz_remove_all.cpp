// A whole remove-all run: RunUnattended with "/removeall" (and any further
// arguments) over installed products from the input: their publishers,
// titles (product information and the title in the cached package named by
// LocalPackage) and removal results (see run_scenario.h for the lines).
//
// What must hold for every run:
// - the exit code is 0;
// - every removal is of a product whose publisher names the maker, each
//   product found is removed once, and the log's count, index lines and
//   removals agree;
// - the log ends with " done.", followed by "Rebooting machine." exactly
//   when a removal asked for a restart, and then the computer restarts
//   (silent mode) or the user is asked (interactive mode); with /noreboot
//   the line after " done." says why the computer keeps running instead;
// - nothing the run opened stays open and the status windows are gone.

#include <cctype>
#include <string>

#include "app/command_line.h"
#include "app/run_context.h"
#include "fuzz_support.h"
#include "run_scenario.h"

namespace nv {
namespace {

using fuzz::Show;

constexpr const char kHead[] =
    "Norvasoft Silent Uninstaller will uninstall all norvasoft products in the system. \n"
    "Finding Norvasoft products... \n";

std::string LowerAscii(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

size_t Count(const std::string& text, const std::string& what) {
  size_t count = 0;
  for (size_t pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + 1)) ++count;
  return count;
}

// Whether a product of that code (as Windows Installer compares codes) was
// published by the maker.
bool MakersProduct(const fuzz::Run& run, const std::string& code) {
  for (const auto& [setUp, info] : run.productInfo) {
    if (LowerAscii(setUp) != LowerAscii(code)) continue;
    auto publisher = info.find("Publisher");
    if (publisher != info.end() && LowerAscii(publisher->second).find("norva") != std::string::npos) return true;
  }
  return false;
}

}  // namespace
}  // namespace nv

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace nv;
  fuzz::Run run;
  run.args.push_back("/removeall");
  run.SetUp(fuzz::ReadScenario(data, size, fuzz::kMaxScenarioLines));
  const int32_t ended = run.Go();
  if (run.CheckedAsAgentRun(ended)) return 0;
  const int32_t exitCode = run.WithoutRestartCode(ended);
  fuzz::Trace("exit code", std::to_string(exitCode));
  fuzz::Trace("run log", run.files.Written());
  for (const fake::MessageBoxCall& box : run.w.ui.MessageBoxes()) fuzz::Trace("message box", box.text);
  run.CheckNothingLeftOpen();
  run.CheckResultDocument();
  FUZZ_CHECK(run.AllStatusWindowsDestroyed(), "a status window outlives the run");

  // The engine gate comes before the switches and is the only stop with 1.
  const bool gateStop = run.BoxShown("This version of Windows is not supported.") ||
                        run.BoxShown("Windows Installer version 3.1.4000.2435 or higher is required.");
  RunOptions options;
  const bool parsed = ParseCommandLine(run.w.codePage, run.args, "D:\\media\\", &options) == ParseResult::kOk;
  const int64_t expected = gateStop ? 1 : !parsed ? static_cast<int64_t>(ERROR_INVALID_COMMAND_LINE) : run.RemoveAllExitCode();
  FUZZ_CHECK(expected < 0 || exitCode == expected,
             "a remove-all run ended with " + std::to_string(exitCode) + ", expected " + std::to_string(expected));
  size_t resultLines = 0;
  const std::string log = fuzz::WithoutResultFileLine(run.files.WrittenAfterLogFolderLine(), &resultLines);
  FUZZ_CHECK(resultLines <= 1, "the result file's failure logged more than once: " + Show(run.files.Written()));
  if (gateStop || !parsed) {
    // Nothing is removed and no log is written before the switches are read.
    FUZZ_CHECK(run.installer.Results().empty() && run.files.Created() == 0, "removed or logged after a stop");
    return 0;
  }

  bool restartAsked = false;
  for (const fuzz::RecordingInstaller::Result& result : run.installer.Results()) {
    FUZZ_CHECK(result.removal, "installed during a remove-all run: " + Show(result.target));
    FUZZ_CHECK(MakersProduct(run, result.target), "removed a product of another publisher: " + Show(result.target));
    restartAsked = restartAsked || result.value == ERROR_SUCCESS_REBOOT_REQUIRED;
  }
  const size_t removals = run.installer.Results().size();
  const bool keepRunning = options.rebootMode == -1;  // /noreboot

  if (run.files.Created() > 0) {
    FUZZ_CHECK(fuzz::StartsWithText(log, kHead), Show(log));
    const char* ending = !restartAsked ? fuzz::kClosingLine
                         : keepRunning ? fuzz::kClosedKeptRunning
                                       : fuzz::kClosedRestarting;
    FUZZ_CHECK(fuzz::EndsWithText(log, ending), "restart asked " + std::to_string(restartAsked) + ", log " + Show(log));
    const std::string countLine = "Number of products found: " + std::to_string(removals) + " \n\n";
    FUZZ_CHECK(log.find(countLine) != std::string::npos, "count line for " + std::to_string(removals) + " in " + Show(log));
    // One index line per removal, in order (a title cannot hold the line
    // breaks in front of it).
    FUZZ_CHECK(Count(log, "\n\nUninstalling product: ") == removals, Show(log));
    size_t at = 0;
    for (size_t i = 1; i <= removals; ++i) {
      at = log.find("\n\nUninstalling product: " + std::to_string(i) + " of: " + std::to_string(removals) + " \n\n", at);
      FUZZ_CHECK(at != std::string::npos, "index line " + std::to_string(i) + " in " + Show(log));
    }
    FUZZ_CHECK(Count(log, " is being uninstalled.\n") >= removals, Show(log));
    if (removals == 0) FUZZ_CHECK(log.find("No Norvasoft products were found.\n") != std::string::npos, Show(log));
  }
  if (restartAsked && !options.interactive && !keepRunning) {
    FUZZ_CHECK(run.w.system.RestartRequests() >= 1, "a removal asked for a restart and none came");
  }
  if (keepRunning) FUZZ_CHECK(run.w.system.RestartRequests() == 0, "restarted against /noreboot");
  FUZZ_CHECK(run.w.system.RestartRequests() <= 2, std::to_string(run.w.system.RestartRequests()) + " restarts");
  return 0;
}
