#include "launch/media_search.h"

#include <cstring>

#include "app/run_context.h"
#include "deploy/shell_helpers.h"
#include "platform/text.h"
#include "status/run_log.h"

namespace nv {

namespace {

// A folder whose search pattern would not fit in MAX_PATH cannot be listed
// by FindFirstFileA; it is not descended into.
constexpr size_t kMaxSearchPath = 260;

std::string WithoutTrailingBackslashes(const CodePage& cp, const std::string& text) {
  return MbTrimRightChar(cp, text, '\\');
}

}  // namespace

std::string LocatePackage(RunContext& ctx, const std::string& path, std::string* rule) {
  Platform& p = ctx.platform;
  const CodePage& cp = p.codePage;
  size_t last = MbFindLast(cp, path, '\\');
  if (last == std::string::npos || last <= 1) return path;
  size_t second = MbFindLast(cp, path, '\\', last);
  if (second == std::string::npos || second <= 1) return path;
  size_t third = MbFindLast(cp, path, '\\', second);
  const std::string file = path.substr(last + 1);
  const std::string parent = path.substr(second + 1, last - second - 1);
  const std::string grandparent = third == std::string::npos ? std::string() : path.substr(third + 1, second - third - 1);

  auto found = [&](const std::string& candidate, const char* candidateRule) {
    if (ctx.options.verboseTrace) WriteRunLog(ctx, "Looking for " + candidate + ".\n");
    if (!PathExists(p, candidate)) return false;
    if (rule != nullptr && candidateRule != nullptr) *rule = candidateRule;
    return true;
  };

  std::string& alt = ctx.options.altSource;
  if (!alt.empty()) {
    alt = WithoutTrailingBackslashes(cp, alt) + "\\";
    for (const std::string& candidate :
         {alt + file, alt + parent + "\\" + file, alt + grandparent + "\\" + parent + "\\" + file}) {
      if (found(candidate, kRuleAltSource)) return candidate;
    }
    alt = WithoutTrailingBackslashes(cp, alt);
    std::string moved = MbReplaceAll(cp, path, ctx.plan.mediaPrefix, alt);
    if (found(moved, moved == path ? nullptr : kRuleMediaPrefix)) return moved;
  }

  const std::string& core = ctx.plan.coreDir;
  std::vector<std::string> candidates = {core + parent + "\\" + file,
                                         core + grandparent + "\\" + parent + "\\" + file};
  if (MbEqualNoCase(cp, file, "dotnetfx.exe")) candidates.push_back(core + "dotnet20\\" + file);
  if (MbEqualNoCase(cp, file, "dotnetfx3.exe")) candidates.push_back(core + "dotnet30\\" + file);
  if (MbEqualNoCase(cp, file, "dotnetfx35.exe")) candidates.push_back(core + "dotNET35\\" + file);
  for (const std::string& candidate : candidates) {
    if (found(candidate, kRuleCoreDir)) return candidate;
  }
  if (ctx.options.verboseTrace) WriteRunLog(ctx, "*** " + file + " wasn't found any where!\n");
  return path;
}

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool EqualAsciiNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// The first folder or file name of the suffix, when a folder's listing can
// tell whether subfolder + suffix may exist: a plain name that the file
// system compares as we do (ASCII, no case) and that nothing in the suffix
// can take back. False otherwise: wildcards (DOS ones too), bytes of 0x80 or
// above (case folding there is the file system's), a trailing dot or blank,
// a stream name, an empty name, a suffix not beginning with a separator, or
// a "." or ".." further on (Windows resolves "x\..\y" without looking for x).
bool FirstNameOfSuffix(const std::string& suffix, std::string* name) {
  if (suffix.size() < 2 || !IsSeparator(suffix[0])) return false;
  size_t end = 1;
  while (end < suffix.size() && !IsSeparator(suffix[end])) ++end;
  *name = suffix.substr(1, end - 1);
  if (name->empty() || name->back() == '.' || name->back() == ' ') return false;
  for (char c : *name) {
    if (static_cast<unsigned char>(c) >= 0x80 || std::strchr("*?<>\":", c) != nullptr) return false;
  }
  // Every later element made only of dots and blanks: "." and ".." are
  // resolved before the file system sees the path.
  for (size_t start = end; start < suffix.size();) {
    size_t stop = start + 1;
    while (stop < suffix.size() && !IsSeparator(suffix[stop])) ++stop;
    const std::string element = suffix.substr(start + 1, stop - start - 1);
    if (!element.empty() && element.find_first_not_of(". ") == std::string::npos) return false;
    start = stop;
  }
  return true;
}

// Whether a folder's listing may hold the name: an entry whose long or
// short name equals it (ASCII, no case), or one the code page could not
// show ("?"), whose real name is unknown. An empty listing (the folder
// could not be listed) decides nothing.
bool ListingMayHold(const std::vector<FindEntry>& listing, const std::string& name) {
  if (listing.empty()) return true;
  for (const FindEntry& entry : listing) {
    if (EqualAsciiNoCase(entry.name, name) || EqualAsciiNoCase(entry.shortName, name)) return true;
    if (entry.name.find('?') != std::string::npos || entry.shortName.find('?') != std::string::npos) return true;
  }
  return false;
}

// One level of the search: folder (without trailing backslashes) and its
// listing, already made. Each subfolder is listed before its probe, and
// that listing both decides whether the probe can find anything and serves
// the descent, so every folder is listed once. Probes and their order, and
// so the first match, are those of probing every subfolder.
std::string SearchListing(RunContext& ctx, const std::string& folder, const std::vector<FindEntry>& listing,
                          const std::string& suffix, const std::string* firstName) {
  Platform& p = ctx.platform;
  for (const FindEntry& entry : listing) {
    if (entry.name.empty() || entry.name[0] == '.' || !entry.IsDirectory()) continue;
    const std::string subfolder = folder + "\\" + entry.name;
    // A symbolic link, junction or mount point may point back up the tree
    // (a share that links to itself): following it could search for ever.
    // Such folders are probed but never entered. A DFS link or a cloud
    // placeholder holds its folder in place and is entered.
    const bool enter = !entry.IsNameSurrogate() && subfolder.size() + 4 < kMaxSearchPath;
    std::vector<FindEntry> below;
    if (enter) below = p.files.Find(subfolder + "\\*.*");
    if (firstName == nullptr || !enter || ListingMayHold(below, *firstName)) {
      const std::string candidate = subfolder + suffix;
      if (PathExists(p, candidate)) {
        WriteRunLog(ctx, "found " + candidate + "\n");
        return candidate;
      }
    }
    if (!enter) continue;
    std::string found = SearchListing(ctx, subfolder, below, suffix, firstName);
    if (!found.empty()) return found;
  }
  return std::string();
}

}  // namespace

