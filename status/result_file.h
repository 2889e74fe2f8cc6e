#pragma once
// The result file (result=PATH): one small JSON document per run that a
// management agent or a share collects, telling how far the run got, what
// each item did and how it ended. It is rewritten whole after every item or
// removal, so a run that is killed or cut by a restart still leaves a record
// of how far it got. Items' parameters are never written: they may hold
// passwords.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace nv {

struct RunContext;

// What became of one item or removal.
enum class ItemOutcome { Succeeded, RestartNeeded, Failed, NotFound, Skipped, TimedOut };

// Each outcome's text in a result document and its key in the media
// check's summary, in the order of ItemOutcome.
struct OutcomeNames {
  ItemOutcome outcome;
  const char* text;
  const char* key;
};
constexpr OutcomeNames kOutcomeNames[] = {
    {ItemOutcome::Succeeded, "succeeded", "succeeded"},
    {ItemOutcome::RestartNeeded, "restart needed", "restartNeeded"},
    {ItemOutcome::Failed, "failed", "failed"},
    {ItemOutcome::NotFound, "not found", "notFound"},
    {ItemOutcome::Skipped, "skipped", "skipped"},
    {ItemOutcome::TimedOut, "timed out", "timedOut"},
};

// The outcome of an installer call's result: 0 succeeded, 3010 a restart
// needed, anything else failed.
ItemOutcome OutcomeOfResult(uint32_t result);

struct ItemRecord {
  int item = 0;
  std::string product;       // PRODUCTn as read, or the product code removed
  std::string name;          // product name or title; may be empty
  std::string kind;          // "package", "product code", ..., "removal"
  std::string path;          // what was started or removed, never its parameters
  int64_t returnValue = 0;
  ItemOutcome outcome = ItemOutcome::Succeeded;
  double seconds = 0;
  std::string installerLog;  // the Windows Installer log, or empty
};

// The run's restart, as far as it is known.
enum class RestartState { None, Pending, Started, Suppressed };

struct ResultFile {
  std::string path;            // after expansion; empty: no result file
  std::string started;         // when the first document was written
  std::vector<ItemRecord> items;
  RestartState restart = RestartState::None;
  bool finished = false;
  int32_t runExitCode = 0;     // the run's own code, before /rebootcodes
  int32_t exitCode = 0;        // what the process ends with
  bool failureLogged = false;  // one log line for the first failed write
  uint32_t itemStartTick = 0;  // TickCount when the current item began
};

// Settles the path from result= (environment variables expanded) and
// writes the first document, "running". Call once the run log is open.
void StartResultFile(RunContext& ctx);

// Marks the start of an item or removal, for its seconds.
void BeginResultItem(RunContext& ctx);

// Adds an item's record (its seconds from BeginResultItem) and rewrites the
// document.
void RecordResultItem(RunContext& ctx, ItemRecord record);

// The restart the run is about to make, or has declined; rewrites the
// document.
void RecordRestart(RunContext& ctx, RestartState restart);

// The run ends with exitCode: "finished". The restart is settled from what
// the run did, unless already "started" or "suppressed".
void FinishResultFile(RunContext& ctx, int32_t exitCode);

// The document as it stands now (for the tests and the writes).
std::string ResultDocument(RunContext& ctx);

}  // namespace nv
