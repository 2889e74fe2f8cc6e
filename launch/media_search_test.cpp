#include "launch/media_search.h"

#include <gtest/gtest.h>

#include "app/run_context.h"
#include "platform/fake/fake_platform.h"
#include "status/run_log.h"

namespace nv {
namespace {

const char kLog[] = "C:\\logs\\run.log";
const char kItem[] = "D:\\media\\core\\AppOne\\AppOne.msi";

class MediaSearchTest : public ::testing::Test {
 protected:
  MediaSearchTest() : ctx(w.platform) {
    ctx.options.logFile = kLog;
    ctx.options.verboseTrace = true;
    ctx.plan.coreDir = "F:\\core\\";
    OpenRunLog(ctx);
  }
  std::string Log() { return w.files.Contents(kLog); }
  fake::FakeWindows w;
  RunContext ctx;
};

// The candidates in the order they are tried, for an item under the media's
// core folder and the alternative source E:\copy.
const char* const kCandidates[] = {
    "E:\\copy\\AppOne.msi",
    "E:\\copy\\AppOne\\AppOne.msi",
    "E:\\copy\\core\\AppOne\\AppOne.msi",
    "E:\\copy",  // the media prefix (here the whole item path) replaced by the source
    "F:\\core\\AppOne\\AppOne.msi",
    "F:\\core\\core\\AppOne\\AppOne.msi",
};

TEST_F(MediaSearchTest, LocatePackageTriesTheCandidatesInOrder) {
  ctx.options.altSource = "E:\\copy\\\\";
  ctx.plan.mediaPrefix = "D:\\media";
  EXPECT_EQ(LocatePackage(ctx, kItem), kItem);
  EXPECT_EQ(Log(),
            "Looking for E:\\copy\\AppOne.msi.\nLooking for E:\\copy\\AppOne\\AppOne.msi.\n"
            "Looking for E:\\copy\\core\\AppOne\\AppOne.msi.\nLooking for E:\\copy\\core\\AppOne\\AppOne.msi.\n"
            "Looking for F:\\core\\AppOne\\AppOne.msi.\nLooking for F:\\core\\core\\AppOne\\AppOne.msi.\n"
            "*** AppOne.msi wasn't found any where!\n");
  // The alternative source lost its backslashes before the media-prefix
  // candidate, and later users see it so.
  EXPECT_EQ(ctx.options.altSource, "E:\\copy");

  for (size_t hit = 0; hit < sizeof(kCandidates) / sizeof(kCandidates[0]); ++hit) {
    SCOPED_TRACE(kCandidates[hit]);
    fake::FakeWindows fresh;
    RunContext c(fresh.platform);
    c.options.altSource = "E:\\copy\\";
    c.plan.coreDir = "F:\\core\\";
    c.plan.mediaPrefix = hit == 3 ? "D:\\media\\core\\AppOne\\AppOne.msi" : "X:\\none";
    const std::string expected = kCandidates[hit];
    fresh.files.AddFile(expected);
    // Every later candidate exists too: the first one wins.
    for (size_t later = hit + 1; later < 6; ++later) fresh.files.AddFile(kCandidates[later]);
    EXPECT_EQ(LocatePackage(c, kItem), expected);
  }
}

TEST_F(MediaSearchTest, ShortPathsAndRedistributablesFollowTheirOwnRules) {
  ctx.options.altSource = "E:\\copy\\";
  for (const char* path : {"C:\\x.msi", "x.msi", "\\\\s\\x.msi", ""}) EXPECT_EQ(LocatePackage(ctx, path), path);
  EXPECT_EQ(Log(), "");
  ctx.options.altSource.clear();
  w.files.AddFile("F:\\core\\dotnet20\\DOTNETFX.EXE");
  w.files.AddFile("F:\\core\\dotNET35\\dotnetfx35.exe");
  EXPECT_EQ(LocatePackage(ctx, "D:\\m\\x\\DOTNETFX.EXE"), "F:\\core\\dotnet20\\DOTNETFX.EXE");
  EXPECT_EQ(LocatePackage(ctx, "D:\\m\\x\\dotnetfx35.exe"), "F:\\core\\dotNET35\\dotnetfx35.exe");
  // A double-byte folder name whose trail byte is a backslash is one piece.
  w.codePage.SetDoubleByte(true);
  const std::string folder = "\x83\x5c";
  w.files.AddFile("F:\\core\\" + folder + "\\a.msi");
  EXPECT_EQ(LocatePackage(ctx, "D:\\m\\" + folder + "\\a.msi"), "F:\\core\\" + folder + "\\a.msi");
}

TEST_F(MediaSearchTest, FindInSubfoldersSearchesDepthFirstBelowTheFolderOnly) {
  w.files.AddFile("E:\\copy\\core\\x\\y.exe");  // the folder itself is not searched
  w.files.AddFile("E:\\copy\\.hidden\\core\\x\\y.exe");
  w.files.AddFile("E:\\copy\\b\\deep\\core\\x\\y.exe");
  w.files.AddFile("E:\\copy\\c\\core\\x\\y.exe");
  w.files.AddDir("E:\\copy\\a");
  EXPECT_EQ(FindInSubfolders(ctx, "E:\\copy\\\\", "\\core\\x\\y.exe"), "E:\\copy\\b\\deep\\core\\x\\y.exe");
  EXPECT_EQ(FindInSubfolders(ctx, "E:\\copy", "\\none.exe"), "");
  EXPECT_EQ(FindInSubfolders(ctx, "E:\\missing", "\\y.exe"), "");
  EXPECT_EQ(Log(), "found E:\\copy\\b\\deep\\core\\x\\y.exe\n");
}

TEST_F(MediaSearchTest, FindInSubfoldersNeverEntersLinkedFolders) {
  // A link that loops back up the tree: tested for the suffix, never
  // entered, so the search ends.
  w.files.AddDir("E:\\copy\\loop", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT);
  w.files.AddFile("E:\\copy\\loop\\inner\\y.exe");
  w.files.AddFile("E:\\copy\\loop\\z.exe");
  EXPECT_EQ(FindInSubfolders(ctx, "E:\\copy", "\\y.exe"), "");
  EXPECT_EQ(FindInSubfolders(ctx, "E:\\copy", "\\z.exe"), "E:\\copy\\loop\\z.exe");
  // A tree deeper than a path can name is not followed past that.
  std::string deep = "E:\\d";
  for (int i = 0; i < 100; ++i) deep += "\\abc";
  w.files.AddFile(deep + "\\y.exe");
  EXPECT_EQ(FindInSubfolders(ctx, "E:\\d", "\\y.exe"), "");
}

TEST_F(MediaSearchTest, ProgramsAndMsiexecPackagesMoveToTheAlternativeSource) {
  ctx.options.altSource = "E:\\alt\\";
  ctx.plan.mediaPrefix = "D:\\media";
  w.files.AddFile("E:\\alt\\disk2\\core\\tools\\tool.exe");
  EXPECT_EQ(RelocateProgram(ctx, "D:\\media\\Core\\Tools\\Tool.exe"), "E:\\alt\\disk2\\core\\tools\\tool.exe");
  EXPECT_EQ(RelocateProgram(ctx, "D:\\media\\core\\none.exe"), "D:\\media\\core\\none.exe");
  EXPECT_EQ(RelocateProgram(ctx, "D:\\media\\Patches\\p.exe"), "E:\\alt\\\\patches\\p.exe");
  EXPECT_EQ(RelocateProgram(ctx, "D:\\media\\other\\p.exe"), "D:\\media\\other\\p.exe");
  EXPECT_EQ(Log(),
            "core part is =\\core\\tools\\tool.exe\nfound E:\\alt\\disk2\\core\\tools\\tool.exe\n"
            "core is =E:\\alt\\disk2\\core\\tools\\tool.exe\ncore part is =\\core\\none.exe\ncore is =\n");

  w.files.AddFile("E:\\alt\\core\\pkg\\a.msi");
  w.files.AddFile("E:\\alt\\disk3\\core\\pkg\\b.msi");
  struct Case {
    const char* parameter;
    const char* relocated;
  } cases[] = {
      {"  /I \"D:\\media\\Core\\pkg\\a.msi\" /qn ", "/I \"E:\\alt\\core\\pkg\\a.msi\" /qn"},
      {"/i \"D:\\media\\core\\pkg\\b.msi\"", "/i \"E:\\alt\\disk3\\core\\pkg\\b.msi\""},
      {"/x \"D:\\media\\core\\pkg\\a.msi\"", "/x \"E:\\alt\\core\\pkg\\a.msi\""},  // media prefix only
      {"/i \"D:\\media\\core\\pkg\\c.msi\"", "/i \"E:\\alt\\core\\pkg\\c.msi\""},  // not found anywhere
      {"/i \"D:\\media\\core", "/i \"E:\\alt\\core"},                            // one quote
  };
  for (const Case& c : cases) EXPECT_EQ(RelocateMsiexecPackage(ctx, c.parameter), c.relocated) << c.parameter;
  EXPECT_EQ(ctx.options.altSource, "E:\\alt");
}

}  // namespace
}  // namespace nv
