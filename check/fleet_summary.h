#pragma once
// The media check's second mode (/fleet=FOLDER): after a rollout, every
// run's result file collected in one folder, summarised at once: which
// computers finished, which items failed where and with which code, which
// computers wait for a restart, and which runs never finished.

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace nv {

// The folder cannot be read (beyond the check's other codes).
constexpr int32_t kCheckFolderUnreadable = 10005;
// The exit code counts computers up to this, below every code above.
constexpr int32_t kFleetCountCap = 10000;

// Summarises the result files (*.json) directly in folder into *out, as
// text or as one JSON document. Returns 0 when every computer finished with
// 0, 3010 or 1641, else the number of computers that did not (failed, not
// finished or unreadable, at most kFleetCountCap), or kCheckFolderUnreadable.
int32_t SummariseFleet(Platform& platform, const std::string& folder, bool json, std::string* out);

}  // namespace nv
