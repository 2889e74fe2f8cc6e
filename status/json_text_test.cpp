#include "status/json_text.h"

#include <gtest/gtest.h>

#include "platform/fake/fake_platform.h"

namespace nv {
namespace {

TEST(JsonTextTest, EscapesControlsAndWritesUtf8) {
  fake::FakeCodePage cp;
  // Western code page: e acute and a C1 control, which JSON does not escape.
  const std::string text = std::string("a\"b\\c\n\r\t\b\f\x01\x1f\x7f", 13) + std::string(1, '\0') + "caf\xe9\x85";
  Json doc = {{"a", Json::array()}, {"b", {-1, Utf8(cp, text)}}};
  EXPECT_EQ(JsonText(doc), "{\n  \"a\": [],\n  \"b\": [\n    -1,\n    "
                           "\"a\\\"b\\\\c\\n\\r\\t\\b\\f\\u0001\\u001f\x7f\\u0000caf\xc3\xa9\xc2\x85\"\n  ]\n}\n");
}

TEST(JsonTextTest, ReadsOnlyWhatHasTheTypeAsked) {
  const Json doc = ParseJson("{\"s\": \"x\", \"n\": 3, \"f\": 1.5, \"a\": [1]}");
  std::string s;
  int64_t n = 0;
  EXPECT_TRUE(JsonString(doc, "s", &s) && s == "x");
  EXPECT_TRUE(JsonInteger(doc, "n", &n) && n == 3);
  EXPECT_FALSE(JsonInteger(doc, "f", &n) || JsonString(doc, "n", &s) || JsonString(doc, "none", &s));
  EXPECT_FALSE(JsonString(doc["a"], "s", &s));
  EXPECT_TRUE(ParseJson("{\"a\": ").is_discarded());
  EXPECT_TRUE(ParseJson("\xff").is_discarded());
}

}  // namespace
}  // namespace nv
