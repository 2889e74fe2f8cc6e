#include "status/json_text.h"

#include <vector>

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

}  // namespace

std::string Utf8(const CodePage& cp, const std::string& ansi) {
  std::string out;
  bool ascii = true;
  for (char c : ansi) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  if (ascii) return ansi;
  std::u16string wide;
  // No character of a code page needs more UTF-16 units than it has bytes.
  if (!cp.ToWide(ansi, ansi.size() + 1, &wide)) {
    for (char c : ansi) {
      const uint32_t byte = static_cast<unsigned char>(c);
      AppendUtf8(&out, byte < 0x80 ? byte : 0xFFFD);
    }
    return out;
  }
  for (size_t i = 0; i < wide.size(); ++i) {
    uint32_t unit = wide[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
        wide[i + 1] <= 0xDFFF) {
      AppendUtf8(&out, 0x10000 + ((unit - 0xD800) << 10) + (static_cast<uint32_t>(wide[i + 1]) - 0xDC00));
      ++i;
    } else {
      AppendUtf8(&out, unit >= 0xD800 && unit <= 0xDFFF ? 0xFFFD : unit);
    }
  }
  return out;
}

std::string JsonText(const Json& document) {
  // Every text went through Utf8(); replacing keeps a stray byte from ever
  // making the library throw.
  return document.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

Json ParseJson(const std::string& text) { return Json::parse(text, nullptr, false); }

const Json* JsonMember(const Json& object, const char* key) {
  if (!object.is_object()) return nullptr;
  const auto found = object.find(key);
  return found == object.end() ? nullptr : &*found;
}

bool JsonString(const Json& object, const char* key, std::string* value) {
  const Json* member = JsonMember(object, key);
  if (member == nullptr || !member->is_string()) return false;
  *value = member->get_ref<const std::string&>();
  return true;
}

bool JsonInteger(const Json& object, const char* key, int64_t* value) {
  const Json* member = JsonMember(object, key);
  if (member == nullptr || !member->is_number_integer()) return false;
  *value = member->get<int64_t>();
  return true;
}

}  // namespace nv
