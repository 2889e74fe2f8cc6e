#include "platform/text.h"

#include <vector>

namespace nv {

size_t MbCharLength(const CodePage& cp, const std::string& text, size_t pos) {
  if (pos + 1 < text.size() && cp.IsLeadByte(static_cast<uint8_t>(text[pos]))) return 2;
  return 1;
}

namespace {

// Byte positions at which characters start.
std::vector<size_t> CharStarts(const CodePage& cp, const std::string& text) {
  std::vector<size_t> starts;
  for (size_t i = 0; i < text.size(); i += MbCharLength(cp, text, i)) starts.push_back(i);
  return starts;
}

bool IsSingleByteChar(const CodePage& cp, const std::string& text, size_t pos, char c) {
  return MbCharLength(cp, text, pos) == 1 && text[pos] == c;
}

bool IsSpaceAt(const CodePage& cp, const std::string& text, size_t pos) {
  return MbCharLength(cp, text, pos) == 1 && cp.IsSpace(static_cast<uint8_t>(text[pos]));
}

}  // namespace

std::string MbLower(const CodePage& cp, const std::string& text) {
  std::string out = text;
  for (size_t i = 0; i < out.size();) {
    size_t len = MbCharLength(cp, out, i);
    if (len == 1) out[i] = static_cast<char>(cp.ToLower(static_cast<uint8_t>(out[i])));
    i += len;
  }
  return out;
}

size_t MbFind(const CodePage& cp, const std::string& text, const std::string& needle, size_t from) {
  if (needle.empty()) return from <= text.size() ? from : std::string::npos;
  for (size_t i = 0; i < text.size(); i += MbCharLength(cp, text, i)) {
    if (i >= from && text.compare(i, needle.size(), needle) == 0) return i;
  }
  return std::string::npos;
}

size_t MbFindLast(const CodePage& cp, const std::string& text, char c, size_t end) {
  size_t found = std::string::npos;
  for (size_t i = 0; i < text.size() && i < end; i += MbCharLength(cp, text, i)) {
    if (IsSingleByteChar(cp, text, i, c)) found = i;
  }
  return found;
}

std::string MbTrimLeft(const CodePage& cp, const std::string& text) {
  size_t i = 0;
  while (i < text.size() && IsSpaceAt(cp, text, i)) ++i;
  return text.substr(i);
}

std::string MbTrimRight(const CodePage& cp, const std::string& text) {
  size_t keep = 0;  // end of the last character that is not white space
  for (size_t i = 0; i < text.size();) {
    size_t len = MbCharLength(cp, text, i);
    if (!IsSpaceAt(cp, text, i)) keep = i + len;
    i += len;
  }
  return text.substr(0, keep);
}

std::string MbTrim(const CodePage& cp, const std::string& text) { return MbTrimLeft(cp, MbTrimRight(cp, text)); }

std::string MbTrimRightChar(const CodePage& cp, const std::string& text, char c) {
  size_t keep = 0;
  for (size_t i = 0; i < text.size();) {
    size_t len = MbCharLength(cp, text, i);
    if (!IsSingleByteChar(cp, text, i, c)) keep = i + len;
    i += len;
  }
  return text.substr(0, keep);
}

std::string MbTrimLeftChar(const CodePage& cp, const std::string& text, char c) {
  size_t i = 0;
  while (i < text.size() && IsSingleByteChar(cp, text, i, c)) ++i;
  return text.substr(i);
}

std::string MbLastChars(const CodePage& cp, const std::string& text, size_t n) {
  std::vector<size_t> starts = CharStarts(cp, text);
  if (starts.size() <= n) return text;
  return text.substr(starts[starts.size() - n]);
}

bool MbEqualNoCase(const CodePage& cp, const std::string& a, const std::string& b) {
  return MbLower(cp, a) == MbLower(cp, b);
}

bool MbEndsWithNoCase(const CodePage& cp, const std::string& text, const std::string& suffix) {
  return MbEqualNoCase(cp, MbLastChars(cp, text, CharStarts(cp, suffix).size()), suffix);
}

std::string MbReplaceAll(const CodePage& cp, const std::string& text, const std::string& from,
                         const std::string& to) {
  if (from.empty()) return text;
  std::string out;
  size_t pos = 0;
  for (size_t hit = MbFind(cp, text, from, 0); hit != std::string::npos; hit = MbFind(cp, text, from, pos)) {
    out.append(text, pos, hit - pos);
    out += to;
    pos = hit + from.size();
  }
  out.append(text, pos, std::string::npos);
  return out;
}

}  // namespace nv
