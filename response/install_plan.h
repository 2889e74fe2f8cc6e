#pragma once
// The items of the response file, counted and validated before anything is
// launched.

#include <string>

#include "platform/platform.h"

namespace nv {

struct RunContext;

// A present but empty element reads as this text in the counting pass, so
// that it can be told apart from a missing element (empty text).
constexpr const char* kEmptyValueMarker = "@@$$##";

struct InstallItem {
  std::string product;
  std::string parameter;
};

struct InstallPlan {
  int itemCount = 0;
  std::string coreDir;      // ends in a backslash, or empty
  std::string mediaPrefix;  // the part of item paths that altSource replaces
};

// The counting pass over options.responseFile: fills ctx.plan (itemCount,
// coreDir, mediaPrefix) and logs each item and the core directory. False
// when the entries are malformed: the invalid-entries message has been shown
// and the run ends with exit code 0.
bool BuildInstallPlan(RunContext& ctx);

// Item n read afresh: PRODUCTn without the double quotes at its ends, and
// PARAMETERn as written. A missing or empty element reads as empty text.
// *unreadable (when given) tells whether either value could not be read.
InstallItem ReadItem(Platform& platform, const std::string& responseFile, int n, bool* unreadable = nullptr);

}  // namespace nv
