#pragma once
// The subfolder search as it was before a subfolder's listing could spare
// its probe: every subfolder probed, then listed and entered (links,
// junctions and mount points probed only). The reference that the unit
// tests and the media-search fuzz target hold FindInSubfolders to: same
// path found, same log line. Test code only.

#include <string>

#include "deploy/shell_helpers.h"
#include "platform/platform.h"
#include "platform/text.h"

namespace nv {

inline std::string ReferenceFindInSubfolders(Platform& p, const std::string& folder, const std::string& suffix) {
  const std::string trimmed = MbTrimRightChar(p.codePage, folder, '\\');
  for (const FindEntry& entry : p.files.Find(trimmed + "\\*.*")) {
    if (entry.name.empty() || entry.name[0] == '.' || !entry.IsDirectory()) continue;
    const std::string subfolder = trimmed + "\\" + entry.name;
    if (PathExists(p, subfolder + suffix)) return subfolder + suffix;
    if (entry.IsNameSurrogate() || subfolder.size() + 4 >= 260) continue;
    std::string below = ReferenceFindInSubfolders(p, subfolder, suffix);
    if (!below.empty()) return below;
  }
  return std::string();
}

}  // namespace nv
