// The switches: an argument vector cut from the input goes through
// ParseCommandLine, IsHelpRequest, BuildUsageText and BuildInvalidOptionsText,
// and the outcome is judged against a plain model of the switch rules.
//
// Input: byte 0 chooses the code page (bit 0: double-byte), the program
// folder (bit 1) and the options the parse starts from (bits 2 to 5); the
// rest is the arguments, one per line.

#include <string>
#include <utility>
#include <vector>

#include "app/command_line.h"
#include "fuzz_support.h"
#include "platform/fake/fake_platform.h"

namespace nv {
namespace {

using fuzz::Show;

constexpr size_t kMaxArguments = 16;

bool IsSpace(const CodePage& cp, uint8_t c) { return cp.IsSpace(c); }

std::string Trim(const CodePage& cp, const std::string& text) {
  auto space = [&](uint8_t c) { return IsSpace(cp, c); };
  return fuzz::TrimStart(fuzz::TrimEnd(cp, text, space), space);
}

// The last n characters, or the whole text when it has n or fewer.
std::string LastChars(const CodePage& cp, const std::string& text, size_t n) {
  std::vector<size_t> starts = fuzz::Starts(cp, text);
  return starts.size() <= n ? text : text.substr(starts[starts.size() - n]);
}

bool SameNoCase(const CodePage& cp, const std::string& a, const std::string& b) {
  return fuzz::Lower(cp, a) == fuzz::Lower(cp, b);
}

std::string WithoutTrailing(const CodePage& cp, const std::string& text, char c) {
  return fuzz::TrimEnd(cp, text, [c](uint8_t b) { return b == static_cast<uint8_t>(c); });
}

// The switch rules, one argument at a time, as the usage text documents
// them. Returns the parse result; *options holds the fields as they stand
// after the arguments read so far.
ParseResult Model(const CodePage& cp, const std::vector<std::string>& args, const std::string& programDir,
                  RunOptions* options) {
  for (const std::string& raw : args) {
    const std::string arg = Trim(cp, raw);
    if (SameNoCase(cp, LastChars(cp, arg, 4), ".xml")) {
      options->responseFile = arg;
      continue;
    }
    const std::string lower = fuzz::Lower(cp, arg);
    const std::string name = lower.size() > 1 && lower[0] == '/' ? lower.substr(1) : lower;
    if (name == "i") { options->interactive = true; continue; }
    if (name == "s") { options->interactive = false; continue; }
    if (name == "l") { options->msiLogging = true; continue; }
    if (name == "m") { options->statusMif = true; continue; }
    if (name == "noreboot") { options->rebootMode = -1; continue; }
    if (name == "forcereboot") { options->rebootMode = 1; continue; }
    if (name == "removeall") { options->removeAll = true; continue; }
    if (name == "rebootcodes") { options->rebootCodes = true; continue; }
    if (name == "agent") { options->agent = options->rebootCodes = true; continue; }
    if (arg.size() >= 2 && arg[0] == '/' && (arg[1] == 'v' || arg[1] == 'V')) {
      options->verboseTrace = true;
      continue;
    }
    auto quote = [](uint8_t c) { return c == '"'; };
    // result=PATH: a file to be made, so its case stays; it may be short.
    bool resultTaken = false;
    for (const char* prefix : {"result=", "/result="}) {
      const size_t length = std::string(prefix).size();
      if (resultTaken || arg.size() <= length || !fuzz::StartsWithText(lower, prefix)) continue;
      const std::string path = fuzz::TrimStart(fuzz::TrimEnd(cp, arg.substr(length), quote), quote);
      if (!path.empty()) options->resultFile = path, resultTaken = true;
    }
    if (resultTaken) continue;
    const size_t chars = fuzz::Starts(cp, arg).size();
    if (chars == 0) continue;
    if (chars <= 8) return ParseResult::kInvalidShort;
    const std::string value = fuzz::TrimStart(fuzz::TrimEnd(cp, lower, quote), quote);
    bool taken = false;
    for (const char* prefix : {"logdir=", "/logdir="}) {
      // The folder keeps its case.
      if (!taken && fuzz::StartsWithText(value, prefix)) {
        options->logDir = fuzz::TrimStart(fuzz::TrimEnd(cp, arg, quote), quote).substr(std::string(prefix).size());
        taken = true;
      }
    }
    for (const char* prefix : {"logfile=", "/logfile="}) {
      if (!taken && fuzz::StartsWithText(value, prefix)) {
        options->logFile = value.substr(std::string(prefix).size());
        taken = true;
      }
    }
    for (const char* prefix : {"altsource=", "/altsource="}) {
      if (!taken && fuzz::StartsWithText(value, prefix)) {
        std::string folder = value.substr(std::string(prefix).size());
        if (folder == ".") folder = fuzz::ReplaceAll(cp, programDir, ".\\", "");
        options->altSource = WithoutTrailing(cp, folder, '\\') + "\\";
        taken = true;
      }
    }
    const std::pair<const char*, uint32_t*> timed[] = {{"busywait=", &options->busyWait},
                                                       {"/busywait=", &options->busyWait},
                                                       {"itemtimeout=", &options->itemTimeout},
                                                       {"/itemtimeout=", &options->itemTimeout}};
    for (const auto& [prefix, field] : timed) {
      if (!taken && fuzz::StartsWithText(value, prefix)) {
        // Seconds from 1 to a day, in plain decimal digits.
        const std::string digits = value.substr(std::string(prefix).size());
        if (digits.empty() || digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos) {
          return ParseResult::kInvalidLong;
        }
        const uint32_t seconds = fuzz::Number(digits);
        if (seconds < 1 || seconds > kMaxBusyWait) return ParseResult::kInvalidLong;
        *field = seconds;
        taken = true;
      }
    }
    if (!taken) return ParseResult::kInvalidLong;
  }
  // Nobody answers an agent's windows: its run is silent.
  if (options->agent) options->interactive = false;
  return ParseResult::kOk;
}

std::string Describe(const RunOptions& o) {
  return "interactive=" + std::to_string(o.interactive) + " msiLogging=" + std::to_string(o.msiLogging) +
         " statusMif=" + std::to_string(o.statusMif) + " rebootMode=" + std::to_string(o.rebootMode) +
         " removeAll=" + std::to_string(o.removeAll) + " verboseTrace=" + std::to_string(o.verboseTrace) +
         " responseFile=" + Show(o.responseFile) + " logFile=" + Show(o.logFile) + " altSource=" + Show(o.altSource) +
         " rebootCodes=" + std::to_string(o.rebootCodes) + " busyWait=" + std::to_string(o.busyWait) +
         " itemTimeout=" + std::to_string(o.itemTimeout) +
         " agent=" + std::to_string(o.agent) + " logDir=" + Show(o.logDir) + " resultFile=" + Show(o.resultFile);
}

bool Same(const RunOptions& a, const RunOptions& b) { return Describe(a) == Describe(b); }

// Ends in one single-byte backslash that does not follow another.
bool EndsInExactlyOneBackslash(const CodePage& cp, const std::string& text) {
  std::vector<size_t> starts = fuzz::Starts(cp, text);
  if (starts.empty()) return false;
  const size_t last = starts.back();
  if (text[last] != '\\' || last + 1 != text.size()) return false;
  if (starts.size() == 1) return true;
  const size_t before = starts[starts.size() - 2];
  return !(before + 1 == last && text[before] == '\\');
}

}  // namespace
}  // namespace nv

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace nv;
  if (size == 0) return 0;
  const uint8_t control = data[0];
  fake::FakeCodePage cp;
  cp.SetDoubleByte((control & 1) != 0);

  std::vector<std::string> args;
  const std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
  size_t pos = 0;
  while (args.size() < kMaxArguments) {
    size_t end = rest.find('\n', pos);
    args.push_back(fuzz::WithoutHalfCharacterAtEnd(
        cp, rest.substr(pos, end == std::string::npos ? std::string::npos : end - pos)));
    if (end == std::string::npos) break;
    pos = end + 1;
  }
  if (rest.empty()) args.clear();

  // A program folder with ".\" in it, as a module path may carry, and a
  // double-byte one whose trail byte is a backslash.
  const std::string programDir = (control & 2) ? "D:\\media\\.\\\x83\\sub\\" : "D:\\media\\";

  RunOptions initial;
  initial.interactive = (control & 4) != 0;
  initial.rebootMode = (control & 8) ? 1 : 0;
  if (control & 16) {
    initial.responseFile = "D:\\media\\earlier.xml";
    initial.logFile = "c:\\logs\\earlier.log";
  }
  if (control & 32) initial.altSource = "e:\\earlier\\";

  const std::string usage = BuildUsageText();
  FUZZ_CHECK(usage == BuildUsageText(), "the usage text changes between calls");
  FUZZ_CHECK(usage.find("\n\nOptions:") != std::string::npos, Show(usage));

  const bool help = IsHelpRequest(args);
  FUZZ_CHECK(help == (args.size() == 1 && (args[0] == "/?" || args[0] == "?")),
             "help=" + std::to_string(help) + (args.empty() ? std::string() : " first=" + fuzz::Show(args[0])));

  RunOptions parsed = initial;
  const ParseResult result = ParseCommandLine(cp, args, programDir, &parsed);
  RunOptions expected = initial;
  const ParseResult expectedResult = Model(cp, args, programDir, &expected);
  FUZZ_CHECK(result == expectedResult,
             "result " + std::to_string(static_cast<int>(result)) + ", the switch rules give " +
                 std::to_string(static_cast<int>(expectedResult)));

  if (result != ParseResult::kOk) {
    // No option of a rejected command line takes effect.
    FUZZ_CHECK(Same(parsed, initial), Describe(parsed) + "\nstarted as\n" + Describe(initial));
    const std::string text = BuildInvalidOptionsText(result, usage);
    const std::string head = result == ParseResult::kInvalidLong
                                 ? "Invalid command line options detected. Please use the following options. \n"
                                 : "Invalid command line options detected. Please use the following options.\n";
    FUZZ_CHECK(text == head + usage, Show(text));
    return 0;
  }

  FUZZ_CHECK(Same(parsed, expected), Describe(parsed) + "\nthe switch rules give\n" + Describe(expected));
  FUZZ_CHECK(parsed.altSource.empty() || EndsInExactlyOneBackslash(cp, parsed.altSource), Show(parsed.altSource));
  FUZZ_CHECK(parsed.rebootMode >= -1 && parsed.rebootMode <= 1, std::to_string(parsed.rebootMode));
  if (parsed.logFile != initial.logFile) {
    FUZZ_CHECK(fuzz::Lower(cp, parsed.logFile) == parsed.logFile, "logFile not lower case: " + Show(parsed.logFile));
  }

  // The arguments set every field they name, whatever it held before: a
  // second parse of the same arguments changes nothing.
  RunOptions again = parsed;
  FUZZ_CHECK(ParseCommandLine(cp, args, programDir, &again) == ParseResult::kOk, "second parse rejected");
  FUZZ_CHECK(Same(again, parsed), Describe(again) + "\nafter one parse\n" + Describe(parsed));
  return 0;
}
