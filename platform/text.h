#pragma once
// Multibyte-aware text helpers over the ANSI code page. A double-byte
// character is never split, and a trail byte that happens to equal "\" or
// "." is never taken for one.

#include <cstddef>
#include <string>

#include "platform/platform.h"

namespace nv {

// Length in bytes of the character that starts at pos (1 or 2).
size_t MbCharLength(const CodePage& cp, const std::string& text, size_t pos);

// Lower-cases every single-byte character with the code page's mapping;
// double-byte characters are kept as they are.
std::string MbLower(const CodePage& cp, const std::string& text);

// First occurrence of needle that starts on a character boundary at or after
// from; std::string::npos when there is none.
size_t MbFind(const CodePage& cp, const std::string& text, const std::string& needle, size_t from = 0);

// Last occurrence of the single-byte character c that starts before the byte
// position end (the whole text by default); npos when there is none.
size_t MbFindLast(const CodePage& cp, const std::string& text, char c, size_t end = std::string::npos);

// White space (the code page's single-byte space characters) removed from the
// start, the end, or both.
std::string MbTrimLeft(const CodePage& cp, const std::string& text);
std::string MbTrimRight(const CodePage& cp, const std::string& text);
std::string MbTrim(const CodePage& cp, const std::string& text);

// Every trailing (or leading) single-byte character c removed, e.g. the
// trailing backslashes of a folder or the double quotes around a path.
std::string MbTrimRightChar(const CodePage& cp, const std::string& text, char c);
std::string MbTrimLeftChar(const CodePage& cp, const std::string& text, char c);

// The last n characters (the whole text when it has n or fewer).
std::string MbLastChars(const CodePage& cp, const std::string& text, size_t n);

// Equality without regard to case, with the code page's mapping.
bool MbEqualNoCase(const CodePage& cp, const std::string& a, const std::string& b);

// Whether the last n characters equal suffix without regard to case, where n
// is the number of characters in suffix.
bool MbEndsWithNoCase(const CodePage& cp, const std::string& text, const std::string& suffix);

// Every occurrence of from replaced by to, left to right, case-sensitively,
// matched on character boundaries. An empty from changes nothing.
std::string MbReplaceAll(const CodePage& cp, const std::string& text, const std::string& from,
                         const std::string& to);

}  // namespace nv
