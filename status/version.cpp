#include "status/version.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "platform/text.h"

namespace nv {

namespace {

// The path buffer of the version calls; a path that does not fit is not
// cut to a different file but refused.
constexpr size_t kPathBufferChars = 260;
// Each version text is compared on this many characters only.
constexpr size_t kVersionChars = 31;

bool IsCSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// strtol(text, nullptr, 10) with a 32-bit long, as on Windows: the same
// result in every build whatever the width of the host's long.
int32_t ReadPart(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && IsCSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  const int64_t limit = negative ? INT64_C(2147483648) : INT64_C(2147483647);
  int64_t magnitude = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    magnitude = magnitude * 10 + (text[i] - '0');
    if (magnitude > limit) magnitude = limit;
  }
  return static_cast<int32_t>(negative ? -magnitude : magnitude);
}

// One side of the comparison: the text and where its next part starts
// (npos once the last part has been read).
struct Side {
  std::string text;
  size_t pos = 0;

  bool HasPart() const { return pos != std::string::npos; }

  int32_t NextPart(const CodePage& cp) {
    if (!HasPart()) return 0;
    const size_t dot = MbFind(cp, text, ".", pos);
    const std::string part = text.substr(pos, dot == std::string::npos ? std::string::npos : dot - pos);
    pos = dot == std::string::npos ? std::string::npos : dot + 1;
    return ReadPart(part);
  }
};

// The text as its 32-character buffer holds it: up to its first NUL, at most
// kVersionChars characters.
std::string CutVersion(const std::string& text) {
  return text.substr(0, std::min(text.find('\0'), kVersionChars));
}

}  // namespace

std::string GetFileVersionText(FileSystem& files, const std::string& path) {
  if (path.size() >= kPathBufferChars) return std::string();
  uint32_t versionMS = 0, versionLS = 0;
  if (!files.FileVersion(path, &versionMS, &versionLS)) return std::string();
  char text[32];
  std::snprintf(text, sizeof text, "%d.%d.%d.%d", static_cast<int>(versionMS >> 16),
                static_cast<int>(versionMS & 0xFFFF), static_cast<int>(versionLS >> 16),
                static_cast<int>(versionLS & 0xFFFF));
  return text;
}

int CompareVersions(const CodePage& cp, const std::string& first, const std::string& second) {
  Side a{CutVersion(first)};
  Side b{CutVersion(second)};
  while (a.HasPart() || b.HasPart()) {
    const int32_t left = a.NextPart(cp);
    const int32_t right = b.NextPart(cp);
    if (left != right) return left < right ? -1 : 1;
  }
  return 0;
}

}  // namespace nv
