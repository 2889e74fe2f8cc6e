#pragma once
// A small JSON writer: objects, arrays, strings and whole numbers, indented
// by two blanks. Texts come in the ANSI code page and leave as UTF-8, with
// every control character escaped, so that the document is valid whatever
// a file name or a package property holds.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace nv {

// The text as a JSON string, quotes included: converted from the ANSI code
// page to UTF-8; '"', '\' and the control characters (U+0000-U+001F,
// U+007F-U+009F) escaped. A byte that does not convert becomes U+FFFD.
std::string JsonString(const CodePage& cp, const std::string& ansi);

class JsonWriter {
 public:
  explicit JsonWriter(const CodePage& cp) : cp_(cp) {}
  void BeginObject() { Open('{'); }
  void EndObject() { Close('}'); }
  void BeginArray() { Open('['); }
  void EndArray() { Close(']'); }
  // The next member's name, inside an object.
  void Key(const std::string& key);
  void String(const std::string& text);
  void Number(int64_t number);
  // The document so far; complete once every object and array is closed.
  const std::string& Text() const { return text_; }

 private:
  void Open(char bracket);
  void Close(char bracket);
  // The comma and line break before a value (not after a key).
  void BeforeValue();
  void NewLine();

  const CodePage& cp_;
  std::string text_;
  std::vector<bool> empty_;  // per open container: nothing in it yet
  bool afterKey_ = false;
};

}  // namespace nv
