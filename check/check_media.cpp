#include "check/check_media.h"

#include "app/command_line.h"
#include "app/run_context.h"
#include "check/check_details.h"
#include "check/deployment_kit.h"
#include "check/fleet_summary.h"
#include "deploy/shell_helpers.h"
#include "launch/launch_loop.h"
#include "launch/package_property.h"
#include "platform/text.h"
#include "response/install_plan.h"
#include "response/response_file.h"
#include "status/json_text.h"
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

// The check's own switches, beside those it shares with a run.
struct CheckSwitches {
  bool signedOnly = false;   // /signed: a file without a valid signature fails
  bool json = false;         // /json: the report as one JSON document
  std::string kitFolder;     // /kit=FOLDER: write the deployment kit there
  std::string fleetFolder;   // /fleet=FOLDER: summarise the result files there instead
};

// True when arg is one of the check's own switches (read into *s).
bool ReadCheckSwitch(const CodePage& cp, const std::string& arg, CheckSwitches* s) {
  if (MbEqualNoCase(cp, arg, "/signed")) {
    s->signedOnly = true;
    return true;
  }
  if (MbEqualNoCase(cp, arg, "/json")) {
    s->json = true;
    return true;
  }
  if (arg.size() > 5 && MbEqualNoCase(cp, arg.substr(0, 5), "/kit=")) {
    s->kitFolder = arg.substr(5);
    return true;
  }
  if (arg.size() > 7 && MbEqualNoCase(cp, arg.substr(0, 7), "/fleet=")) {
    s->fleetFolder = arg.substr(7);
    return true;
  }
  return false;
}

// True when the arguments ask for a fleet summary (/fleet=FOLDER); it takes
// /json and nothing else, and no response file is looked for. *code is 0,
// or kCheckUsageError for any other argument.
bool ReadFleetOptions(const CodePage& cp, const std::vector<std::string>& args, CheckSwitches* switches,
                      int32_t* code) {
  CheckSwitches read;
  bool other = false;
  for (const std::string& arg : args) {
    CheckSwitches one;
    if (ReadCheckSwitch(cp, arg, &one) && (one.json || !one.fleetFolder.empty())) {
      read.json = read.json || one.json;
      if (!one.fleetFolder.empty()) read.fleetFolder = one.fleetFolder;
    } else {
      other = true;
    }
  }
  if (read.fleetFolder.empty()) return false;
  *switches = read;
  *code = other ? kCheckUsageError : 0;
  return true;
}

// The check's own switches (ReadCheckSwitch), and every switch of a run, so
// that an administrator can paste the run's own command line. Each is read
// by the run's own parser, so it means what it means to a run; only those
// that change what a run finds are kept (the response file, the alternative
// source and the search trace), the others (/S, /I, /L, /M, the reboot
// switches, logfile=, busywait=, itemtimeout=, /rebootcodes) are ignored. /removeall is
// refused: it has no media to check.
bool ReadCheckOptions(RunContext& ctx, const std::vector<std::string>& args, CheckSwitches* switches) {
  const CodePage& cp = ctx.platform.codePage;
  for (const std::string& arg : args) {
    if (ReadCheckSwitch(cp, arg, switches)) continue;
    RunOptions one;
    if (ParseCommandLine(cp, {arg}, ctx.programDir, &one) != ParseResult::kOk) return false;
    if (one.removeAll) return false;
    if (!one.responseFile.empty()) ctx.options.responseFile = one.responseFile;
    if (one.verboseTrace) ctx.options.verboseTrace = true;
    if (!one.altSource.empty()) ctx.options.altSource = one.altSource;
  }
  return true;
}

// The report: "key: value" lines, or the same keys in lower camel case in
// one JSON document.
struct Field {
  std::string key, value;
};

struct ItemReport {
  int number = 0;
  bool failing = false;  // skipped or failing in a run (or unsigned under /signed)
  bool perUser = false;  // a package that installs for the running user only
  std::vector<Field> fields;
  std::vector<std::string> trace;
};

struct Tally {
  int items = 0, failing = 0, signedCount = 0, unsignedCount = 0, untrusted = 0;
};

