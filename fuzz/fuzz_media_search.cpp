// The media search: LocatePackage, RelocateProgram, RelocateMsiexecPackage
// and FindInSubfolders with item paths, parameters, an alternative source, a
// core directory, a media prefix and a small folder tree (with linked
// folders) from the input. Each call must end (the fuzzer's timeout catches
// a search that does not), and what it hands back must be the path as given
// or a path that exists, found by the documented rule.
//
// Input lines (see fuzz_support.h): "c" double-byte code page, "v" verbose
// trace, "A" alternative source, "C" core directory, "M" media prefix, "w"
// current folder, "f" a file, "d" a folder, "j" a linked folder (reparse
// point whose tag cannot be read), "k" a DFS link folder (a reparse point
// that is entered), "n" path|short name, "P" an item path (LocatePackage,
// then RelocateProgram), "Q" an msiexec.exe parameter, "S" folder|suffix for
// FindInSubfolders, which must find what probing every subfolder finds.

#include <string>
#include <vector>

#include "app/run_context.h"
#include "fuzz_support.h"
#include "launch/media_search.h"
#include "launch/media_search_reference.h"
#include "platform/fake/fake_platform.h"
#include "status/run_log.h"

namespace nv {
namespace {

using fuzz::Show;

constexpr size_t kMaxLines = 48;
constexpr size_t kMaxPath = 300;

bool Exists(fake::FakeWindows& w, const std::string& path) { return !w.files.Find(path).empty(); }

std::string NoTrailingBackslashes(const CodePage& cp, const std::string& text) {
  return fuzz::TrimEnd(cp, text, [](uint8_t c) { return c == '\\'; });
}

// The folders between folder and suffix in a path FindInSubfolders found:
// every one a real folder whose name does not begin with a dot, and none but
// the last a link, junction or mount point (those are tested, never entered).
void CheckSubfolderHit(fake::FakeWindows& w, const std::string& folder, const std::string& suffix,
                       const std::string& hit) {
  const CodePage& cp = w.codePage;
  const std::string base = NoTrailingBackslashes(cp, folder) + "\\";
  FUZZ_CHECK(Exists(w, hit), "found a path that does not exist: " + Show(hit));
  FUZZ_CHECK(fuzz::StartsWithText(hit, base) && fuzz::EndsWithText(hit, suffix) &&
                 hit.size() > base.size() + suffix.size(),
             Show(hit) + " is not a subfolder of " + Show(base) + " followed by " + Show(suffix));
  const std::string middle = hit.substr(base.size(), hit.size() - base.size() - suffix.size());
  std::vector<std::string> names(1);
  for (size_t at : fuzz::Starts(cp, middle)) {
    if (fuzz::SingleByteAt(cp, middle, at) && middle[at] == '\\') {
      names.emplace_back();
    } else {
      names.back().append(middle, at, fuzz::SingleByteAt(cp, middle, at) ? 1 : 2);
    }
  }
  std::string path = base.substr(0, base.size() - 1);
  for (size_t i = 0; i < names.size(); ++i) {
    path += "\\" + names[i];
    FUZZ_CHECK(!names[i].empty() && names[i][0] != '.', "entered " + Show(path));
    FUZZ_CHECK(w.files.IsDir(path), "not a folder: " + Show(path));
    if (i + 1 < names.size()) {
      const std::vector<FindEntry> entry = w.files.Find(path);
      FUZZ_CHECK(entry.size() == 1 && !entry[0].IsNameSurrogate(), "entered the link " + Show(path));
    }
  }
}

// Every "found " line names a path that exists.
void CheckFoundLines(fake::FakeWindows& w, const std::string& log) {
  size_t pos = 0;
  while ((pos = log.find("found ", pos)) != std::string::npos) {
    const bool lineStart = pos == 0 || log[pos - 1] == '\n';
    const size_t end = log.find('\n', pos);
    if (lineStart && end != std::string::npos) {
      const std::string path = log.substr(pos + 6, end - pos - 6);
      FUZZ_CHECK(Exists(w, path), "logged a hit that does not exist: " + Show(path));
    }
    pos += 6;
  }
}

}  // namespace
}  // namespace nv

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace nv;
  const fuzz::Scenario scenario = fuzz::ReadScenario(data, size, kMaxLines);
  fake::FakeWindows w;
  RunContext ctx(w.platform);
  std::string log;
  LogCapture capture(ctx.log, &log);
  const CodePage& cp = w.codePage;

  // The code page is the machine's from the start: paths are made in it.
  for (const fuzz::Scenario::Line& line : scenario.lines) {
    if (line.kind == 'c') w.codePage.SetDoubleByte(true);
  }
  for (const fuzz::Scenario::Line& line : scenario.lines) {
    if (line.text.size() > kMaxPath) continue;
    switch (line.kind) {
      case 'v': ctx.options.verboseTrace = true; break;
      case 'A': ctx.options.altSource = line.text; break;
      case 'C': ctx.plan.coreDir = line.text; break;
      case 'M': ctx.plan.mediaPrefix = line.text; break;
      case 'w': w.files.SetCurrentDir(line.text); break;
      case 'f': w.files.AddFile(line.text); break;
      case 'd': w.files.AddDir(line.text); break;
      case 'j': w.files.AddDir(line.text, FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT); break;
      case 'k':
        w.files.AddDir(line.text, FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT);
        w.files.SetReparseTag(line.text, kReparseTagDfs);
        break;
      case 'n': {
        const auto [path, shortName] = fuzz::Split(line.text, '|');
        w.files.SetShortName(path, shortName);
        break;
      }
      default: break;
    }
  }

  for (const fuzz::Scenario::Line& line : scenario.lines) {
    if (line.text.size() > kMaxPath) continue;
    if (line.kind == 'P') {
      const std::string& path = line.text;
      const std::string altBefore = ctx.options.altSource;
      std::string rule;
      const size_t logBefore = log.size();
      const std::string located = LocatePackage(ctx, path, &rule);
      FUZZ_CHECK(located == path || Exists(w, located), Show(path) + " moved to a missing " + Show(located));
      FUZZ_CHECK(located == path || !rule.empty(), "no rule for " + Show(located));
      if (ctx.options.verboseTrace && located != path) {
        FUZZ_CHECK(fuzz::EndsWithText(log, "Looking for " + located + ".\n"), Show(log.substr(logBefore)));
      }
      if (!ctx.options.verboseTrace) FUZZ_CHECK(log.size() == logBefore, Show(log.substr(logBefore)));
      const std::string& altAfter = ctx.options.altSource;
      const std::string trimmed = NoTrailingBackslashes(cp, altBefore);
      FUZZ_CHECK(altAfter == altBefore || (!altBefore.empty() && (altAfter == trimmed || altAfter == trimmed + "\\")),
                 Show(altBefore) + " became " + Show(altAfter));

      const std::string alt = ctx.options.altSource;
      const std::string relocated = RelocateProgram(ctx, path, &rule);
      const std::string lower = fuzz::Lower(cp, path);
      const size_t patches = fuzz::FindOnBoundary(cp, lower, "\\patches\\");
      const bool viaPatches = fuzz::FindOnBoundary(cp, lower, "\\core\\") == std::string::npos &&
                              patches != std::string::npos && relocated == alt + lower.substr(patches);
      FUZZ_CHECK(relocated == path || viaPatches || Exists(w, relocated),
                 Show(path) + " relocated to a missing " + Show(relocated));
      FUZZ_CHECK(ctx.options.altSource == alt, "RelocateProgram changed the alternative source");
    } else if (line.kind == 'Q') {
      const std::string& parameter = line.text;
      const std::string altBefore = ctx.options.altSource;
      const size_t logBefore = log.size();
      const std::string result = RelocateMsiexecPackage(ctx, parameter);
      const std::string alt = ctx.options.altSource;
      FUZZ_CHECK(alt == NoTrailingBackslashes(cp, altBefore), Show(altBefore) + " became " + Show(alt));
      if (alt.empty()) {
        FUZZ_CHECK(result == fuzz::ReplaceAll(cp, parameter, ctx.plan.mediaPrefix, alt), Show(result));
      } else {
        auto space = [&](uint8_t c) { return cp.IsSpace(c); };
        const std::string q = fuzz::TrimStart(fuzz::TrimEnd(cp, parameter, space), space);
        const std::string byPrefix = fuzz::ReplaceAll(cp, q, ctx.plan.mediaPrefix, alt);
        bool moved = false;
        const size_t open = fuzz::FindOnBoundary(cp, q, "\"");
        const size_t close = open == std::string::npos ? open : fuzz::FindOnBoundary(cp, q, "\"", open + 1);
        if (close != std::string::npos && q.size() >= 2 && q[0] == '/' && (q[1] == 'i' || q[1] == 'I')) {
          const std::string package = q.substr(open + 1, close - open - 1);
          const size_t core = fuzz::FindOnBoundary(cp, fuzz::Lower(cp, package), "\\core\\");
          if (core != std::string::npos && !package.empty()) {
            const std::string part = fuzz::Lower(cp, package).substr(core);
            const std::string direct = fuzz::ReplaceAll(cp, alt, ".\\", "") + part;
            if (Exists(w, direct)) {
              // The package's core part right under the alternative source.
              FUZZ_CHECK(result == fuzz::ReplaceAll(cp, q, package, direct), Show(q) + " gave " + Show(result));
              moved = true;
            } else if (result != byPrefix) {
              // Else only a hit of the subfolder search may replace it.
              FUZZ_CHECK(log.find("core is =", logBefore) != std::string::npos,
                         "relocated without a search: " + Show(result));
              moved = true;
            }
          }
        }
        FUZZ_CHECK(moved || result == byPrefix, Show(q) + " gave " + Show(result) + ", by prefix " + Show(byPrefix));
      }
    } else if (line.kind == 'S') {
      const auto [folder, suffix] = fuzz::Split(line.text, '|');
      const std::string expected = ReferenceFindInSubfolders(w.platform, folder, suffix);
      const std::string hit = FindInSubfolders(ctx, folder, suffix);
      FUZZ_CHECK(hit == expected, Show(hit) + " found where probing every subfolder finds " + Show(expected));
      if (!hit.empty()) {
        CheckSubfolderHit(w, folder, suffix, hit);
        FUZZ_CHECK(fuzz::EndsWithText(log, "found " + hit + "\n"), "the hit is not logged: " + Show(hit));
      }
    }
  }
  CheckFoundLines(w, log);
  FUZZ_CHECK(w.files.OpenFiles() == 0, "a file stays open");
  return 0;
}
