#include "status/result_file.h"

#include <cstdio>

#include "app/run_context.h"
#include "platform/text.h"
#include "status/json_text.h"
#include "status/reboot.h"
#include "status/run_log.h"
#include "status/version.h"

namespace nv {

namespace {

const char* OutcomeText(ItemOutcome outcome) {
  for (const OutcomeNames& names : kOutcomeNames) {
    if (names.outcome == outcome) return names.text;
  }
  return "failed";
}

const char* RestartText(RestartState restart) {
  switch (restart) {
    case RestartState::Pending:
      return "pending";
    case RestartState::Started:
      return "started";
    case RestartState::Suppressed:
      return "suppressed";
    case RestartState::None:
      break;
  }
  return "none";
}

std::string UtcStamp(System& system) {
  const LocalTime t = system.UtcNow();
  char text[32];
  snprintf(text, sizeof(text), "%04d-%02d-%02dT%02d:%02d:%02dZ", t.year, t.month, t.day, t.hour, t.minute,
           t.second);
  return text;
}

// "NvRunUnattended.exe 7.1.0.0": the program's file name and its version
// record.
std::string ProgramText(RunContext& ctx) {
  const CodePage& cp = ctx.platform.codePage;
  const std::string module = ctx.platform.files.ModuleFileName();
  const size_t last = MbFindLast(cp, module, '\\');
  const std::string name = last == std::string::npos ? module : module.substr(last + 1);
  const std::string version = GetFileVersionText(ctx.platform.files, module);
  return version.empty() ? name : name + " " + version;
}

// The restart as the run has settled it so far, when nothing has been
// recorded for it: a restart is needed and has not happened.
RestartState SettledRestart(const RunContext& ctx) {
  const RestartState recorded = ctx.result.restart;
  if (recorded != RestartState::None || !ctx.restartNeeded) return recorded;
  return ctx.options.rebootMode == -1 ? RestartState::Suppressed : RestartState::Pending;
}

// Writes the document to PATH.<process id>.tmp and puts it in PATH's place,
// so that a reader never sees half a document; where that replacement fails
// (some shares refuse it), PATH is written in place. A temporary file that
// could not be written whole leaves PATH as it was. Returns 0 or the error
// of the last step tried.
uint32_t WriteDocument(RunContext& ctx, const std::string& text) {
  FileSystem& files = ctx.platform.files;
  const std::string& path = ctx.result.path;
  const std::string temporary = path + "." + std::to_string(ctx.platform.system.ProcessId()) + ".tmp";
  const uint32_t error = files.WriteWholeFile(temporary, text);
  if (error == 0 && files.MoveReplacing(temporary, path) == 0) return 0;
  files.DeleteOneFile(temporary);
  return error != 0 ? error : files.WriteWholeFile(path, text);
}

void Write(RunContext& ctx) {
  ResultFile& result = ctx.result;
  if (result.path.empty()) return;
  const uint32_t error = WriteDocument(ctx, ResultDocument(ctx));
  if (error == 0 || result.failureLogged) return;
  // The run goes on whatever happens to its record.
  result.failureLogged = true;
  WriteRunLog(ctx, "Result file " + result.path + " could not be written. Return value is " +
                       std::to_string(static_cast<int32_t>(error)) + "\n");
}

}  // namespace

ItemOutcome OutcomeOfResult(uint32_t result) {
  if (result == ERROR_SUCCESS) return ItemOutcome::Succeeded;
  if (result == ERROR_SUCCESS_REBOOT_REQUIRED) return ItemOutcome::RestartNeeded;
  return ItemOutcome::Failed;
}

std::string ResultDocument(RunContext& ctx) {
  const ResultFile& result = ctx.result;
  Platform& p = ctx.platform;
  const CodePage& cp = p.codePage;
  Json doc = {{"schema", 1},
              {"program", Utf8(cp, ProgramText(ctx))},
              {"computer", Utf8(cp, p.system.ComputerName())},
              {"user", Utf8(cp, p.system.UserName())},
              {"commandLine", Utf8(cp, p.system.CommandLine())},
              {"mode", ctx.options.removeAll ? "removeall" : "install"}};
  if (!ctx.options.removeAll) doc["responseFile"] = Utf8(cp, ctx.options.responseFile);
  doc["runLog"] = Utf8(cp, ctx.log.path);
  doc["started"] = result.started;
  const std::string now = UtcStamp(p.system);
  doc["updated"] = now;
  doc["finished"] = result.finished ? Json(now) : Json(nullptr);
  doc["state"] = result.finished ? "finished" : "running";
  Json& items = doc["items"] = Json::array();
  for (const ItemRecord& r : result.items) {
    items.push_back({{"item", r.item},
                     {"product", Utf8(cp, r.product)},
                     {"name", Utf8(cp, r.name)},
                     {"kind", r.kind},
                     {"path", Utf8(cp, r.path)},
                     {"returnValue", r.returnValue},
                     {"outcome", OutcomeText(r.outcome)},
                     {"seconds", static_cast<double>(static_cast<int64_t>(r.seconds * 10 + 0.5)) / 10},
                     {"installerLog", Utf8(cp, r.installerLog)}});
  }
  doc["restart"] = RestartText(SettledRestart(ctx));
  doc["exitCode"] = result.finished ? Json(result.exitCode) : Json(nullptr);
  return JsonText(doc);
}

void StartResultFile(RunContext& ctx) {
  const std::string& written = ctx.options.resultFile;
  if (written.empty()) return;
  ctx.result.path = ctx.platform.system.ExpandEnvironment(written);
  ctx.result.started = UtcStamp(ctx.platform.system);
  Write(ctx);
}

void BeginResultItem(RunContext& ctx) { ctx.result.itemStartTick = ctx.platform.system.TickCount(); }

void RecordResultItem(RunContext& ctx, ItemRecord record) {
  if (ctx.result.path.empty()) return;
  // Unsigned arithmetic stays right across the tick count's wrap.
  record.seconds = (ctx.platform.system.TickCount() - ctx.result.itemStartTick) / 1000.0;
  ctx.result.items.push_back(std::move(record));
  Write(ctx);
}

void RecordRestart(RunContext& ctx, RestartState restart) {
  if (ctx.result.path.empty()) return;
  ctx.result.restart = restart;
  // The exit code the run ends with once the restart has been asked for (or
  // declined).
  ctx.result.exitCode = WithRestartCode(ctx, ctx.result.runExitCode, restart == RestartState::Started);
  Write(ctx);
}

void FinishResultFile(RunContext& ctx, int32_t exitCode) {
  if (ctx.result.path.empty()) return;
  ctx.result.finished = true;
  ctx.result.runExitCode = exitCode;
  ctx.result.exitCode = WithRestartCode(ctx, exitCode, ctx.restartRequested);
  Write(ctx);
}

}  // namespace nv