std::string CamelCase(const std::string& key) {
  std::string out;
  bool upper = false;
  for (char c : key) {
    if (c == ' ') {
      upper = true;
      continue;
    }
    out.push_back(upper && c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c);
    upper = false;
  }
  return out;
}

// The signature of a found file, counted in the tally; true when /signed
// makes the item fail.
bool AddSignature(Platform& p, Trust& trust, const std::string& path, bool signedOnly, ItemReport* r, Tally* t) {
  const SignatureCheck check = CheckSignature(p, trust, path);
  r->fields.push_back({"signature", check.text});
  switch (check.kind) {
    case SignatureKind::Valid:
      ++t->signedCount;
      return false;
    case SignatureKind::None:
      ++t->unsignedCount;
      break;
    default:
      ++t->untrusted;
      break;
  }
  return signedOnly;
}

// What a package will do here; its identity goes to the kit. A package
// without ALLUSERS 1 or 2 installs for the running user: under an agent's
// system account, for nobody who logs on.
void AddState(Platform& p, const std::string& package, ItemReport* r, std::vector<PackageIdentity>* kit) {
  PackageIdentity id = ReadPackageIdentity(p, package);
  const std::string state = DescribePackageState(p, id);
  if (!state.empty()) r->fields.push_back({"state", state});
  const std::string allUsers = GetPackageProperty(p, package, "ALLUSERS");
  if (allUsers != "1" && allUsers != "2") {
    r->perUser = true;
    r->fields.push_back({"note", "installs for the running user only (no ALLUSERS=1); under an agent's SYSTEM "
                                 "account nobody else will see it"});
  }
  kit->push_back(id);
}

// One item's report; true when the item would be skipped or fail to start
// (or, with /signed, carries no valid signature).
bool ReportItem(RunContext& ctx, Trust& trust, const CheckSwitches& sw, const ItemDecision& d, ItemReport* r,
                Tally* tally, std::vector<PackageIdentity>* kit) {
  Platform& p = ctx.platform;
  auto line = [r](const std::string& key, const std::string& value) { r->fields.push_back({key, value}); };
  r->number = d.number;
  line("written", d.written);
  if (!d.mediaPath.empty() && d.mediaPath != d.path) line("media path", d.mediaPath);
  line("path", d.path);
  line("rule", d.rule);
  line("kind", ItemKindText(d.kind));
  bool fails = !d.found;
  switch (d.kind) {
    case ItemKind::ProductCode:
      line("status", d.found ? "installed" : "not installed");
      if (d.found) line("product name", d.name);
      break;
    case ItemKind::Package:
    case ItemKind::ScriptEnginePackage:
      line("status", d.found ? "found" : "missing");
      if (!d.found) break;
      // Read from the package that would be installed, wherever it was found.
      line("product name", GetPackageProperty(p, d.path, "ProductName"));
      line("product version", GetPackageProperty(p, d.path, "ProductVersion"));
      line("product prefix", GetPackageProperty(p, d.path, "NVProductPrefix"));
      AddState(p, d.path, r, kit);
      if (d.kind == ItemKind::ScriptEnginePackage) {
        line("setup", d.setupPath.empty() ? "missing" : d.commandLine);
        fails = fails || d.setupPath.empty() || d.tooLong;
        // What runs is the setup program beside the package.
        if (!d.setupPath.empty() && AddSignature(p, trust, d.setupPath, sw.signedOnly, r, tally)) fails = true;
      } else {
        line("parameters", d.parameter);
        if (AddSignature(p, trust, d.path, sw.signedOnly, r, tally)) fails = true;
      }
      break;
    default: {
      line("status", d.found ? "found" : "missing");
      line("command line", d.tooLong ? "too long to be started (" + std::to_string(d.commandLine.size()) +
                                           " characters)"
                                     : d.commandLine);
      fails = fails || d.tooLong;
      // msiexec.exe is signed through the system's catalog: what counts is
      // the package it installs.
      std::string checked = d.mediaPath.empty() ? d.path : d.mediaPath;
      if (MbEqualNoCase(p.codePage, d.path, "msiexec.exe")) {
        checked = MsiexecPackage(p.codePage, d.parameter);
        if (checked.empty()) break;
        line("package", checked);
        if (!PathExists(p, checked)) {
          // msiexec.exe would start, and fail at once.
          line("package status", "missing");
          fails = true;
          break;
        }
        AddState(p, checked, r, kit);
      } else if (!d.found) {
        break;
      }
      if (AddSignature(p, trust, checked, sw.signedOnly, r, tally)) fails = true;
      break;
    }
  }
  if (ctx.options.verboseTrace) {
    for (const std::string* lines : {&d.logBeforeHeader, &d.logAfterHeader}) {
      size_t start = 0;
      while (start < lines->size()) {
        size_t end = lines->find('\n', start);
        if (end == std::string::npos) end = lines->size();
        if (end > start) r->trace.push_back(lines->substr(start, end - start));
        start = end + 1;
      }
    }
  }
  return fails;
}

