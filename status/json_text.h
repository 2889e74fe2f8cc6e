#pragma once
// JSON documents through nlohmann/json. Keys keep the order in which they
// were added (ordered_json). Texts inside the program are in the ANSI code
// page; they pass through Utf8() on their way into a document, since the
// library takes UTF-8 alone.

#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

#include "platform/platform.h"

namespace nv {

using Json = nlohmann::ordered_json;

// The ANSI text in UTF-8, converted with the code page; a byte that does not
// convert becomes U+FFFD, so the result is always valid UTF-8.
std::string Utf8(const CodePage& cp, const std::string& ansi);

// The document indented by two blanks, with a closing line break.
std::string JsonText(const Json& document);

// The document in text, or a discarded value (is_discarded()) when the text
// is not JSON. Never throws.
Json ParseJson(const std::string& text);

// The member key of an object when it has the type asked for; null
// otherwise (no member, another type, or no object at all). Reading through
// these never throws, whatever shape a document has.
const Json* JsonMember(const Json& object, const char* key);
bool JsonString(const Json& object, const char* key, std::string* value);
bool JsonInteger(const Json& object, const char* key, int64_t* value);

}  // namespace nv
