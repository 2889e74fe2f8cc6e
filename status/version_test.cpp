#include "status/version.h"

#include <gtest/gtest.h>

#include "platform/fake/fake_platform.h"

namespace nv {
namespace {

class VersionTest : public ::testing::Test {
 protected:
  int Compare(const std::string& a, const std::string& b) { return CompareVersions(w.codePage, a, b); }
  fake::FakeWindows w;
};

TEST_F(VersionTest, PartsCompareAsNumbers) {
  EXPECT_EQ(Compare("3.1.4000.1830", "3.1.4000.2435"), -1);
  EXPECT_EQ(Compare("3.1.4000.2435", "3.1.4000.1830"), 1);
  EXPECT_EQ(Compare("3.1.4000.835", "3.1.4000.1830"), -1);
  EXPECT_EQ(Compare("10.0", "9.9.9.9"), 1);
  EXPECT_EQ(Compare("6.3.9600.17415", "6.3.9600.17415"), 0);
}

TEST_F(VersionTest, MissingEmptyAndNonNumericPartsCountAsZero) {
  EXPECT_EQ(Compare("5.0", "5.0.0.0"), 0);
  EXPECT_EQ(Compare("1.2.", "1.2"), 0);
  EXPECT_EQ(Compare("", ""), 0);
  EXPECT_EQ(Compare("", "0.0.0.0"), 0);
  EXPECT_EQ(Compare("", "6.2.0.0"), -1);
  EXPECT_EQ(Compare("0.0.0.1", ""), 1);
  EXPECT_EQ(Compare("a.b.c", "0"), 0);
  EXPECT_EQ(Compare("1..3", "1.0.3"), 0);
  EXPECT_EQ(Compare("7beta.2", "7.2"), 0);  // reading stops at the first non-digit
  EXPECT_EQ(Compare("0x10", "0"), 0);        // decimal only
}

TEST_F(VersionTest, PartsAreReadAsStrtolReadsA32BitLong) {
  EXPECT_EQ(Compare(" 2.\t+3", "2.3"), 0);
  EXPECT_EQ(Compare("-1", "0"), -1);
  // Saturation at 32 bits: every number past the limit is the limit, in all
  // builds whatever the width of the host's long.
  EXPECT_EQ(Compare("2147483647", "99999999999999999999"), 0);
  EXPECT_EQ(Compare("4294967296", "2147483646"), 1);
  EXPECT_EQ(Compare("-2147483648", "-99999999999999999999"), 0);
  EXPECT_EQ(Compare("-99999999999999999999", "-2147483647"), -1);
}

TEST_F(VersionTest, OnlyTheFirst31CharactersCount) {
  // 40 characters whose difference lies past the 31st.
  const std::string base = "1.2.3.4.5.6.7.8.9.10.11.12.13.1";  // 31 characters
  ASSERT_EQ(base.size(), 31u);
  EXPECT_EQ(Compare(base + "999999999", base + "000000001"), 0);
  EXPECT_EQ(Compare(base + "9", base), 0);
  // 100-character texts are read as safely.
  EXPECT_EQ(Compare(std::string(100, '9'), std::string(100, '9') + ".1"), 0);
  EXPECT_EQ(Compare(std::string(100, '.'), ""), 0);
}

TEST_F(VersionTest, DotsAreFoundByCharacters) {
  w.codePage.SetDoubleByte(true);
  // 0x81 0x2E is one character: its "." is no separator, so the part reads
  // as 0 and the text has a single part.
  EXPECT_EQ(Compare("\x81.5", "0"), 0);
  EXPECT_EQ(Compare("1.\x81.5", "1.0"), 0);
  w.codePage.SetDoubleByte(false);
  EXPECT_EQ(Compare("1.\x81.5", "1.0.5"), 0);
}

TEST_F(VersionTest, FileVersionsArePrintedInFull) {
  w.files.SetFileVersion("C:\\Windows\\system32\\kernel32.dll", (6u << 16) | 3u, (9600u << 16) | 17415u);
  EXPECT_EQ(GetFileVersionText(w.files, "C:\\Windows\\system32\\kernel32.dll"), "6.3.9600.17415");
  w.files.SetFileVersion("C:\\tools\\max.dll", 0xFFFFFFFFu, 0xFFFF0000u);
  EXPECT_EQ(GetFileVersionText(w.files, "C:\\tools\\max.dll"), "65535.65535.65535.0");
}

TEST_F(VersionTest, UnreadableFilesGiveTheEmptyVersion) {
  w.files.AddFile("C:\\plain.txt", "text");
  EXPECT_EQ(GetFileVersionText(w.files, "C:\\plain.txt"), "");
  EXPECT_EQ(GetFileVersionText(w.files, "C:\\missing.dll"), "");
  EXPECT_EQ(Compare(GetFileVersionText(w.files, "C:\\missing.dll"), "6.2.0.0"), -1);
  // A path too long for the version calls' buffer is refused, not cut to the
  // name of another file.
  const std::string deep = "C:\\" + std::string(251, 'd') + "\\a.dll";
  w.files.SetFileVersion(deep.substr(0, 259), 1u << 16, 0);
  w.files.SetFileVersion(deep, 1u << 16, 0);
  ASSERT_EQ(deep.size(), 260u);
  EXPECT_EQ(GetFileVersionText(w.files, deep), "");
}

}  // namespace
}  // namespace nv