std::string SummaryText(const Tally& t) {
  return "summary: " + std::to_string(t.items) + " items, " + std::to_string(t.items - t.failing) + " found, " +
         std::to_string(t.failing) + " missing or failing; " + std::to_string(t.signedCount) + " signed, " +
         std::to_string(t.unsignedCount) + " unsigned, " + std::to_string(t.untrusted) + " untrusted\n";
}

std::string RenderText(const std::vector<Field>& head, const std::vector<ItemReport>& items, const Tally& t) {
  std::string out;
  auto line = [&out](const std::string& key, const std::string& value) { out += key + ": " + value + "\n"; };
  for (const Field& f : head) line(f.key, f.value);
  out += "\n";
  for (const ItemReport& r : items) {
    line("item", std::to_string(r.number));
    for (const Field& f : r.fields) line(f.key, f.value);
    for (const std::string& trace : r.trace) line("trace", trace);
    out += "\n";
  }
  return out + SummaryText(t);
}

std::string RenderJson(const CodePage& cp, const std::vector<Field>& head, const std::vector<ItemReport>& items,
                       const Tally& t) {
  Json doc = Json::object();
  for (const Field& f : head) doc[CamelCase(f.key)] = Utf8(cp, f.value);
  Json& list = doc["items"] = Json::array();
  for (const ItemReport& r : items) {
    Json item = {{"item", r.number}};
    for (const Field& f : r.fields) item[CamelCase(f.key)] = Utf8(cp, f.value);
    if (!r.trace.empty()) {
      Json& trace = item["trace"] = Json::array();
      for (const std::string& line : r.trace) trace.push_back(Utf8(cp, line));
    }
    list.push_back(std::move(item));
  }
  doc["summary"] = {{"items", t.items},          {"found", t.items - t.failing},
                    {"missingOrFailing", t.failing}, {"signed", t.signedCount},
                    {"unsigned", t.unsignedCount}, {"untrusted", t.untrusted}};
  return JsonText(doc);
}

// The response file as the install command names it: by its name alone
// when it lies next to the programs, as the run then finds it in the
// agent's copy of the media.
std::string ResponseForCommand(RunContext& ctx) {
  const CodePage& cp = ctx.platform.codePage;
  std::string response = ctx.options.responseFile;
  const size_t last = MbFindLast(cp, response, '\\');
  if (last != std::string::npos && MbEqualNoCase(cp, response.substr(0, last + 1), ctx.programDir)) {
    response = response.substr(last + 1);
  }
  return response;
}

// A kit from media that a run would not install whole would report success
// on computers that lack a package: the items that stop it, in one line.
std::string KitBlockers(const std::vector<ItemReport>& items) {
  std::string out;
  for (const ItemReport& r : items) {
    if (!r.failing && !r.perUser) continue;
    out += (out.empty() ? "" : "; ") + std::string("item ") + std::to_string(r.number) +
           (r.failing ? " is missing or failing" : " installs for the running user only");
  }
  return out.empty() ? out : "No kit is written: " + out + ".";
}

}  // namespace

