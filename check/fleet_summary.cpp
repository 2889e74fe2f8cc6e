#include "check/fleet_summary.h"

#include <algorithm>
#include <map>
#include <utility>
#include <vector>

#include "platform/text.h"
#include "status/json_text.h"
#include "status/result_file.h"

namespace nv {

namespace {

// A result file holds at most this much; a bigger one is no result file.
constexpr size_t kMaxDocumentBytes = 16 * 1024 * 1024;
// Each failure code names at most this many computers.
constexpr size_t kComputersPerFailure = 10;
constexpr size_t kOutcomes = sizeof(kOutcomeNames) / sizeof(kOutcomeNames[0]);

struct ItemSeen {
  int64_t item = 0;
  std::string product, outcome;
  int64_t returnValue = 0;
};

// What one result document says, once its shape has been checked.
struct RunSeen {
  std::string computer;
  bool finished = false;
  int64_t exitCode = 0;
  std::string restart;
  std::vector<ItemSeen> items;
};

struct Failure {
  int64_t count = 0;
  std::vector<std::string> computers;
};

struct ItemTally {
  int64_t counts[kOutcomes] = {};
  std::map<int64_t, Failure> failures;  // by return value
};

struct Fleet {
  int64_t total = 0, finished = 0, notFinished = 0, unreadable = 0, failing = 0;
  std::map<int64_t, int64_t> exitCodes;
  std::map<std::pair<int64_t, std::string>, ItemTally> items;  // by item number and product
  std::vector<std::string> restartPending, unreadableFiles;
  std::vector<std::pair<std::string, int64_t>> notFinishedRuns;  // computer, last item
};

bool ReadWholeFile(FileSystem& files, const std::string& path, std::string* text) {
  std::unique_ptr<TextReader> reader = files.OpenText(path);
  if (!reader) return false;
  std::string line;
  while (reader->ReadLine(64 * 1024, &line)) {
    text->append(line);
    if (text->size() > kMaxDocumentBytes) break;
  }
  const bool failed = reader->ReadFailed() || text->size() > kMaxDocumentBytes;
  reader->Close();
  return !failed;
}

int OutcomeIndex(const std::string& text) {
  for (size_t i = 0; i < kOutcomes; ++i) {
    if (text == kOutcomeNames[i].text) return static_cast<int>(i);
  }
  return -1;
}

// The document's fields that the summary uses, each of its type; false on
// any other shape, so that a stray file is counted as unreadable.
bool ReadRun(const Json& doc, RunSeen* run) {
  int64_t schema = 0;
  std::string state;
  if (!JsonInteger(doc, "schema", &schema) || schema != 1 || !JsonString(doc, "computer", &run->computer) ||
      !JsonString(doc, "state", &state) || !JsonString(doc, "restart", &run->restart)) {
    return false;
  }
  if (state != "finished" && state != "running") return false;
  run->finished = state == "finished";
  if (run->finished && !JsonInteger(doc, "exitCode", &run->exitCode)) return false;
  const Json* items = JsonMember(doc, "items");
  if (items == nullptr || !items->is_array()) return false;
  for (const Json& item : *items) {
    ItemSeen seen;
    if (!JsonInteger(item, "item", &seen.item) || !JsonString(item, "product", &seen.product) ||
        !JsonString(item, "outcome", &seen.outcome) || !JsonInteger(item, "returnValue", &seen.returnValue) ||
        OutcomeIndex(seen.outcome) < 0) {
      return false;
    }
    run->items.push_back(std::move(seen));
  }
  return true;
}

bool FinishedWell(int64_t exitCode) {
  return exitCode == 0 || exitCode == ERROR_SUCCESS_REBOOT_REQUIRED || exitCode == ERROR_SUCCESS_REBOOT_INITIATED;
}

void AddRun(const RunSeen& run, Fleet* fleet) {
  for (const ItemSeen& item : run.items) {
    ItemTally& tally = fleet->items[{item.item, item.product}];
    const int index = OutcomeIndex(item.outcome);
    ++tally.counts[index];
    if (kOutcomeNames[index].outcome == ItemOutcome::Succeeded ||
        kOutcomeNames[index].outcome == ItemOutcome::RestartNeeded) {
      continue;
    }
    Failure& failure = tally.failures[item.returnValue];
    ++failure.count;
    if (failure.computers.size() < kComputersPerFailure) failure.computers.push_back(run.computer);
  }
  if (!run.finished) {
    ++fleet->notFinished;
    ++fleet->failing;
    fleet->notFinishedRuns.emplace_back(run.computer, run.items.empty() ? 0 : run.items.back().item);
    return;
  }
  ++fleet->finished;
  ++fleet->exitCodes[run.exitCode];
  if (!FinishedWell(run.exitCode)) ++fleet->failing;
  // A restart that was needed and did not happen: the computer still waits.
  if (run.restart == "pending" || run.restart == "suppressed") fleet->restartPending.push_back(run.computer);
}

// Exit codes, the most frequent first.
std::vector<std::pair<int64_t, int64_t>> ByCount(const std::map<int64_t, int64_t>& codes) {
  std::vector<std::pair<int64_t, int64_t>> sorted(codes.begin(), codes.end());
  std::stable_sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
  return sorted;
}

std::vector<std::pair<int64_t, const Failure*>> FailuresByCount(const ItemTally& tally) {
  std::vector<std::pair<int64_t, const Failure*>> sorted;
  for (const auto& [code, failure] : tally.failures) sorted.emplace_back(code, &failure);
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const auto& a, const auto& b) { return a.second->count > b.second->count; });
  return sorted;
}

