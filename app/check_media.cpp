#include "app/check_media.h"

#include "app/command_line.h"
#include "app/run_context.h"
#include "launch/launch_loop.h"
#include "launch/package_property.h"
#include "platform/text.h"
#include "response/install_plan.h"
#include "response/response_file.h"
#include "status/run_log.h"

namespace nv {

namespace {

// The user interface of a console check: a message becomes a line on the
// error output, and no dialog ever opens (a response file that cannot be
// found is an error, not a question). Everything else is the real one.
class ConsoleUi : public Ui {
 public:
  explicit ConsoleUi(std::string* err) : err_(err) {}
  int ShowMessageBox(Owner, WindowHandle, const std::string& text, const std::string&, uint32_t) override {
    err_->append(text + "\n");
    return IDOK;
  }
  bool ShowOpenFileDialog(const OpenFileRequest&, std::string* path) override {
    path->clear();
    return false;
  }
  WindowHandle CreateStatusDialog(InstanceHandle, const std::string&) override { return nullptr; }
  void SetItemText(WindowHandle, int, const std::string&) override {}
  void Repaint(WindowHandle) override {}
  void DestroyStatusDialog(WindowHandle) override {}
  void ShowWaitCursor() override {}

 private:
  std::string* err_;
};

const char* KindText(ItemKind kind) {
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

// Only the switches that change what a run finds: the response file, the
// alternative source and the search trace. Each is read by the run's own
// parser, so it means what it means to a run.
bool ReadCheckOptions(RunContext& ctx, const std::vector<std::string>& args) {
  const CodePage& cp = ctx.platform.codePage;
  for (const std::string& arg : args) {
    RunOptions one;
    if (ParseCommandLine(cp, {arg}, ctx.programDir, &one) != ParseResult::kOk) return false;
    RunOptions defaults;
    defaults.responseFile = one.responseFile;
    defaults.verboseTrace = one.verboseTrace;
    defaults.altSource = one.altSource;
    bool onlyAllowed = one.interactive == defaults.interactive && one.msiLogging == defaults.msiLogging &&
                       one.statusMif == defaults.statusMif && one.rebootMode == defaults.rebootMode &&
                       one.removeAll == defaults.removeAll && one.logFile == defaults.logFile;
    if (!onlyAllowed) return false;
    if (!one.responseFile.empty()) ctx.options.responseFile = one.responseFile;
    if (one.verboseTrace) ctx.options.verboseTrace = true;
    if (!one.altSource.empty()) ctx.options.altSource = one.altSource;
  }
  return true;
}

void Line(std::string* out, const std::string& key, const std::string& value) {
  out->append(key + ": " + value + "\n");
}

// One item's block; true when the item would be skipped or fail to start.
bool ReportItem(RunContext& ctx, const ItemDecision& d, std::string* out) {
  Platform& p = ctx.platform;
  Line(out, "item", std::to_string(d.number));
  Line(out, "written", d.written);
  if (!d.mediaPath.empty() && d.mediaPath != d.path) Line(out, "media path", d.mediaPath);
  Line(out, "path", d.path);
  Line(out, "rule", d.rule);
  Line(out, "kind", KindText(d.kind));
  bool fails = !d.found;
  switch (d.kind) {
    case ItemKind::ProductCode:
      Line(out, "status", d.found ? "installed" : "not installed");
      if (d.found) Line(out, "product name", d.name);
      break;
    case ItemKind::Package:
    case ItemKind::ScriptEnginePackage:
      Line(out, "status", d.found ? "found" : "missing");
      if (!d.found) break;
      // Read from the package that would be installed, wherever it was found.
      Line(out, "product name", GetPackageProperty(p, d.path, "ProductName"));
      Line(out, "product version", GetPackageProperty(p, d.path, "ProductVersion"));
      Line(out, "product prefix", GetPackageProperty(p, d.path, "NVProductPrefix"));
      if (d.kind == ItemKind::ScriptEnginePackage) {
        Line(out, "setup", d.setupPath.empty() ? "missing" : d.commandLine);
        fails = fails || d.setupPath.empty() || d.tooLong;
      } else {
        Line(out, "parameters", d.parameter);
      }
      break;
    default:
      Line(out, "status", d.found ? "found" : "missing");
      Line(out, "command line", d.tooLong ? "too long to be started (" + std::to_string(d.commandLine.size()) +
                                                  " characters)"
                                            : d.commandLine);
      fails = fails || d.tooLong;
      break;
  }
  if (ctx.options.verboseTrace) {
    for (const std::string* lines : {&d.logBeforeHeader, &d.logAfterHeader}) {
      size_t start = 0;
      while (start < lines->size()) {
        size_t end = lines->find('\n', start);
        if (end == std::string::npos) end = lines->size();
        if (end > start) Line(out, "trace", lines->substr(start, end - start));
        start = end + 1;
      }
    }
  }
  out->append("\n");
  return fails;
}

}  // namespace

std::string BuildCheckUsageText() {
  return "Usage: NvCheckMedia.exe \"[\\\\deploysrv\\NorvaSuite\\]MyInstall.xml\" "
         "[altsource=\"\\\\mirrorsrv\\NorvaMedia\"] [/v]\n\n"
         "Shows, for every item of the response file, what NvRunUnattended.exe would find and start,\n"
         "without installing, copying or starting anything.\n\n"
         "altsource - Alternative install media location (altsource=. is the folder of this program)\n"
         "/v - Also show every place that is searched\n\n"
         "Exit code: 0 when every item is found, else the number of items that would be skipped or\n"
         "fail to start; 10001 for an unknown option, 10002 when the response file is missing,\n"
         "10003 for invalid entries in the response file.\n";
}

int32_t CheckMedia(Platform& platform, const std::vector<std::string>& args, std::string* out, std::string* err) {
  ConsoleUi ui(err);
  Platform checked{platform.files,     platform.registry, platform.installer, platform.shell,
                   platform.processes, ui,                platform.system,    platform.codePage};
  RunContext ctx(checked);
  ctx.programDir = ProgramDirFromModulePath(platform.codePage, platform.files.ModuleFileName());
  ctx.tempDir = TemporaryFolder(platform);
  if (!ReadCheckOptions(ctx, args)) {
    err->append(BuildCheckUsageText());
    return kCheckUsageError;
  }
  if (!LocateResponseFile(ctx)) return kCheckNoResponseFile;
  // No run log is open: the counting pass's lines are dropped, and its only
  // message (invalid entries) goes to the error output.
  if (!BuildInstallPlan(ctx)) return kCheckInvalidEntries;
  Line(out, "response file", ctx.options.responseFile);
  Line(out, "core directory", ctx.plan.coreDir);
  Line(out, "media prefix", ctx.plan.mediaPrefix);
  Line(out, "alternative source", ctx.options.altSource);
  out->append("\n");
  int32_t failing = 0;
  int items = 0;
  for (int n = 1;; ++n) {
    ItemDecision d = DecideItem(ctx, n);
    if (d.end) break;
    ++items;
    if (ReportItem(ctx, d, out)) ++failing;
  }
  out->append("summary: " + std::to_string(items) + " items, " + std::to_string(items - failing) + " found, " +
              std::to_string(failing) + " missing or failing\n");
  return failing;
}

}  // namespace nv
