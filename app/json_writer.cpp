#include "app/json_writer.h"

namespace nv {

namespace {

void AppendUtf8(std::string* out, uint32_t c) {
  if (c < 0x80) {
    out->push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (c >> 6)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (c >> 12)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (c >> 18)));
    out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

void AppendEscaped(std::string* out, uint32_t c) {
  static const char kHex[] = "0123456789abcdef";
  switch (c) {
    case '"': *out += "\\\""; return;
    case '\\': *out += "\\\\"; return;
    case '\b': *out += "\\b"; return;
    case '\f': *out += "\\f"; return;
    case '\n': *out += "\\n"; return;
    case '\r': *out += "\\r"; return;
    case '\t': *out += "\\t"; return;
    default: break;
  }
  if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) {
    *out += "\\u00";
    out->push_back(kHex[c >> 4]);
    out->push_back(kHex[c & 0xF]);
    return;
  }
  AppendUtf8(out, c);
}

// The text's characters as Unicode code points.
std::vector<uint32_t> CodePoints(const CodePage& cp, const std::string& ansi) {
  std::vector<uint32_t> points;
  std::u16string wide;
  // No character of a code page needs more UTF-16 units than it has bytes.
  if (!cp.ToWide(ansi, ansi.size() + 1, &wide)) {
    for (char c : ansi) {
      const uint32_t byte = static_cast<unsigned char>(c);
      points.push_back(byte < 0x80 ? byte : 0xFFFD);
    }
    return points;
  }
  for (size_t i = 0; i < wide.size(); ++i) {
    uint32_t unit = wide[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
        wide[i + 1] <= 0xDFFF) {
      points.push_back(0x10000 + ((unit - 0xD800) << 10) + (static_cast<uint32_t>(wide[i + 1]) - 0xDC00));
      ++i;
    } else {
      points.push_back(unit >= 0xD800 && unit <= 0xDFFF ? 0xFFFD : unit);
    }
  }
  return points;
}

}  // namespace

std::string JsonString(const CodePage& cp, const std::string& ansi) {
  std::string out = "\"";
  for (uint32_t c : CodePoints(cp, ansi)) AppendEscaped(&out, c);
  return out + "\"";
}

void JsonWriter::NewLine() {
  text_.push_back('\n');
  text_.append(2 * empty_.size(), ' ');
}

void JsonWriter::BeforeValue() {
  if (afterKey_) {
    afterKey_ = false;
    return;
  }
  if (empty_.empty()) return;
  if (!empty_.back()) text_.push_back(',');
  empty_.back() = false;
  NewLine();
}

void JsonWriter::Open(char bracket) {
  BeforeValue();
  text_.push_back(bracket);
  empty_.push_back(true);
}

void JsonWriter::Close(char bracket) {
  const bool wasEmpty = empty_.back();
  empty_.pop_back();
  if (!wasEmpty) NewLine();
  text_.push_back(bracket);
  if (empty_.empty()) text_.push_back('\n');
}

void JsonWriter::Key(const std::string& key) {
  BeforeValue();
  text_ += JsonString(cp_, key) + ": ";
  afterKey_ = true;
}

void JsonWriter::String(const std::string& text) {
  BeforeValue();
  text_ += JsonString(cp_, text);
}

void JsonWriter::Number(int64_t number) {
  BeforeValue();
  text_ += std::to_string(number);
}

}  // namespace nv