std::string Joined(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
  return text;
}

// The text summary. Names from the documents are shown as they are stored
// there, in UTF-8; file names as Windows gives them.
std::string RenderText(const std::string& folder, const Fleet& f) {
  std::string out = "results folder: " + folder + "\n";
  out += "computers: " + std::to_string(f.total) + " (finished " + std::to_string(f.finished) + ", not finished " +
         std::to_string(f.notFinished) + ", unreadable " + std::to_string(f.unreadable) + ")\n";
  std::string codes;
  for (const auto& [code, count] : ByCount(f.exitCodes)) {
    codes += (codes.empty() ? "" : ", ") + std::to_string(code) + " x" + std::to_string(count);
  }
  out += "exit codes: " + (codes.empty() ? std::string("none") : codes) + "\n";
  for (const auto& [key, tally] : f.items) {
    std::string counts;
    for (size_t i = 0; i < kOutcomes; ++i) {
      if (tally.counts[i] == 0) continue;
      counts += (counts.empty() ? "" : ", ") + std::to_string(tally.counts[i]) + " " + kOutcomeNames[i].text;
    }
    std::string failures;
    for (const auto& [code, failure] : FailuresByCount(tally)) {
      failures += (failures.empty() ? "" : "; ") + std::to_string(code) + ": " + Joined(failure->computers);
      if (failure->count > static_cast<int64_t>(failure->computers.size())) {
        failures += " and " + std::to_string(failure->count - static_cast<int64_t>(failure->computers.size())) +
                    " more";
      }
    }
    out += "item " + std::to_string(key.first) + " " + key.second + ": " + counts +
           (failures.empty() ? "" : " (" + failures + ")") + "\n";
  }
  out += "restart pending: " + std::to_string(f.restartPending.size()) +
         (f.restartPending.empty() ? "" : " (" + Joined(f.restartPending) + ")") + "\n";
  std::vector<std::string> notFinished;
  for (const auto& [computer, lastItem] : f.notFinishedRuns) {
    notFinished.push_back(computer + (lastItem == 0 ? " (before item 1)" : " (after item " + std::to_string(lastItem) + ")"));
  }
  out += "not finished: " + (notFinished.empty() ? std::string("none") : Joined(notFinished)) + "\n";
  out += "unreadable: " + (f.unreadableFiles.empty() ? std::string("none") : Joined(f.unreadableFiles)) + "\n";
  return out;
}

std::string RenderJson(const CodePage& cp, const std::string& folder, const Fleet& f) {
  Json doc = {{"folder", Utf8(cp, folder)},
              {"computers",
               {{"total", f.total}, {"finished", f.finished}, {"notFinished", f.notFinished}, {"unreadable", f.unreadable}}}};
  Json& codes = doc["exitCodes"] = Json::object();
  for (const auto& [code, count] : ByCount(f.exitCodes)) codes[std::to_string(code)] = count;
  Json& items = doc["items"] = Json::array();
  for (const auto& [key, tally] : f.items) {
    Json item = {{"item", key.first}, {"product", key.second}};
    for (size_t i = 0; i < kOutcomes; ++i) item[kOutcomeNames[i].key] = tally.counts[i];
    Json& failures = item["failures"] = Json::array();
    for (const auto& [code, failure] : FailuresByCount(tally)) {
      failures.push_back({{"returnValue", code}, {"count", failure->count}, {"computers", failure->computers}});
    }
    items.push_back(std::move(item));
  }
  doc["restartPending"] = f.restartPending;
  Json& notFinished = doc["notFinished"] = Json::array();
  for (const auto& [computer, lastItem] : f.notFinishedRuns) {
    notFinished.push_back({{"computer", computer}, {"lastItem", lastItem}});
  }
  Json& unreadable = doc["unreadable"] = Json::array();
  for (const std::string& name : f.unreadableFiles) unreadable.push_back(Utf8(cp, name));
  return JsonText(doc);
}

}  // namespace

int32_t SummariseFleet(Platform& platform, const std::string& folder, bool json, std::string* out) {
  const CodePage& cp = platform.codePage;
  const std::string base = MbTrimRightChar(cp, folder, '\\');
  // A folder's listing holds at least "." and "..": one that gives nothing
  // is missing, no folder, or refused, and a summary of no computers would
  // pass a rollout that nobody could see.
  const std::vector<FindEntry> entries = platform.files.Find(base + "\\*");
  if (base.empty() || entries.empty()) return kCheckFolderUnreadable;
  std::vector<std::string> names;
  for (const FindEntry& entry : entries) {
    if (!entry.IsDirectory() && MbEndsWithNoCase(cp, entry.name, ".json")) names.push_back(entry.name);
  }
  std::sort(names.begin(), names.end());
  Fleet fleet;
  for (const std::string& name : names) {
    ++fleet.total;
    std::string text;
    RunSeen run;
    if (!ReadWholeFile(platform.files, base + "\\" + name, &text) || !ReadRun(ParseJson(text), &run)) {
      ++fleet.unreadable;
      ++fleet.failing;
      fleet.unreadableFiles.push_back(name);
      continue;
    }
    if (run.computer.empty()) run.computer = name.substr(0, name.size() - 5);
    AddRun(run, &fleet);
  }
  out->append(json ? RenderJson(cp, folder, fleet) : RenderText(folder, fleet));
  return static_cast<int32_t>(std::min<int64_t>(fleet.failing, kFleetCountCap));
}

}  // namespace nv
