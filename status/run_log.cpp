#include "status/run_log.h"

#include <cstdio>

#include "app/registry.h"
#include "app/run_context.h"
#include "deploy/shell_helpers.h"
#include "launch/package_property.h"
#include "platform/text.h"

namespace nv {

namespace {

constexpr const char* kSetupKey = "Software\\Norvasoft\\Setup";
constexpr const char* kEnableLogging = "EnableLogging";

bool EnableLoggingPresent(RunContext& ctx) {
  return RegistryValuePresent(ctx.platform.registry, RegRoot::LocalMachine, kSetupKey, kEnableLogging);
}

bool EndsInBackslash(const CodePage& cp, const std::string& text) {
  size_t last = MbFindLast(cp, text, '\\');
  return last != std::string::npos && last + 1 == text.size();
}

// The ctime text of a local time without its line end:
// "Www Mmm dd hh:mm:ss yyyy", the day padded with a blank.
std::string CTimeText(const LocalTime& t) {
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const char* day = (t.weekday >= 0 && t.weekday < 7) ? kDays[t.weekday] : "???";
  const char* month = (t.month >= 1 && t.month <= 12) ? kMonths[t.month - 1] : "???";
  char buffer[128];
  std::snprintf(buffer, sizeof(buffer), "%.3s %.3s%3d %.2d:%.2d:%.2d %d", day, month, t.day, t.hour, t.minute,
                t.second, t.year);
  return buffer;
}

std::string TwoDigits(int a, int b, int c, char separator) {
  char buffer[64];
  std::snprintf(buffer, sizeof(buffer), "%02d%c%02d%c%02d", a, separator, b, separator, c);
  return buffer;
}

std::string DefaultLogPath(RunContext& ctx) {
  const CodePage& cp = ctx.platform.codePage;
  std::string name = "VOVarOvadevir " + CTimeText(ctx.platform.system.Now()) + ".log";
  return ctx.logFolder + MbReplaceAll(cp, name, ":", ".");
}

// The logdir= folder, expanded, made when missing and ending in a
// backslash; empty when it cannot be made.
std::string MakeLogFolder(RunContext& ctx) {
  Platform& p = ctx.platform;
  const std::string folder = MbTrimRightChar(p.codePage, p.system.ExpandEnvironment(ctx.options.logDir), '\\') + "\\";
  if (folder == "\\" || !CreateDirectoryPath(p, folder, true)) return std::string();
  return folder;
}

// The name with " (n)" before its extension (the text from the last dot of
// its last element), or at its end when it has none.
std::string NumberedName(const CodePage& cp, const std::string& path, int n) {
  const size_t dot = MbFindLast(cp, path, '.');
  const size_t slash = MbFindLast(cp, path, '\\');
  const size_t at = (dot == std::string::npos || (slash != std::string::npos && dot < slash)) ? path.size() : dot;
  return path.substr(0, at) + " (" + std::to_string(n) + ")" + path.substr(at);
}

// *path becomes the name the file got.
std::unique_ptr<TextWriter> CreateLogFile(RunContext& ctx, std::string* path) {
  CreateDirectoryPath(ctx.platform, *path, true);
  if (!ctx.log.nameOfItsOwn) return ctx.platform.files.CreateCommitted(*path);
  for (int n = 2; n <= 9; ++n) {
    const std::string numbered = NumberedName(ctx.platform.codePage, *path, n);
    std::unique_ptr<TextWriter> file = ctx.platform.files.CreateNewCommitted(numbered);
    if (file) {
      *path = numbered;
      return file;
    }
  }
  return nullptr;
}

}  // namespace

std::string TemporaryFolder(Platform& platform) {
  const CodePage& cp = platform.codePage;
  std::string temp = platform.files.TempPath();
  if (temp.empty()) {
    const std::string system = platform.files.SystemDirectory();
    const size_t last = MbFindLast(cp, system, '\\');
    temp = (last == std::string::npos || last == 0) ? "C:\\Windows" : system.substr(0, last);
    temp += "\\Temp";
  }
  if (!EndsInBackslash(cp, temp)) temp += "\\";
  return temp;
}

void OpenRunLog(RunContext& ctx) {
  Platform& p = ctx.platform;
  RunLog& log = ctx.log;
  if (EnableLoggingPresent(ctx)) ctx.options.msiLogging = true;

  ctx.tempDir = TemporaryFolder(p);
  ctx.logFolder = ctx.tempDir;
  ctx.keepMsiLogs = false;
  const std::string logDir = ctx.options.logDir.empty() ? std::string() : MakeLogFolder(ctx);
  if (!logDir.empty()) {
    ctx.logFolder = logDir;
    ctx.keepMsiLogs = true;
  }

  log.path = ctx.options.logFile.empty() ? DefaultLogPath(ctx) : ctx.options.logFile;
  log.file = CreateLogFile(ctx, &log.path);
  // A folder that exists but takes no file (no rights, a read-only share)
  // is as unusable as one that cannot be made.
  if (!log.file && ctx.keepMsiLogs && ctx.options.logFile.empty()) {
    ctx.logFolder = ctx.tempDir;
    ctx.keepMsiLogs = false;
    log.path = DefaultLogPath(ctx);
    log.file = CreateLogFile(ctx, &log.path);
  }
  // An unattended run has no one to tell, and the log is its only record: when
  // the "logfile=" path cannot be created (a mistyped drive, a share that is
  // not reachable, no rights), keep the record under the documented default
  // name in the temporary folder rather than losing it.
  if (!log.file && !ctx.options.logFile.empty()) {
    std::string fallback = DefaultLogPath(ctx);
    log.file = CreateLogFile(ctx, &fallback);
    if (log.file) log.path = fallback;
  }
  log.opened = true;
  log.closed = false;
  if (!ctx.options.logDir.empty() && !ctx.keepMsiLogs) {
    WriteRunLog(ctx, "Log folder " + ctx.options.logDir + " cannot be made or written; logs go to " + ctx.tempDir +
                         " instead.\n");
  }
}

void WriteRunLog(RunContext& ctx, const std::string& text) {
  if (ctx.log.capture != nullptr) {
    ctx.log.capture->append(text);
    return;
  }
  if (!ctx.log.file) return;
  ctx.log.file->Write(text);
  if (!text.empty()) ctx.log.lineEnded = text.back() == '\n';
}

std::string MakeTimeStamp(RunContext& ctx) { return MakeTimeStamp(ctx, ctx.platform.system.Now()); }

std::string MakeTimeStamp(RunContext& ctx, const LocalTime& now) {
  System& system = ctx.platform.system;
  std::string date = TwoDigits(now.month, now.day, now.year % 100, '/');
  system.WriteStdOut("\t\t\t\t" + date + "\n");
  std::string time = TwoDigits(now.hour, now.minute, now.second, ':');
  system.WriteStdOut(" \t\t\t\t" + time + "\n");
  return date + " " + time;
}

void CloseRunLog(RunContext& ctx) {
  RunLog& log = ctx.log;
  if (log.closed) return;
  log.closed = true;
  if (log.file) {
    log.file->Close();
    log.file.reset();
  }
}

void EndRunLogWithExitCode(RunContext& ctx, int32_t exitCode) {
  WriteRunLog(ctx, std::string(ctx.log.lineEnded ? "" : "\n") + "Exit code: " + std::to_string(exitCode) + "\n");
  CloseRunLog(ctx);
}

std::string BuildMsiLogPath(RunContext& ctx, const std::string& packageOrProduct) {
  const std::string& folder = ctx.logFolder.empty() ? ctx.tempDir : ctx.logFolder;
  return folder + "Msi" + GetPackageProperty(ctx.platform, packageOrProduct, "NVProductPrefix") + ".log";
}

uint32_t MsiLogAttributes(RunContext& ctx, const std::string& path) {
  const bool first = ctx.msiLogsStarted.insert(MbLower(ctx.platform.codePage, path)).second && !ctx.keepMsiLogs;
  return first ? INSTALLLOGATTRIBUTES_FLUSHEACHLINE : INSTALLLOGATTRIBUTES_APPEND | INSTALLLOGATTRIBUTES_FLUSHEACHLINE;
}

bool MsiLoggingWanted(RunContext& ctx) { return ctx.options.msiLogging || EnableLoggingPresent(ctx); }

}  // namespace nv
