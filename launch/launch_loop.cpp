#include "launch/launch_loop.h"

#include "app/run_context.h"
#include "deploy/shell_helpers.h"
#include "launch/item_limit.h"
#include "launch/media_search.h"
#include "launch/package_property.h"
#include "launch/prerequisites.h"
#include "platform/text.h"
#include "response/install_plan.h"
#include "status/progress_window.h"
#include "status/result_file.h"
#include "status/run_log.h"
#include "status/status_mif.h"

namespace nv {

namespace {

// Verbose Windows Installer logging: everything but files-in-use.
constexpr uint32_t kMsiLogMode = 0x1FDF;

bool IsRedistributable(const CodePage& cp, const std::string& path) {
  const std::string lower = MbLower(cp, path);
  for (const char* folder : {"\\core\\dotnet20\\", "\\core\\dotnet30\\", "\\core\\dotnet35\\"}) {
    size_t at = MbFind(cp, lower, folder);
    if (at != std::string::npos && at > 1) return true;
  }
  return false;
}

bool IsProductInstalled(Platform& platform, const std::string& productCode) {
  uint32_t size = 0;
  return platform.installer.GetProductInfo(productCode, "InstalledProductName", nullptr, &size) == 0;
}

// The item read afresh and found on the media: the steps before a
// redistributable's local copy is made.
ItemDecision ReadAndLocate(RunContext& ctx, int number) {
  Platform& p = ctx.platform;
  ItemDecision d;
  d.number = number;
  InstallItem read = ReadItem(p, ctx.options.responseFile, number, &d.unreadable);
  d.written = read.product;
  d.parameter = read.parameter;
  d.path = d.written;
  d.rule = kRuleAsWritten;
  LogCapture capture(ctx.log, &d.logBeforeHeader);
  if (!MbEqualNoCase(p.codePage, d.path, "msiexec.exe") &&
      (!PathExists(p, d.path) || !ctx.options.altSource.empty())) {
    d.path = LocatePackage(ctx, d.path, &d.rule);
  }
  if (IsRedistributable(p.codePage, d.path)) {
    d.kind = ItemKind::Redistributable;
    d.mediaPath = d.path;
  }
  return d;
}

// Where a redistributable's local copy will start from, without making it:
// the copy of its folder holds it exactly when the folder holds it now.
std::string PredictLocalCopy(RunContext& ctx, const std::string& path) {
  Platform& p = ctx.platform;
  const std::string lower = MbLower(p.codePage, path);
  size_t last = MbFindLast(p.codePage, lower, '\\');
  if (last == std::string::npos || last <= 1) return path;
  if (ProbePath(p, lower.substr(0, last)) != kProbeOnlyFolders || !PathExists(p, path)) return path;
  return StagingFolder(ctx) + lower.substr(last);
}

void DecideProductCode(RunContext& ctx, ItemDecision& d) {
  WriteRunLog(ctx, "Product " + d.name + " is being uninstalled.\n");
  d.found = IsProductInstalled(ctx.platform, d.path);
}

void DecidePackage(RunContext& ctx, ItemDecision& d) {
  Platform& p = ctx.platform;
  const CodePage& cp = p.codePage;
  WriteRunLog(ctx, "Product " + d.name + " is being installed/modified/repaired.\n");
  if (!PathExists(p, d.path)) {
    WriteRunLog(ctx, "File " + d.path + " was not found.\n\n");
    const std::string& alt = ctx.options.altSource;
    if (!alt.empty()) {
      const std::string lower = MbLower(cp, d.path);
      size_t last = MbFindLast(cp, lower, '\\');
      if (last != std::string::npos) {
        const std::string part = lower.substr(last);
        if (ctx.options.verboseTrace) WriteRunLog(ctx, "looking for " + part + " under " + alt + "\n");
        std::string found = FindInSubfolders(ctx, alt, part);
        if (ctx.options.verboseTrace) WriteRunLog(ctx, "is it @ " + found + "?\n");
        if (!found.empty()) {
          d.path = found;
          d.rule = kRuleSubfolders;
        }
      }
    }
  }
  d.found = PathExists(p, d.path);
  if (!d.found) {
    WriteRunLog(ctx, "Giving up. File " + d.path + " was not found.\n");
    return;
  }
  const std::string lower = MbLower(cp, d.path);
  if (MbFind(cp, lower, "isscript") == std::string::npos) return;
  // A script-engine package installs through the setup program beside it.
  d.kind = ItemKind::ScriptEnginePackage;
  size_t last = MbFindLast(cp, lower, '\\');
  const std::string setup = (last == std::string::npos ? std::string() : lower.substr(0, last) + "\\") + "setup.exe";
  if (!PathExists(p, setup)) return;
  d.setupPath = setup;
  d.commandLine = QuoteProgramPath(ctx, setup);
  d.tooLong = d.commandLine.size() > kMaxCommandLine;
}

void DecideProgram(RunContext& ctx, ItemDecision& d) {
  Platform& p = ctx.platform;
  const CodePage& cp = p.codePage;
  WriteRunLog(ctx, "Non-Msi process is being launched.\n");
  // A local copy that the check only predicts exists as soon as it is made.
  const bool exists = d.rule == kRuleLocalCopy || PathExists(p, d.path);
  if (!exists) {
    WriteRunLog(ctx, "File " + d.path + " was not found.\n");
    if (!ctx.options.altSource.empty()) d.path = RelocateProgram(ctx, d.path, &d.rule);
  }
  const bool msiexec = MbEqualNoCase(cp, d.path, "msiexec.exe");
  if (msiexec && !ctx.options.altSource.empty()) d.parameter = RelocateMsiexecPackage(ctx, d.parameter);
  // msiexec.exe is the system's own, started from the system folder: found
  // through the search path, a copy in the current folder would run first.
  d.found = msiexec || d.rule == kRuleLocalCopy || PathExists(p, d.path);
  const std::string systemDir = msiexec ? p.files.SystemDirectory() : std::string();
  const std::string program = systemDir.empty() ? d.path : systemDir + "\\msiexec.exe";
  d.commandLine = BuildProgramCommandLine(ctx, program, d.parameter);
  d.tooLong = d.commandLine.size() > kMaxCommandLine;
  if (d.kind == ItemKind::Program && MbFind(cp, MbLower(cp, d.path), "msde2ksp3\\setup.exe") != std::string::npos) {
    d.kind = ItemKind::MsdeSetup;
  }
}

// The steps after a redistributable's local copy: the kind and the names,
// which the item's header line, status text and installer log use.
void DecideKindAndNames(RunContext& ctx, ItemDecision& d) {
  Platform& p = ctx.platform;
  if (d.path.empty()) {
    d.end = true;
    return;
  }
  d.headerPath = d.path;
  if (!d.path.empty() && d.path[0] == '{') {
    d.kind = ItemKind::ProductCode;
  } else if (MbEndsWithNoCase(p.codePage, d.path, "msi")) {
    d.kind = ItemKind::Package;
  }
  if (d.kind == ItemKind::ProductCode || d.kind == ItemKind::Package) {
    d.name = GetPackageProperty(p, d.path, "ProductName");
    d.version = GetPackageProperty(p, d.path, "ProductVersion");
  } else {
    d.name = d.path;
  }
  // The header line tells when the item was launched: before the searches of
  // its own branch, however long they take.
  d.launched = p.system.Now();
}

// The searches and checks of the kind's own branch, whose log lines follow
// the header line.
void DecideBranch(RunContext& ctx, ItemDecision& d) {
  switch (d.kind) {
    case ItemKind::ProductCode:
      DecideProductCode(ctx, d);
      break;
    case ItemKind::Package:
      DecidePackage(ctx, d);
      break;
    default:
      DecideProgram(ctx, d);
      break;
  }
}

// The result of an install or removal: logged, reported to the status MIF
// library when wanted, and every failure becomes the run's exit code.
void ClassifyResult(RunContext& ctx, const ItemDecision& d, uint32_t rc, bool reportMif, bool isInstall) {
  const int32_t value = static_cast<int32_t>(rc);
  auto report = [&](bool success) {
    if (reportMif) WriteStatusMif(ctx.platform, ctx.options.statusMif, d.name, d.version, success, isInstall);
  };
  if (rc == 0) {
    WriteRunLog(ctx, "Installation launched succesfully.\n\n");
    report(true);
  } else if (rc == ERROR_SUCCESS_REBOOT_REQUIRED) {
    ctx.restartNeeded = true;
    report(true);
    WriteRunLog(ctx, "Reboot was requested. Return value is " + std::to_string(value) + "\n\n");
  } else {
    report(false);
    WriteRunLog(ctx, "There was a problem in launching the install. Return value is " + std::to_string(value) +
                         "\n\n");
    ctx.exitCode = value;
  }
}

// What carrying out an item gave, for the result file: the return value
// and the outcome.
struct ItemResult {
  uint32_t returnValue = 0;
  ItemOutcome outcome = ItemOutcome::Succeeded;
};

// A program's result: one that was not there is "not found" whatever
// starting it returned.
ItemResult ProgramResult(const RunContext& ctx, const ItemDecision& d, uint32_t rc) {
  return {rc, d.found ? OutcomeOfCall(ctx, rc) : ItemOutcome::NotFound};
}

// An installer call of the item, under the time limit when one is set. A
// cancel that the run asked for ends the run with 1460, not with the 1602
// of the call, which an agent reads as a person's cancel.
ItemResult CallAndClassify(RunContext& ctx, const ItemDecision& d, bool reportMif, bool isInstall,
                           const std::function<uint32_t()>& call) {
  const uint32_t rc = CallInstallerWithinLimit(ctx, "PRODUCT" + std::to_string(d.number), "installation", call);
  // Agents run an uninstall again when they are unsure of it: a product
  // already gone is what the removal wanted. (An agent's run is silent, so
  // no status MIF record is due.)
  if (!isInstall && ctx.options.agent && rc == ERROR_UNKNOWN_PRODUCT) {
    WriteRunLog(ctx, "Product " + d.path + " is not installed; nothing to remove.\n");
    WriteRunLog(ctx, "\n");
    return {rc, ItemOutcome::Succeeded};
  }
  ClassifyResult(ctx, d, rc, reportMif, isInstall);
  if (ctx.itemLimit == LimitOutcome::kCancelled) ctx.exitCode = static_cast<int32_t>(ERROR_TIMEOUT);
  return {rc, OutcomeOfCall(ctx, rc)};
}

// A command line Windows cannot start whole is refused, never cut.
bool RefusedAsTooLong(RunContext& ctx, const ItemDecision& d) {
  if (!d.tooLong) return false;
  WriteRunLog(ctx, "Command line of " + std::to_string(d.commandLine.size()) +
                       " characters is too long to be started; the item is skipped.\n\n");
  return true;
}

// A program's return value is logged. Under /agent it also counts as a
// package's would: an agent reads only the exit code, and a setup that
// failed must not end the run as a success. 3010 and 1641 ask for a
// restart.
void LogLaunchResult(RunContext& ctx, uint32_t rc) {
  WriteRunLog(ctx, "Launch return value is " + std::to_string(rc) + "\n\n");
  if (!ctx.options.agent || rc == 0) return;
  if (rc == ERROR_SUCCESS_REBOOT_REQUIRED || rc == ERROR_SUCCESS_REBOOT_INITIATED) {
    ctx.restartNeeded = true;
  } else {
    ctx.exitCode = static_cast<int32_t>(rc);
  }
}

// What the item shows before its own searches: the status window's texts,
// the installer log it will write, and its header line.
void AnnounceItem(RunContext& ctx, const ItemDecision& d) {
  Platform& p = ctx.platform;
  if (ctx.options.interactive) {
    // The step first, so that the one repaint of SetStatus shows both.
    SetStep(ctx, d.number, ctx.plan.itemCount);
    SetStatus(ctx, "Norvasoft Installer is configuring " + d.name + ". Please wait...");
  }
  if (MsiLoggingWanted(ctx)) {
    const std::string logPath = BuildMsiLogPath(ctx, d.headerPath);
    p.installer.EnableLog(kMsiLogMode, logPath, MsiLogAttributes(ctx, logPath));
  }
  WriteRunLog(ctx, MakeTimeStamp(ctx, d.launched) + " PRODUCT" + std::to_string(d.number) + " " + d.headerPath + " launched.\n");
}

ItemResult CarryOutItem(RunContext& ctx, const ItemDecision& d) {
  Platform& p = ctx.platform;
  ctx.itemLimit = LimitOutcome::kNone;
  const ItemResult skipped{0, ItemOutcome::Skipped};
  uint32_t rc = 0;
  switch (d.kind) {
    case ItemKind::ProductCode:
      return CallAndClassify(ctx, d, ctx.options.interactive, false, [&] {
        return p.installer.ConfigureProductEx(d.path, INSTALLLEVEL_MAXIMUM, INSTALLSTATE_ABSENT, d.parameter);
      });
    case ItemKind::Package:
      if (!d.found) {
        // A package that is not there fails as Windows Installer fails a
        // package it cannot open: the run must not end as a success.
        WriteStatusMif(ctx.platform, ctx.options.statusMif, d.name, d.version, false, true);
        ctx.exitCode = static_cast<int32_t>(ERROR_INSTALL_PACKAGE_OPEN_FAILED);
        return {ERROR_INSTALL_PACKAGE_OPEN_FAILED, ItemOutcome::NotFound};
      }
      WriteRunLog(ctx, "Launching: " + d.parameter + "\n\n");
      return CallAndClassify(ctx, d, true, true, [&] { return p.installer.InstallProduct(d.path, d.parameter); });
    case ItemKind::ScriptEnginePackage:
      if (d.setupPath.empty()) return {ERROR_FILE_NOT_FOUND, ItemOutcome::NotFound};
      if (RefusedAsTooLong(ctx, d)) return skipped;
      WriteRunLog(ctx, "Launching " + d.commandLine + ".\n");
      rc = RunItemProgram(ctx, d.number, d.commandLine);
      LogLaunchResult(ctx, rc);
      return ProgramResult(ctx, d, rc);
    case ItemKind::MsdeSetup:
      if (RefusedAsTooLong(ctx, d)) return skipped;
      return ProgramResult(ctx, d, RunMsdeSetup(ctx, d.number, d.commandLine));
    case ItemKind::Program:
    case ItemKind::Redistributable:
      if (RefusedAsTooLong(ctx, d)) return skipped;
      WriteRunLog(ctx, "Launching: ");
      WriteRunLog(ctx, d.commandLine + "\n\n");
      rc = RunItemProgram(ctx, d.number, d.commandLine);
      LogLaunchResult(ctx, rc);
      return ProgramResult(ctx, d, rc);
  }
  return {rc, ItemOutcome::Failed};
}

// The item's record in the result file: never its parameters, which may
// hold passwords.
void RecordItem(RunContext& ctx, const ItemDecision& d, const ItemResult& result) {
  ItemRecord record;
  record.item = d.number;
  record.product = d.written;
  record.name = d.kind == ItemKind::ProductCode || d.kind == ItemKind::Package ? d.name : std::string();
  record.kind = d.unreadable ? "" : ItemKindText(d.kind);
  record.path = d.path;
  record.returnValue = static_cast<int32_t>(result.returnValue);
  record.outcome = result.outcome;
  if (MsiLoggingWanted(ctx) && (d.kind == ItemKind::ProductCode || d.kind == ItemKind::Package) && d.found) {
    record.installerLog = BuildMsiLogPath(ctx, d.headerPath);
  }
  RecordResultItem(ctx, std::move(record));
}

// One pass; false when the item's product reads empty and the pass ends the
// loop.
bool LaunchItem(RunContext& ctx) {
  const int number = ++ctx.itemIndex;
  BeginResultItem(ctx);
  ItemDecision d = ReadAndLocate(ctx, number);
  // An item the count found but whose values cannot be read now is neither
  // the end of the list nor an item without parameters (a setup started
  // without its silent switch would wait for a person).
  if (d.unreadable && number <= ctx.plan.itemCount) {
    WriteRunLog(ctx, "PRODUCT" + std::to_string(number) +
                         " could not be read from the response file; the item is skipped.\n\n");
    ctx.exitCode = static_cast<int32_t>(ERROR_INSTALL_FAILURE);
    RecordItem(ctx, d, {ERROR_INSTALL_FAILURE, ItemOutcome::Skipped});
    return true;
  }
  WriteRunLog(ctx, d.logBeforeHeader);
  if (d.kind == ItemKind::Redistributable) d.path = StageRedistributable(ctx, d.path, number, ctx.plan.itemCount);
  DecideKindAndNames(ctx, d);
  if (d.end) return false;
  AnnounceItem(ctx, d);
  // The branch's searches may walk a whole tree below the alternative source
  // for minutes: their lines go to the log as they come, after the header,
  // so that a run ended meanwhile leaves a log that tells which item it was
  // working on.
  DecideBranch(ctx, d);
  RecordItem(ctx, d, CarryOutItem(ctx, d));
  return true;
}

}  // namespace

const char* ItemKindText(ItemKind kind) {
  switch (kind) {
    case ItemKind::ProductCode:
      return "product code";
    case ItemKind::Package:
      return "package";
    case ItemKind::ScriptEnginePackage:
      return "script-engine package";
    case ItemKind::Program:
      return "program";
    case ItemKind::MsdeSetup:
      return "MSDE setup";
    case ItemKind::Redistributable:
      return ".NET redistributable";
  }
  return "program";
}

ItemDecision DecideItem(RunContext& ctx, int number) {
  ItemDecision d = ReadAndLocate(ctx, number);
  if (d.kind == ItemKind::Redistributable) {
    const std::string copy = PredictLocalCopy(ctx, d.path);
    if (copy != d.path) d.rule = kRuleLocalCopy;
    d.path = copy;
  }
  DecideKindAndNames(ctx, d);
  if (d.end) return d;
  LogCapture capture(ctx.log, &d.logAfterHeader);
  DecideBranch(ctx, d);
  return d;
}

std::string QuoteProgramPath(RunContext& ctx, const std::string& program) {
  bool quote = program.find(' ') != std::string::npos && program.find('"') == std::string::npos &&
               PathExists(ctx.platform, program);
  return quote ? "\"" + program + "\"" : program;
}

std::string BuildProgramCommandLine(RunContext& ctx, const std::string& program, const std::string& parameter) {
  return QuoteProgramPath(ctx, program) + " " + parameter;
}

void LaunchItems(RunContext& ctx) {
  ctx.itemIndex = 0;
  while (LaunchItem(ctx)) {
  }
}

}  // namespace nv
