#include "launch/media_search.h"

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

std::string FindInSubfolders(RunContext& ctx, const std::string& folder, const std::string& suffix) {
  Platform& p = ctx.platform;
  const std::string trimmed = WithoutTrailingBackslashes(p.codePage, folder);
  for (const FindEntry& entry : p.files.Find(trimmed + "\\*.*")) {
    if (entry.name.empty() || entry.name[0] == '.' || !entry.IsDirectory()) continue;
    const std::string subfolder = trimmed + "\\" + entry.name;
    const std::string candidate = subfolder + suffix;
    if (PathExists(p, candidate)) {
      WriteRunLog(ctx, "found " + candidate + "\n");
      return candidate;
    }
    // A junction or folder link may point back up the tree (a share that
    // links to itself): following it would search for ever. Such folders
    // are tested for the suffix but never entered.
    if ((entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) continue;
    if (subfolder.size() + 4 >= kMaxSearchPath) continue;
    std::string below = FindInSubfolders(ctx, subfolder, suffix);
    if (!below.empty()) return below;
  }
  return std::string();
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
