#include "app/command_line.h"

#include "platform/text.h"

namespace nv {

namespace {

// Arguments this long or shorter are either whole switches or invalid;
// longer ones are "name=value" assignments.
constexpr size_t kShortArgumentChars = 8;

size_t CharCount(const CodePage& cp, const std::string& text) {
  size_t count = 0;
  for (size_t i = 0; i < text.size(); i += MbCharLength(cp, text, i)) ++count;
  return count;
}

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// Whole-argument switches, each accepted with or without its slash. Returns
// false when the argument is none of them.
bool ApplySwitch(const CodePage& cp, const std::string& arg, RunOptions* options) {
  auto is = [&](const char* name) {
    return MbEqualNoCase(cp, arg, name) || MbEqualNoCase(cp, arg, std::string("/") + name);
  };
  if (is("I")) {
    options->interactive = true;
  } else if (is("S")) {
    options->interactive = false;
  } else if (is("L")) {
    options->msiLogging = true;
  } else if (is("M")) {
    options->statusMif = true;
  } else if (is("noreboot")) {
    options->rebootMode = -1;
  } else if (is("forcereboot")) {
    options->rebootMode = 1;
  } else if (is("removeall")) {
    options->removeAll = true;
  } else if (is("rebootcodes")) {
    options->rebootCodes = true;
  } else if (is("agent")) {
    options->agent = true;
    options->rebootCodes = true;
  } else {
    return false;
  }
  return true;
}

// Seconds from 1 to a day, in plain decimal digits.
bool ParseSeconds(const std::string& value, uint32_t* seconds) {
  if (value.empty() || value.size() > 5) return false;
  uint32_t parsed = 0;
  for (char c : value) {
    if (c < '0' || c > '9') return false;
    parsed = parsed * 10 + static_cast<uint32_t>(c - '0');
  }
  static_assert(kMaxBusyWait == kMaxItemTimeout, "both budgets are read by one rule");
  if (parsed < 1 || parsed > kMaxBusyWait) return false;
  *seconds = parsed;
  return true;
}

// "." stands for the program's folder; every value ends in exactly one
// backslash, so an empty value becomes a lone backslash.
std::string NormaliseAltSource(const CodePage& cp, const std::string& value, const std::string& programDir) {
  std::string folder = MbEqualNoCase(cp, value, ".") ? MbReplaceAll(cp, programDir, ".\\", "") : value;
  return MbTrimRightChar(cp, folder, '\\') + "\\";
}

// A "name=value" argument, already lower-cased and unquoted.
bool ApplyAssignment(const CodePage& cp, const std::string& arg, const std::string& programDir,
                     RunOptions* options) {
  for (const char* prefix : {"logfile=", "/logfile="}) {
    if (StartsWith(arg, prefix)) {
      options->logFile = arg.substr(std::string(prefix).size());
      return true;
    }
  }
  for (const char* prefix : {"altsource=", "/altsource="}) {
    if (StartsWith(arg, prefix)) {
      options->altSource = NormaliseAltSource(cp, arg.substr(std::string(prefix).size()), programDir);
      return true;
    }
  }
  for (const char* prefix : {"busywait=", "/busywait="}) {
    if (StartsWith(arg, prefix)) return ParseSeconds(arg.substr(std::string(prefix).size()), &options->busyWait);
  }
  for (const char* prefix : {"itemtimeout=", "/itemtimeout="}) {
    if (StartsWith(arg, prefix)) return ParseSeconds(arg.substr(std::string(prefix).size()), &options->itemTimeout);
  }
  return false;
}

// logdir= keeps its value's case: "%WINDIR%\CCM\Logs" names a folder on a
// case-preserving file system, and the log collection shows it as given.
bool ApplyLogDir(const std::string& lowered, const std::string& unquoted, RunOptions* options) {
  for (const char* prefix : {"logdir=", "/logdir="}) {
    if (StartsWith(lowered, prefix)) {
      options->logDir = unquoted.substr(std::string(prefix).size());
      return true;
    }
  }
  return false;
}

// "result=PATH" or "/result=PATH", its prefix in any case: the path is a
// file to be made, so it keeps its case; surrounding quotes go. False when
// the argument is no such switch or its path is empty.
bool ApplyResultFile(const CodePage& cp, const std::string& arg, RunOptions* options) {
  for (const char* prefix : {"result=", "/result="}) {
    const size_t length = std::string(prefix).size();
    if (arg.size() <= length || !MbEqualNoCase(cp, arg.substr(0, length), prefix)) continue;
    const std::string path = MbTrimLeftChar(cp, MbTrimRightChar(cp, arg.substr(length), '"'), '"');
    if (path.empty()) return false;
    options->resultFile = path;
    return true;
  }
  return false;
}

}  // namespace

std::string ProgramDirFromModulePath(const CodePage& cp, const std::string& modulePath) {
  const size_t cut = MbFindLast(cp, modulePath, '\\');
  return cut == std::string::npos ? std::string() : modulePath.substr(0, cut + 1);
}

std::string BuildUsageText() {
  std::string text =
      "\"\\\\deploysrv\\NorvaSuite\\NvRunUnattended.exe\" \"[\\\\deploysrv\\NorvaSuite\\]MyInstall.xml\" "
      "[/I | /S] [/noreboot | /forcereboot] [/L] [logfile=\"C:\\Logs\\silent.log\"] "
      "[altsource=\"\\\\mirrorsrv\\NorvaMedia\"] /m";
  text += "\n\nOptions:";
  text += "\n/I | /S - Interactive or Silent. Default is Silent";
  text += "\n/noreboot - Do not reboot even if reboot was required by the installed products";
  text += "\n/forcereboot - Reboot always";
  text += "\n/L - Creates Windows Installer verbose log files under %temp%";
  text += "\nlogfile - fully qualified log file name. Log file is created under %temp% with file name "
          "VOVarOvadevir *.log";
  text += "\naltsource - Alternative install media location. Use \\altsource=. to start the search from "
          "NvRunUnattended.exe folder";
  text += "\n/m - Generate .mif file for SMS client computers";
  text += "\n/removeall - Uninstalls all Norvasoft products";
  text += "\nbusywait - Seconds to wait for another installation to finish before giving up";
  text += "\n/rebootcodes - Exit with 3010 when a restart is pending, 1641 when one was started";
  text += "\nitemtimeout - Seconds an item may run before it is ended";
  text += "\n/agent - Started by a management agent: no windows, agent return codes";
  text += "\nresult - JSON file that records the run and each item's outcome";
  text += "\nNote: .xml file path is optional if in the same directory as NvRunUnattended.exe";
  return text;
}

bool AgentSwitchGiven(const CodePage& cp, const std::vector<std::string>& args) {
  for (const std::string& arg : args) {
    const std::string trimmed = MbTrim(cp, arg);
    if (MbEqualNoCase(cp, trimmed, "/agent") || MbEqualNoCase(cp, trimmed, "agent")) return true;
  }
  return false;
}

bool IsHelpRequest(const std::vector<std::string>& args) {
  return args.size() == 1 && (args[0] == "/?" || args[0] == "?");
}

ParseResult ParseCommandLine(const CodePage& cp, const std::vector<std::string>& args,
                             const std::string& programDir, RunOptions* options) {
  RunOptions parsed = *options;
  for (const std::string& raw : args) {
    const std::string arg = MbTrim(cp, raw);
    // The response file comes first: "logfile=c:\logs\run.xml" names one.
    if (MbEndsWithNoCase(cp, arg, ".xml")) {
      parsed.responseFile = arg;
      continue;
    }
    if (ApplySwitch(cp, arg, &parsed)) continue;
    if (StartsWith(arg, "/v") || StartsWith(arg, "/V")) {
      parsed.verboseTrace = true;
      continue;
    }
    if (ApplyResultFile(cp, arg, &parsed)) continue;
    const size_t chars = CharCount(cp, arg);
    if (chars == 0) continue;
    if (chars <= kShortArgumentChars) return ParseResult::kInvalidShort;
    const std::string assignment = MbTrimLeftChar(cp, MbTrimRightChar(cp, MbLower(cp, arg), '"'), '"');
    if (ApplyLogDir(assignment, MbTrimLeftChar(cp, MbTrimRightChar(cp, arg, '"'), '"'), &parsed)) continue;
    if (!ApplyAssignment(cp, assignment, programDir, &parsed)) return ParseResult::kInvalidLong;
  }
  // An agent's run is silent whatever else the line says: nobody answers a
  // window there.
  if (parsed.agent) parsed.interactive = false;
  *options = parsed;
  return ParseResult::kOk;
}

std::string BuildInvalidOptionsText(ParseResult result, const std::string& usage) {
  if (result == ParseResult::kInvalidLong) {
    return "Invalid command line options detected. Please use the following options. \n" + usage;
  }
  return "Invalid command line options detected. Please use the following options.\n" + usage;
}

}  // namespace nv
