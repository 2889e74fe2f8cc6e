#include "platform/text.h"

#include <gtest/gtest.h>

#include "platform/fake/fake_platform.h"

namespace nv {
namespace {

class TextTest : public ::testing::Test {
 protected:
  TextTest() { dbcs.SetDoubleByte(true); }
  fake::FakeCodePage sbcs;
  fake::FakeCodePage dbcs;
};

// 0x83 0x41 is one double-byte character whose trail byte is "A"; 0x95 0x5C
// one whose trail byte is "\"; 0x81 0x2E does not exist in the code page but
// shows that a trail byte "." is never a dot.
const std::string kTrailA = "\x83\x41";
const std::string kTrailBackslash = "\x95\\";
const std::string kTrailDot = "\x81.";

TEST_F(TextTest, LowerCaseLeavesDoubleByteCharactersAlone) {
  EXPECT_EQ(MbLower(sbcs, "C:\\Temp\\RUN.Log\xC9"), "c:\\temp\\run.log\xE9");
  EXPECT_EQ(MbLower(dbcs, "LOG" + kTrailA + "X"), "log" + kTrailA + "x");
  EXPECT_TRUE(MbEqualNoCase(dbcs, "A" + kTrailA, "a" + kTrailA));
  EXPECT_FALSE(MbEqualNoCase(dbcs, kTrailA, "\x83\x61"));
}

TEST_F(TextTest, SearchesSkipTrailBytes) {
  const std::string path = "C:\\" + kTrailBackslash + "x";
  EXPECT_EQ(MbFindLast(dbcs, path, '\\'), 2u);
  EXPECT_EQ(MbFindLast(sbcs, path, '\\'), 4u);
  EXPECT_EQ(MbFindLast(dbcs, path, '\\', 2), std::string::npos);
  EXPECT_EQ(MbFind(dbcs, kTrailDot + "1.2", "."), 3u);
  EXPECT_EQ(MbFind(dbcs, "1.2.3", ".", 2), 3u);
  EXPECT_EQ(MbFind(dbcs, "abc", "", 3), 3u);
  EXPECT_EQ(MbFind(dbcs, "abc", "", 4), std::string::npos);
  EXPECT_EQ(MbFind(dbcs, "abc", "bcd"), std::string::npos);
  // A lead byte at the very end has no trail byte and counts alone.
  EXPECT_EQ(MbCharLength(dbcs, "a\x83", 1), 1u);
}

TEST_F(TextTest, TrimmingStopsAtDoubleByteCharacters) {
  EXPECT_EQ(MbTrim(sbcs, " \t\r\n x y \n"), "x y");
  EXPECT_EQ(MbTrim(sbcs, " \t "), "");
  EXPECT_EQ(MbTrimRightChar(dbcs, "C:\\" + kTrailBackslash + "\\\\", '\\'), "C:\\" + kTrailBackslash);
  EXPECT_EQ(MbTrimRightChar(dbcs, kTrailBackslash, '\\'), kTrailBackslash);
  EXPECT_EQ(MbTrimLeftChar(sbcs, "\"\"x\"", '"'), "x\"");
}

TEST_F(TextTest, CharacterCountsAndSuffixes) {
  EXPECT_EQ(MbLastChars(dbcs, "a" + kTrailA + "bcd", 4), kTrailA + "bcd");
  EXPECT_EQ(MbLastChars(dbcs, kTrailA + "x", 4), kTrailA + "x");
  EXPECT_TRUE(MbEndsWithNoCase(sbcs, "RUN.XML", ".xml"));
  EXPECT_FALSE(MbEndsWithNoCase(sbcs, "xml", ".xml"));
  EXPECT_FALSE(MbEndsWithNoCase(dbcs, "\x83.xml", ".xml"));  // the "." is a trail byte
}

TEST_F(TextTest, ReplaceAllMatchesOnCharacterBoundaries) {
  EXPECT_EQ(MbReplaceAll(sbcs, "D:\\.\\media\\.\\", ".\\", ""), "D:\\media\\");
  EXPECT_EQ(MbReplaceAll(dbcs, "D:\\\x81.\\x.\\", ".\\", ""), "D:\\\x81.\\x");
  EXPECT_EQ(MbReplaceAll(sbcs, "aaa", "a", "aa"), "aaaaaa");
  EXPECT_EQ(MbReplaceAll(sbcs, "abc", "", "x"), "abc");
}

}  // namespace
}  // namespace nv
