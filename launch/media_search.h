#pragma once
// Every rule by which an item path of the response file is mapped to an
// existing file on other media: the alternative source (altsource=), the
// media's core folder, and a search of the subfolders below a folder.

#include <string>

#include "platform/platform.h"

namespace nv {

struct RunContext;

// Names of the rules that found an item somewhere else than as written.
constexpr const char* kRuleAltSource = "alternative source";
constexpr const char* kRuleMediaPrefix = "media prefix";
constexpr const char* kRuleCoreDir = "core directory";
constexpr const char* kRuleSubfolders = "subfolder search";
constexpr const char* kRulePatches = "patches folder";

// P itself, or the first of its candidates under the alternative source and
// the core directory that exists. Rewrites options.altSource as it goes
// (one trailing backslash, then none before the media-prefix candidate).
// *rule (when given) names the rule of the candidate found; it is left
// alone when P comes back unchanged.
std::string LocatePackage(RunContext& ctx, const std::string& path, std::string* rule = nullptr);

// The first existing path formed from a subfolder (at any depth) of folder
// followed by suffix (which begins with a backslash), depth first in the
// order the file system lists entries; empty when there is none. Names
// beginning with "." and symbolic links, junctions and mount points are
// never entered (they are probed); other reparse points (DFS links, cloud
// placeholders) are. Each folder is listed once, and a subfolder is probed
// only when its listing may hold the suffix's first name. A hit is logged
// as "found <path>".
std::string FindInSubfolders(RunContext& ctx, const std::string& folder, const std::string& suffix);

// A program item that does not exist while an alternative source is set: the
// path found below the alternative source for its "\core\" part, or the
// alternative source followed by its "\patches\" part, or P unchanged.
// *rule (when given) names the rule that moved it.
std::string RelocateProgram(RunContext& ctx, const std::string& path, std::string* rule = nullptr);

// The parameter text of an "msiexec.exe" item while an alternative source is
// set: a quoted package path after "/i" moved to the alternative source, or
// the media prefix replaced by it.
std::string RelocateMsiexecPackage(RunContext& ctx, const std::string& parameter);

}  // namespace nv
