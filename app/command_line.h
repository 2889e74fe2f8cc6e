#pragma once
// The program's switches: the usage text, the help request and the parsing
// of the arguments into RunOptions.

#include <string>
#include <vector>

#include "app/run_context.h"
#include "platform/platform.h"

namespace nv {

// The caption of the help and invalid-options message boxes.
constexpr const char* kUnattendedCaption = "Norvasoft Unattended Installer";

enum class ParseResult {
  kOk,
  kInvalidShort,  // an argument of 1 to 8 characters that is no switch
  kInvalidLong,   // a longer argument that starts with no known prefix
};

// The program's folder from the module's path: everything up to and
// including its last backslash (empty when it has none). It is what
// "altsource=." stands for.
std::string ProgramDirFromModulePath(const CodePage& cp, const std::string& modulePath);

// The longest busywait= value: a day, in seconds.
constexpr uint32_t kMaxBusyWait = 86400;

// The usage line, "\n\nOptions:" and the twelve option lines.
std::string BuildUsageText();

// True when the program got exactly one argument and it is "/?" or "?" as
// given (no trimming).
bool IsHelpRequest(const std::vector<std::string>& args);

// Reads the arguments (without argument 0) in order into *options; a later
// argument overrides an earlier one. Stops at the first invalid argument and
// then leaves *options exactly as it was. programDir (ending in a backslash)
// is what "altsource=." stands for.
ParseResult ParseCommandLine(const CodePage& cp, const std::vector<std::string>& args,
                             const std::string& programDir, RunOptions* options);

// The message for an invalid argument, followed by the usage text.
std::string BuildInvalidOptionsText(ParseResult result, const std::string& usage);

}  // namespace nv
