#include <gtest/gtest.h>

#include "platform/win32/test_support.h"
#include "platform/win32/win32_platform.h"

namespace nv {
namespace win32 {
namespace {

// The tests run Wine in its default Western European set-up.
bool WesternCodePage() { return GetACP() == 1252; }

TEST(Win32CodePageTest, LowerCaseAndWhiteSpaceOfTheWesternCodePage) {
  if (!WesternCodePage()) GTEST_SKIP() << "ANSI code page " << GetACP();
  Win32CodePage cp;
  EXPECT_EQ(cp.ToLower('A'), 'a');
  EXPECT_EQ(cp.ToLower('Z'), 'z');
  EXPECT_EQ(cp.ToLower('a'), 'a');
  EXPECT_EQ(cp.ToLower('['), '[');
  EXPECT_EQ(cp.ToLower('\\'), '\\');
  EXPECT_EQ(cp.ToLower(0xC0), 0xE0);  // A grave
  EXPECT_EQ(cp.ToLower(0xDE), 0xFE);  // thorn
  EXPECT_EQ(cp.ToLower(0x8A), 0x9A);  // S caron
  EXPECT_EQ(cp.ToLower(0xDF), 0xDF);  // sharp s is lower case already

  // White space: see agreement_test.cpp.

  for (int c = 0; c < 256; ++c) EXPECT_FALSE(cp.IsLeadByte(static_cast<uint8_t>(c))) << c;
}

TEST(Win32CodePageTest, ToWideNeedsRoomForTheTerminatingZero) {
  Win32CodePage cp;
  std::u16string wide = u"stale";
  EXPECT_TRUE(cp.ToWide("abc", 4, &wide));
  EXPECT_EQ(wide, u"abc");
  EXPECT_FALSE(cp.ToWide("abc", 3, &wide));
  EXPECT_EQ(wide, u"");
  EXPECT_TRUE(cp.ToWide("", 1, &wide));
  EXPECT_EQ(wide, u"");
  EXPECT_FALSE(cp.ToWide("", 0, &wide));
  // Like an ANSI call, the conversion ends at a zero.
  EXPECT_TRUE(cp.ToWide(std::string("ab\0cd", 5), 3, &wide));
  EXPECT_EQ(wide, u"ab");

  std::string path = "C:\\" + std::string(300, 'd') + "\\x.lnk";
  EXPECT_FALSE(cp.ToWide(path, MAX_PATH, &wide));
  EXPECT_TRUE(cp.ToWide(path, path.size() + 1, &wide));
  EXPECT_EQ(wide.size(), path.size());

  if (WesternCodePage()) {
    EXPECT_TRUE(cp.ToWide("\xE9t\xE9 \x80", 10, &wide));
    EXPECT_EQ(wide, u"\u00e9t\u00e9 \u20ac");
  }
}

}  // namespace
}  // namespace win32
}  // namespace nv