std::string BuildCheckUsageText() {
  return "Usage: NvCheckMedia.exe \"[\\\\deploysrv\\NorvaSuite\\]MyInstall.xml\" "
         "[altsource=\"\\\\mirrorsrv\\NorvaMedia\"] [/v] [/signed] [/json] [/kit=FOLDER]\n"
         "       NvCheckMedia.exe /fleet=FOLDER [/json]\n\n"
         "Shows, for every item of the response file, what NvRunUnattended.exe would find and start,\n"
         "what each package will do on this computer and whether each file is signed,\n"
         "without installing, copying or starting anything.\n\n"
         "altsource - Alternative install media location (altsource=. is the folder of this program)\n"
         "/v - Also show every place that is searched\n"
         "/signed - Count a file without a valid signature as failing\n"
         "/json - Write the report as one JSON document\n"
         "/kit=FOLDER - Also write detect.ps1, uninstall.xml and commands.txt for a management agent;\n"
         "              only when every item is found and every package installs for all users\n"
         "/fleet=FOLDER - Summarise the result files (result=) of many runs collected in FOLDER instead\n"
         "The other switches of NvRunUnattended.exe are accepted and change nothing; /removeall is not.\n\n"
         "Exit code: 0 when every item is found, else the number of items that would be skipped or\n"
         "fail to start; 10001 for an unknown option, 10002 when the response file is missing,\n"
         "10003 for invalid entries in the response file, 10004 when the kit cannot or may not be written.\n"
         "With /fleet=: 0 when every computer finished with 0, 3010 or 1641, else the number of\n"
         "computers that did not (at most 10000); 10005 when the folder cannot be read.\n";
}

int32_t CheckMedia(Platform& platform, Trust& trust, const std::vector<std::string>& args, std::string* out,
                   std::string* err) {
  ConsoleUi ui(err);
  Platform checked{platform.files,     platform.registry, platform.installer, platform.shell,
                   platform.processes, ui,                platform.system,    platform.codePage};
  RunContext ctx(checked);
  ctx.programDir = ProgramDirFromModulePath(platform.codePage, platform.files.ModuleFileName());
  ctx.tempDir = TemporaryFolder(platform);
  CheckSwitches switches;
  if (int32_t code = 0; ReadFleetOptions(platform.codePage, args, &switches, &code)) {
    if (code == 0) return SummariseFleet(platform, switches.fleetFolder, switches.json, out);
    err->append(BuildCheckUsageText());
    return code;
  }
  if (!ReadCheckOptions(ctx, args, &switches)) {
    err->append(BuildCheckUsageText());
    return kCheckUsageError;
  }
  if (!LocateResponseFile(ctx)) return kCheckNoResponseFile;
  // No run log is open: the counting pass's lines are dropped, and its only
  // message (invalid entries) goes to the error output.
  if (!BuildInstallPlan(ctx)) return kCheckInvalidEntries;
  const std::vector<Field> head = {{"response file", ctx.options.responseFile},
                                   {"core directory", ctx.plan.coreDir},
                                   {"media prefix", ctx.plan.mediaPrefix},
                                   {"alternative source", ctx.options.altSource}};
  std::vector<ItemReport> items;
  std::vector<PackageIdentity> packages;
  Tally tally;
  for (int n = 1;; ++n) {
    ItemDecision d = DecideItem(ctx, n);
    if (d.end) break;
    ++tally.items;
    items.emplace_back();
    items.back().failing = ReportItem(ctx, trust, switches, d, &items.back(), &tally, &packages);
    if (items.back().failing) ++tally.failing;
  }
  out->append(switches.json ? RenderJson(platform.codePage, head, items, tally) : RenderText(head, items, tally));
  if (!switches.kitFolder.empty()) {
    const std::string blockers = KitBlockers(items);
    if (!blockers.empty()) {
      err->append(blockers + "\n");
      return kCheckKitNotWritten;
    }
    KitInput kit;
    kit.response = ResponseForCommand(ctx);
    kit.responseName = ctx.options.responseFile;
    kit.packages = packages;
    std::string error;
    if (!WriteDeploymentKit(platform, switches.kitFolder, kit, &error)) {
      err->append(error + "\n");
      return kCheckKitNotWritten;
    }
  }
  return tally.failing;
}

bool CheckReportIsJson(const CodePage& cp, const std::vector<std::string>& args) {
  for (const std::string& arg : args) {
    CheckSwitches one;
    if (ReadCheckSwitch(cp, arg, &one) && one.json) return true;
  }
  return false;
}

}  // namespace nv
