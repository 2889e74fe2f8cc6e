#pragma once
// The run log: one plain-text file per run, every write flushed at once. The
// log adds nothing of its own (no line ends, no stamps) to what callers write.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/platform.h"

namespace nv {

struct RunContext;

struct RunLog {
  std::string path;
  std::unique_ptr<TextWriter> file;  // null before opening, after closing, or when it could not be created
  bool opened = false;
  bool closed = false;
  // While set, writes go here instead of the file (see LogCapture).
  std::string* capture = nullptr;
  // The last write ended a line (or nothing was written yet).
  bool lineEnded = true;
  // Another run may be writing under the usual name: the log is created
  // new as "<name> (2).<extension>", or the next free number up to 9.
  bool nameOfItsOwn = false;
};

// Holds back the run log's writes while it lives: they are appended to
// *into instead, so that lines found while deciding something can be
// written later, in their place in the log.
class LogCapture {
 public:
  LogCapture(RunLog& log, std::string* into) : log_(log), previous_(log.capture) { log.capture = into; }
  ~LogCapture() { log_.capture = previous_; }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

 private:
  RunLog& log_;
  std::string* previous_;
};

// The user's temporary folder, ending in a backslash. When Windows cannot
// give it (a TEMP path too long for its buffer), the Windows folder's Temp
// folder stands in: a folder path of "\" would put the run's files in the
// root of the current drive.
std::string TemporaryFolder(Platform& platform);

// Turns msiLogging on when "EnableLogging" exists, settles tempDir and
// logFolder (the logdir= folder, environment variables expanded and made
// when missing, else tempDir), creates the folders of the log path and the
// log file itself ("logfile=", or "VOVarOvadevir <date>.log" in logFolder).
// When a "logfile=" path cannot be created the default name is used
// instead; a logdir= folder that cannot be made or written gives way to
// tempDir, with a line in the log that says so; when no file can be created
// at all, the run goes on and its log writes are dropped.
void OpenRunLog(RunContext& ctx);

// Writes text exactly as given and flushes it. Dropped when no log is open.
void WriteRunLog(RunContext& ctx, const std::string& text);

// "MM/DD/YY HH:MM:SS" of the local time; echoes the date and the time to
// the standard output.
std::string MakeTimeStamp(RunContext& ctx);

// The same for a moment taken earlier (the echo happens now).
std::string MakeTimeStamp(RunContext& ctx, const LocalTime& moment);

// Closes the log; later calls (and later writes) do nothing.
void CloseRunLog(RunContext& ctx);

// Writes "Exit code: N\n" on a line of its own and closes the log.
void EndRunLogWithExitCode(RunContext& ctx, int32_t exitCode);

// logFolder + "Msi" + the package's or product's NVProductPrefix + ".log".
std::string BuildMsiLogPath(RunContext& ctx, const std::string& packageOrProduct);

// The attributes for a Windows Installer log at path: the first item of the
// run that uses the file starts it afresh, later ones (items whose packages
// share a prefix, or have none) append to it, so that no item's diagnostics
// are lost. In a logdir= folder every item appends: the logs are kept from
// run to run, and an uninstall does not overwrite its install's log. Each
// line is flushed as it is written.
uint32_t MsiLogAttributes(RunContext& ctx, const std::string& path);

// Whether the next Windows Installer call gets a verbose log: msiLogging, or
// the "EnableLogging" value exists now.
bool MsiLoggingWanted(RunContext& ctx);

}  // namespace nv
