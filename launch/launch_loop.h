#pragma once
// The install pass: every item of the response file, read afresh by number,
// found on the media, installed through Windows Installer or started as a
// program, with its result logged and reported.
//
// Each item goes through two steps: DecideItem works out everything the
// run will do with it (where its file is, what kind it is, the command line)
// without changing anything on the computer, and CarryOutItem does it. The
// media check runs the first step alone.

#include <cstddef>
#include <string>

#include "platform/platform.h"

namespace nv {

struct RunContext;

// The longest command line Windows can start: CreateProcessA takes 32,767
// characters with the terminating zero, so 32,766 without it. A
// longer one is never cut: the item is refused with a run-log line, because
// a cut command line would run a different command.
constexpr size_t kMaxCommandLine = 32766;

enum class ItemKind {
  ProductCode,          // "{...}": the installed product is removed
  Package,              // a Windows Installer package
  ScriptEnginePackage,  // a package installed by the setup program beside it
  Program,              // started with its parameter text
  MsdeSetup,            // a program waited for on a worker thread
  Redistributable,      // a program started from its local copy
};

// The kind as the media check's report and the result file name it:
// "product code", "package", "script-engine package", "program", "MSDE
// setup" or ".NET redistributable".
const char* ItemKindText(ItemKind kind);

// The rule names of media_search.h, and these two.
constexpr const char* kRuleAsWritten = "as written";
constexpr const char* kRuleLocalCopy = "local copy";

// What the run does with one item.
struct ItemDecision {
  int number = 0;
  bool end = false;            // the product reads empty: the pass ends here
  bool unreadable = false;     // the response file could not be read for it
  std::string written;         // the product as written, without its quotes
  std::string parameter;       // the parameter text (rewritten for msiexec.exe)
  std::string headerPath;      // the path the item's header line, status text and installer log name use
  std::string path;            // where the item was found at last (or as written)
  std::string rule;            // the rule that found it
  std::string mediaPath;       // a redistributable's path on the media
  ItemKind kind = ItemKind::Program;
  bool found = false;          // the path names an existing file
  std::string name, version;   // display name and version
  std::string setupPath;       // a script-engine package's setup program, when present
  std::string commandLine;     // what a program item, MSDE or script-engine setup starts
  bool tooLong = false;        // the command line cannot be started whole
  LocalTime launched;          // the moment of the item's header line, before its own searches
  // Run-log lines found while deciding: those before the item's header
  // line, written in their place when the item is carried out, and those
  // after it (the install pass writes these as they come instead, since the
  // searches that find them may take long).
  std::string logBeforeHeader, logAfterHeader;
};

// Works out item number's decision. Reads the response file, the media and
// package properties and may rewrite options.altSource (as the run does),
// but installs, copies, starts and shows nothing and writes no log.
// A redistributable is decided as if its local copy had been made.
ItemDecision DecideItem(RunContext& ctx, int number);

// Runs the pass from item 1 until an item's product reads empty. Sets
// ctx.exitCode to the result of every failed Windows Installer call (under
// /agent also of every failed program, while a removal that finds its
// product absent succeeds). An item of the count that cannot be read is
// skipped, as a failed install.
void LaunchItems(RunContext& ctx);

// A program path as it goes into a command line: quoted when it names an
// existing file and holds a blank, so that an unquoted "C:\Program Files\..."
// can never start a planted "C:\Program.exe" with administrator rights.
std::string QuoteProgramPath(RunContext& ctx, const std::string& program);

// The program (quoted as above), one blank and the parameter text.
std::string BuildProgramCommandLine(RunContext& ctx, const std::string& program, const std::string& parameter);

}  // namespace nv
