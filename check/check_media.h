#pragma once
// The media check (NvCheckMedia.exe): for every item of a response file,
// what an install run would find and start, without installing, copying or
// starting anything. It walks the items with the install pass's own
// decisions, so what it reports is what a run does.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/trust.h"

namespace nv {

// Exit codes beyond the count of items that would be skipped or fail.
constexpr int32_t kCheckUsageError = 10001;        // an argument the check does not take
constexpr int32_t kCheckNoResponseFile = 10002;    // the response file cannot be found
constexpr int32_t kCheckInvalidEntries = 10003;    // the response file's entries are malformed
constexpr int32_t kCheckKitNotWritten = 10004;     // /kit= was given and the kit cannot be written, or an
                                                   // item is missing, failing or installs per user

// The check's usage text.
std::string BuildCheckUsageText();

// Whether the arguments ask for the report as a JSON document (/json).
bool CheckReportIsJson(const CodePage& cp, const std::vector<std::string>& args);

// Checks the media for the arguments (without argument 0): the report goes
// to *out, errors to *err; trust checks the files' signatures. Returns 0
// when every item resolves to an existing file or an installed product,
// else the number of items that would be skipped or fail to start (with
// /signed, also those whose file has no valid signature), or one of the
// codes above.
int32_t CheckMedia(Platform& platform, Trust& trust, const std::vector<std::string>& args, std::string* out,
                   std::string* err);

}  // namespace nv
