#include "launch/launch_loop.h"

#include "app/run_context.h"
#include "launch/media_search.h"
#include "launch/package_property.h"
#include "launch/prerequisites.h"
#include "launch/process_runner.h"
#include "platform/text.h"
#include "response/install_plan.h"
#include "status/progress_window.h"
#include "status/run_log.h"
#include "status/status_mif.h"

namespace nv {

namespace {

// Verbose Windows Installer logging: everything but files-in-use.
constexpr uint32_t kMsiLogMode = 0x1FDF;

enum class ItemKind { ProductCode, Package, Program };

// One pass's working state.
struct Item {
  int number = 0;
  std::string path;       // P: rewritten by the media search and the staging
  std::string parameter;  // Q
  std::string name;       // display name
  std::string version;    // display version
};

bool PathExists(Platform& platform, const std::string& path) { return !platform.files.Find(path).empty(); }

ItemKind KindOf(const CodePage& cp, const std::string& path) {
  if (!path.empty() && path[0] == '{') return ItemKind::ProductCode;
  if (MbEndsWithNoCase(cp, path, "msi")) return ItemKind::Package;
  return ItemKind::Program;
}

bool IsRedistributable(const CodePage& cp, const std::string& path) {
  const std::string lower = MbLower(cp, path);
  for (const char* folder : {"\\core\\dotnet20\\", "\\core\\dotnet30\\", "\\core\\dotnet35\\"}) {
    size_t at = MbFind(cp, lower, folder);
    if (at != std::string::npos && at > 1) return true;
  }
  return false;
}

// The result of an install or removal: logged, reported to the status MIF
// library when wanted, and every failure becomes the run's exit code.
void ClassifyResult(RunContext& ctx, const Item& item, uint32_t rc, bool reportMif, bool isInstall) {
  const int32_t value = static_cast<int32_t>(rc);
  auto report = [&](bool success) {
    if (reportMif) WriteStatusMif(ctx.platform, ctx.options.statusMif, item.name, item.version, success, isInstall);
  };
  if (rc == 0) {
    WriteRunLog(ctx, "Installation launched succesfully.\n\n");
    report(true);
  } else if (rc == ERROR_SUCCESS_REBOOT_REQUIRED) {
    report(true);
    WriteRunLog(ctx, "Reboot was requested. Return value is " + std::to_string(value) + "\n\n");
  } else {
    report(false);
    WriteRunLog(ctx, "There was a problem in launching the install. Return value is " + std::to_string(value) +
                         "\n\n");
    ctx.exitCode = value;
  }
}

// A command line Windows cannot start whole is refused, never cut.
bool CommandLineFits(RunContext& ctx, const std::string& commandLine) {
  if (commandLine.size() <= kMaxCommandLine) return true;
  WriteRunLog(ctx, "Command line of " + std::to_string(commandLine.size()) +
                       " characters is too long to be started; the item is skipped.\n\n");
  return false;
}

void LogLaunchResult(RunContext& ctx, uint32_t rc) {
  WriteRunLog(ctx, "Launch return value is " + std::to_string(rc) + "\n\n");
}

void RemoveProduct(RunContext& ctx, Item& item) {
  WriteRunLog(ctx, "Product " + item.name + " is being uninstalled.\n");
  uint32_t rc = ctx.platform.installer.ConfigureProductEx(item.path, INSTALLLEVEL_MAXIMUM, INSTALLSTATE_ABSENT,
                                                          item.parameter);
  ClassifyResult(ctx, item, rc, ctx.options.interactive, false);
}

void InstallPackage(RunContext& ctx, Item& item) {
  Platform& p = ctx.platform;
  const CodePage& cp = p.codePage;
  WriteRunLog(ctx, "Product " + item.name + " is being installed/modified/repaired.\n");
  if (!PathExists(p, item.path)) {
    WriteRunLog(ctx, "File " + item.path + " was not found.\n\n");
    const std::string& alt = ctx.options.altSource;
    if (!alt.empty()) {
      const std::string lower = MbLower(cp, item.path);
      size_t last = MbFindLast(cp, lower, '\\');
      if (last != std::string::npos) {
        const std::string part = lower.substr(last);
        if (ctx.options.verboseTrace) WriteRunLog(ctx, "looking for " + part + " under " + alt + "\n");
        std::string found = FindInSubfolders(ctx, alt, part);
        if (ctx.options.verboseTrace) WriteRunLog(ctx, "is it @ " + found + "?\n");
        if (!found.empty()) item.path = found;
      }
    }
  }
  if (!PathExists(p, item.path)) {
    WriteRunLog(ctx, "Giving up. File " + item.path + " was not found.\n");
    return;
  }
  const std::string lower = MbLower(cp, item.path);
  if (MbFind(cp, lower, "isscript") != std::string::npos) {
    // A script-engine package installs through the setup program beside it.
    size_t last = MbFindLast(cp, lower, '\\');
    const std::string setup = (last == std::string::npos ? std::string() : lower.substr(0, last) + "\\") + "setup.exe";
    if (!PathExists(p, setup)) return;
    const std::string started = QuoteProgramPath(ctx, setup);
    if (!CommandLineFits(ctx, started)) return;
    WriteRunLog(ctx, "Launching " + started + ".\n");
    LogLaunchResult(ctx, RunProcess(p, started, true));
    return;
  }
  WriteRunLog(ctx, "Launching: " + item.parameter + "\n\n");
  uint32_t rc = p.installer.InstallProduct(item.path, item.parameter);
  ClassifyResult(ctx, item, rc, true, true);
}

void StartProgram(RunContext& ctx, Item& item) {
  Platform& p = ctx.platform;
  const CodePage& cp = p.codePage;
  WriteRunLog(ctx, "Non-Msi process is being launched.\n");
  if (!PathExists(p, item.path)) {
    WriteRunLog(ctx, "File " + item.path + " was not found.\n");
    if (!ctx.options.altSource.empty()) item.path = RelocateProgram(ctx, item.path);
  }
  if (MbEqualNoCase(cp, item.path, "msiexec.exe") && !ctx.options.altSource.empty()) {
    item.parameter = RelocateMsiexecPackage(ctx, item.parameter);
  }
  const std::string commandLine = BuildProgramCommandLine(ctx, item.path, item.parameter);
  if (!CommandLineFits(ctx, commandLine)) return;
  if (MbFind(cp, MbLower(cp, item.path), "msde2ksp3\\setup.exe") != std::string::npos) {
    RunMsdeSetup(ctx, commandLine);
    return;
  }
  WriteRunLog(ctx, "Launching: ");
  WriteRunLog(ctx, commandLine + "\n\n");
  LogLaunchResult(ctx, RunProcess(p, commandLine, true));
}

// One pass; false when the item's product reads empty and the pass ends the
// loop.
bool LaunchItem(RunContext& ctx) {
  Platform& p = ctx.platform;
  const CodePage& cp = p.codePage;
  Item item;
  item.number = ++ctx.itemIndex;
  InstallItem read = ReadItem(p, ctx.options.responseFile, item.number);
  item.path = read.product;
  item.parameter = read.parameter;

  if (!MbEqualNoCase(cp, item.path, "msiexec.exe") &&
      (!PathExists(p, item.path) || !ctx.options.altSource.empty())) {
    item.path = LocatePackage(ctx, item.path);
  }
  if (IsRedistributable(cp, item.path)) {
    item.path = StageRedistributable(ctx, item.path, item.number, ctx.plan.itemCount);
  }
  if (item.path.empty()) return false;

  const ItemKind kind = KindOf(cp, item.path);
  if (kind == ItemKind::Program) {
    item.name = item.path;
  } else {
    item.name = GetPackageProperty(p, item.path, "ProductName");
    item.version = GetPackageProperty(p, item.path, "ProductVersion");
  }
  if (ctx.options.interactive) {
    // The step first, so that the one repaint of SetStatus shows both.
    SetStep(ctx, item.number, ctx.plan.itemCount);
    SetStatus(ctx, "Norvasoft Installer is configuring " + item.name + ". Please wait...");
  }
  if (MsiLoggingWanted(ctx)) {
    p.installer.EnableLog(kMsiLogMode, BuildMsiLogPath(ctx, item.path), INSTALLLOGATTRIBUTES_FLUSHEACHLINE);
  }
  WriteRunLog(ctx, MakeTimeStamp(ctx) + " PRODUCT" + std::to_string(item.number) + " " + item.path + " launched.\n");

  switch (kind) {
    case ItemKind::ProductCode:
      RemoveProduct(ctx, item);
      break;
    case ItemKind::Package:
      InstallPackage(ctx, item);
      break;
    case ItemKind::Program:
      StartProgram(ctx, item);
      break;
  }
  return true;
}

}  // namespace

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
