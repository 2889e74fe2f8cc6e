#pragma once
// The install pass: every item of the response file, read afresh by number,
// found on the media, installed through Windows Installer or started as a
// program, with its result logged and reported.

#include <cstddef>
#include <string>

namespace nv {

struct RunContext;

// The longest command line Windows can start (CreateProcessA's limit). A
// longer one is never cut: the item is refused with a run-log line, because
// a cut command line would run a different command.
constexpr size_t kMaxCommandLine = 32767;

// Runs the pass from item 1 until an item's product reads empty. Sets
// ctx.exitCode to the result of every failed Windows Installer call.
void LaunchItems(RunContext& ctx);

// A program path as it goes into a command line: quoted when it names an
// existing file and holds a blank, so that an unquoted "C:\Program Files\..."
// can never start a planted "C:\Program.exe" with administrator rights.
std::string QuoteProgramPath(RunContext& ctx, const std::string& program);

// The program (quoted as above), one blank and the parameter text.
std::string BuildProgramCommandLine(RunContext& ctx, const std::string& program, const std::string& parameter);

}  // namespace nv