std::string FindInSubfolders(RunContext& ctx, const std::string& folder, const std::string& suffix) {
  Platform& p = ctx.platform;
  const std::string trimmed = WithoutTrailingBackslashes(p.codePage, folder);
  std::string firstName;
  const bool decides = FirstNameOfSuffix(suffix, &firstName);
  return SearchListing(ctx, trimmed, p.files.Find(trimmed + "\\*.*"), suffix, decides ? &firstName : nullptr);
}

std::string RelocateProgram(RunContext& ctx, const std::string& path, std::string* rule) {
  const CodePage& cp = ctx.platform.codePage;
  const std::string lower = MbLower(cp, path);
  size_t core = MbFind(cp, lower, "\\core\\");
  if (core != std::string::npos) {
    const std::string part = lower.substr(core);
    WriteRunLog(ctx, "core part is =" + part + "\n");
    std::string found = FindInSubfolders(ctx, ctx.options.altSource, part);
    WriteRunLog(ctx, "core is =" + found + "\n");
    if (found.empty()) return path;
    if (rule != nullptr) *rule = kRuleSubfolders;
    return found;
  }
  size_t patches = MbFind(cp, lower, "\\patches\\");
  if (patches != std::string::npos) {
    if (rule != nullptr) *rule = kRulePatches;
    return ctx.options.altSource + lower.substr(patches);
  }
  return path;
}

std::string RelocateMsiexecPackage(RunContext& ctx, const std::string& parameter) {
  Platform& p = ctx.platform;
  const CodePage& cp = p.codePage;
  std::string& alt = ctx.options.altSource;
  alt = WithoutTrailingBackslashes(cp, alt);
  std::string q = parameter;
  bool relocated = false;
  if (!alt.empty()) {
    q = MbTrim(cp, q);
    size_t open = MbFind(cp, q, "\"");
    size_t close = open == std::string::npos ? std::string::npos : MbFind(cp, q, "\"", open + 1);
    if (q.size() >= 2 && MbEqualNoCase(cp, q.substr(0, 2), "/i") && close != std::string::npos) {
      const std::string package = q.substr(open + 1, close - open - 1);
      WriteRunLog(ctx, "localPackage=" + package + "\n");
      const std::string lower = MbLower(cp, package);
      size_t core = MbFind(cp, lower, "\\core\\");
      if (core != std::string::npos) {
        const std::string part = lower.substr(core);
        if (ctx.options.verboseTrace) WriteRunLog(ctx, "core part is =" + part + "\n");
        std::string direct = MbReplaceAll(cp, alt, ".\\", "") + part;
        if (PathExists(p, direct)) {
          q = MbReplaceAll(cp, q, package, direct);
          relocated = true;
        } else {
          std::string found = FindInSubfolders(ctx, alt, part);
          WriteRunLog(ctx, "core is =" + found + "\n");
          if (!found.empty()) {
            q = MbReplaceAll(cp, q, package, found);
            relocated = true;
          }
        }
      }
    }
  }
  if (!relocated) q = MbReplaceAll(cp, q, ctx.plan.mediaPrefix, alt);
  return q;
}

}  // namespace nv
