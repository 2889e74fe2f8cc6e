#pragma once
// Shared pieces of the fuzz targets: a check that stops the fuzzer with a
// readable message, plain character helpers written against the code page
// alone (so that they can judge the multibyte text helpers instead of
// reusing them), and the line format of the scenario targets.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace nv {
namespace fuzz {

[[noreturn]] inline void Fail(const char* file, int line, const char* condition, const std::string& detail) {
  std::fprintf(stderr, "\n%s:%d: invariant broken: %s\n%s\n", file, line, condition, detail.c_str());
  std::fflush(stderr);
  std::abort();
}

// Stops the run when condition does not hold; detail is only built then.
#define FUZZ_CHECK(condition, detail)                                       \
  do {                                                                      \
    if (!(condition)) ::nv::fuzz::Fail(__FILE__, __LINE__, #condition, (detail)); \
  } while (0)

// A text with its unprintable bytes escaped, for failure messages.
inline std::string Show(const std::string& text) {
  std::string out = "\"";
  for (char byte : text) {
    const unsigned char c = static_cast<unsigned char>(byte);
    if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
      out.push_back(static_cast<char>(c));
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
      out += escaped;
    }
  }
  return out + "\"";
}

// With NV_FUZZ_TRACE set, what a target saw is printed for each input: a
// help when looking at one input (fuzz_x the-input).
inline void Trace(const std::string& what, const std::string& text) {
  static const bool on = std::getenv("NV_FUZZ_TRACE") != nullptr;
  if (on) std::fprintf(stderr, "--- %s\n%s\n", what.c_str(), text.c_str());
}

// Whether text holds word, ASCII letters compared without case.
inline bool HoldsWord(const std::string& text, const std::string& word) {
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  for (size_t i = 0; i + word.size() <= text.size(); ++i) {
    size_t k = 0;
    while (k < word.size() && lower(text[i + k]) == lower(word[k])) ++k;
    if (k == word.size()) return true;
  }
  return false;
}

// ---------------------------------------------------------------- characters

// Byte positions at which characters start: a lead byte takes the next byte
// with it, unless it is the text's last byte.
inline std::vector<size_t> Starts(const CodePage& cp, const std::string& text) {
  std::vector<size_t> starts;
  for (size_t i = 0; i < text.size();) {
    starts.push_back(i);
    i += (i + 1 < text.size() && cp.IsLeadByte(static_cast<uint8_t>(text[i]))) ? size_t{2} : size_t{1};
  }
  return starts;
}

// The text without a lead byte left at its very end. Windows makes the
// program's ANSI arguments from the UTF-16 command line, so an argument
// never ends in half a double-byte character.
inline std::string WithoutHalfCharacterAtEnd(const CodePage& cp, const std::string& text) {
  std::vector<size_t> starts = Starts(cp, text);
  if (!starts.empty() && starts.back() + 1 == text.size() && cp.IsLeadByte(static_cast<uint8_t>(text.back()))) {
    return text.substr(0, text.size() - 1);
  }
  return text;
}

inline bool SingleByteAt(const CodePage& cp, const std::string& text, size_t pos) {
  return !(pos + 1 < text.size() && cp.IsLeadByte(static_cast<uint8_t>(text[pos])));
}

inline std::string Lower(const CodePage& cp, const std::string& text) {
  std::string out = text;
  for (size_t at : Starts(cp, text)) {
    if (SingleByteAt(cp, text, at)) out[at] = static_cast<char>(cp.ToLower(static_cast<uint8_t>(text[at])));
  }
  return out;
}

// First occurrence of needle on a character boundary; npos when none.
inline size_t FindOnBoundary(const CodePage& cp, const std::string& text, const std::string& needle,
                             size_t from = 0) {
  for (size_t at : Starts(cp, text)) {
    if (at >= from && text.compare(at, needle.size(), needle) == 0) return at;
  }
  return std::string::npos;
}

// Every occurrence of from (on a character boundary) replaced by to, left to
// right; an empty from changes nothing.
inline std::string ReplaceAll(const CodePage& cp, const std::string& text, const std::string& from,
                              const std::string& to) {
  if (from.empty()) return text;
  std::string out;
  size_t pos = 0;
  for (size_t hit = FindOnBoundary(cp, text, from); hit != std::string::npos;
       hit = FindOnBoundary(cp, text, from, pos)) {
    out.append(text, pos, hit - pos);
    out += to;
    pos = hit + from.size();
  }
  return out + text.substr(pos);
}

// Trailing single-byte characters for which drop(c) holds, removed.
template <typename Drop>
std::string TrimEnd(const CodePage& cp, const std::string& text, Drop drop) {
  size_t keep = 0;
  for (size_t at : Starts(cp, text)) {
    const bool single = SingleByteAt(cp, text, at);
    if (!(single && drop(static_cast<uint8_t>(text[at])))) keep = at + (single ? 1 : 2);
  }
  return text.substr(0, keep);
}

template <typename Drop>
std::string TrimStart(const std::string& text, Drop drop) {
  size_t i = 0;
  // A character to drop is a single byte, so byte steps stay on boundaries.
  while (i < text.size() && drop(static_cast<uint8_t>(text[i]))) ++i;
  return text.substr(i);
}

inline bool EndsWithText(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

inline bool StartsWithText(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// The run log without the line of result=: its first failed write adds one
// line wherever the run is; *lines says how many there were.
inline std::string WithoutResultFileLine(const std::string& log, size_t* lines) {
  *lines = 0;
  std::string out = log;
  for (size_t at = out.find("Result file "); at != std::string::npos; at = out.find("Result file ", at)) {
    const size_t tail = out.find(" could not be written. Return value is ", at);
    const size_t end = tail == std::string::npos ? tail : out.find('\n', tail);
    if ((at != 0 && out[at - 1] != '\n') || end == std::string::npos) {
      ++at;
      continue;
    }
    out.erase(at, end + 1 - at);
    ++*lines;
  }
  return out;
}

// fopen's text mode: CR LF reads as LF and Ctrl+Z ends the file.
inline std::string TextMode(const std::string& contents) {
  std::string out;
  for (size_t i = 0; i < contents.size(); ++i) {
    if (contents[i] == '\x1a') break;
    if (contents[i] == '\r' && i + 1 < contents.size() && contents[i + 1] == '\n') continue;
    out.push_back(contents[i]);
  }
  return out;
}

// ---------------------------------------------------------------- scenario lines

// The scenario targets read their input as lines: the first byte of a line
// says what it sets up, the rest is its text. A line holding only "=" ends
// the lines; everything after it is the body (a response file). Lines are
// cut at maxLines so that an input cannot build an unbounded machine.
struct Scenario {
  struct Line {
    char kind;
    std::string text;
  };
  std::vector<Line> lines;
  std::string body;
  bool hasBody = false;
};

inline Scenario ReadScenario(const uint8_t* data, size_t size, size_t maxLines) {
  Scenario s;
  const std::string input(reinterpret_cast<const char*>(data), size);
  size_t pos = 0;
  while (pos < input.size()) {
    size_t end = input.find('\n', pos);
    const std::string line = input.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
    pos = end == std::string::npos ? input.size() : end + 1;
    if (line == "=") {
      s.body = input.substr(pos);
      s.hasBody = true;
      break;
    }
    if (line.empty() || s.lines.size() >= maxLines) continue;
    s.lines.push_back({line[0], line.substr(1)});
  }
  return s;
}

// "left<sep>right"; right is empty when sep is missing.
inline std::pair<std::string, std::string> Split(const std::string& text, char sep) {
  size_t at = text.find(sep);
  if (at == std::string::npos) return {text, std::string()};
  return {text.substr(0, at), text.substr(at + 1)};
}

// A decimal number; negative numbers wrap as a 32-bit value, as Windows
// result codes do.
inline uint32_t Number(const std::string& text) {
  return static_cast<uint32_t>(std::strtoll(text.c_str(), nullptr, 10));
}

}  // namespace fuzz
}  // namespace nv
