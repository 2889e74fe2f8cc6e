#include "app/json_writer.h"

#include <gtest/gtest.h>

#include "platform/fake/fake_platform.h"

namespace nv {
namespace {

TEST(JsonWriterTest, EscapesControlsAndWritesUtf8) {
  fake::FakeCodePage cp;
  EXPECT_EQ(JsonString(cp, std::string("a\"b\\c\n\r\t\b\f\x01\x1f\x7f", 13) + std::string(1, '\0')),
            "\"a\\\"b\\\\c\\n\\r\\t\\b\\f\\u0001\\u001f\\u007f\\u0000\"");
  // Western code page: e acute and a C1 control.
  EXPECT_EQ(JsonString(cp, "caf\xe9\x85"), "\"caf\xc3\xa9\\u0085\"");
  JsonWriter json(cp);
  json.BeginObject();
  json.Key("a");
  json.BeginArray();
  json.EndArray();
  json.Key("b");
  json.BeginArray();
  json.Number(-1);
  json.String("x");
  json.EndArray();
  json.EndObject();
  EXPECT_EQ(json.Text(), "{\n  \"a\": [],\n  \"b\": [\n    -1,\n    \"x\"\n  ]\n}\n");
}

}  // namespace
}  // namespace nv
