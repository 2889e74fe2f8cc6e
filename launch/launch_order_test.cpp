// The order in which the install pass writes its log and does its work, as
// seen by someone who reads the log while the pass runs: a run ended in the
// middle of an item's long search must leave a log that names the item.

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "app/run_context.h"
#include "launch/launch_loop.h"
#include "platform/fake/fake_platform.h"
#include "status/run_log.h"

namespace nv {
namespace {

const char kFile[] = "D:\\media\\run.xml";
const char kLog[] = "C:\\logs\\run.log";

// The fake file system, with the run log's contents taken down each time a
// folder below the alternative source is listed.
class WatchedFiles : public fake::ForwardingFileSystem {
 public:
  explicit WatchedFiles(fake::FakeFileSystem& files) : ForwardingFileSystem(files), files_(files) {}

  // The run log as it stood at each listing of a folder below E:\alt.
  std::vector<std::string> logAtListing;

  std::vector<FindEntry> Find(const std::string& pattern) override {
    if (pattern.rfind("E:\\alt", 0) == 0 && pattern.size() > 4 && pattern.compare(pattern.size() - 4, 4, "\\*.*") == 0) {
      logAtListing.push_back(files_.Contents(kLog));
    }
    return files_.Find(pattern);
  }

 private:
  fake::FakeFileSystem& files_;
};

class LaunchOrderTest : public ::testing::Test {
 protected:
  LaunchOrderTest()
      : files(w.files),
        platform{files, w.registry, w.installer, w.shell, w.processes, w.ui, w.system, w.codePage},
        ctx(platform) {
    w.system.SetNow(LocalTime{2026, 12, 8, 2, 39, 57, 2});
    ctx.options.responseFile = kFile;
    ctx.options.logFile = kLog;
    ctx.options.altSource = "E:\\alt\\";
    ctx.options.verboseTrace = true;
    OpenRunLog(ctx);
    for (const char* folder : {"E:\\alt\\one\\deep", "E:\\alt\\two"}) w.files.AddDir(folder);
  }

  std::string Launch(const std::vector<std::pair<std::string, std::string>>& items) {
    std::string file = "<Items>\n";
    int n = 0;
    for (const auto& item : items) {
      ++n;
      file += "<PRODUCT" + std::to_string(n) + ">" + item.first + "</PRODUCT" + std::to_string(n) + ">\n";
      file += "<PARAMETER" + std::to_string(n) + ">" + item.second + "</PARAMETER" + std::to_string(n) + ">\n";
    }
    w.files.AddFile(kFile, file + "</Items>\n");
    ctx.plan.itemCount = n;
    LaunchItems(ctx);
    return w.files.Contents(kLog);
  }

  fake::FakeWindows w;
  WatchedFiles files;
  Platform platform;
  RunContext ctx;
};

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

TEST_F(LaunchOrderTest, AMissingPackagesHeaderIsOnDiskBeforeTheWalk) {
  std::string log = Launch({{"D:\\m\\a\\App.msi", "ADDLOCAL=ALL"}});
  const std::string beforeWalk =
      "12/08/26 02:39:57 PRODUCT1 D:\\m\\a\\App.msi launched.\n"
      "Product  is being installed/modified/repaired.\n"
      "File D:\\m\\a\\App.msi was not found.\n\n"
      "looking for \\app.msi under E:\\alt\n";
  // E:\alt, its two folders and the one below the first.
  ASSERT_EQ(files.logAtListing.size(), 4u);
  for (const std::string& atListing : files.logAtListing) {
    EXPECT_TRUE(EndsWith(atListing, beforeWalk)) << atListing;
  }
  // The finished log reads as it always did.
  EXPECT_TRUE(EndsWith(log, beforeWalk + "is it @ ?\nGiving up. File D:\\m\\a\\App.msi was not found.\n")) << log;
  for (const std::string& call : w.installer.Calls()) EXPECT_NE(call.rfind("MsiInstallProductA", 0), 0u) << call;
}

TEST_F(LaunchOrderTest, AMissingProgramsHeaderIsOnDiskBeforeTheWalk) {
  w.files.AddFile("E:\\alt\\two\\core\\tools\\setup.exe");
  std::string log = Launch({{"D:\\m\\core\\tools\\setup.exe", "/q"}});
  const std::string beforeWalk =
      "12/08/26 02:39:57 PRODUCT1 D:\\m\\core\\tools\\setup.exe launched.\n"
      "Non-Msi process is being launched.\n"
      "File D:\\m\\core\\tools\\setup.exe was not found.\n"
      "core part is =\\core\\tools\\setup.exe\n";
  ASSERT_FALSE(files.logAtListing.empty());
  for (const std::string& atListing : files.logAtListing) {
    EXPECT_TRUE(EndsWith(atListing, beforeWalk)) << atListing;
  }
  EXPECT_NE(log.find(beforeWalk + "found E:\\alt\\two\\core\\tools\\setup.exe\ncore is =E:\\alt\\two\\core\\tools\\setup.exe\n"
                                  "Launching: E:\\alt\\two\\core\\tools\\setup.exe /q\n\n"
                                  "Launch return value is 0\n\n"),
            std::string::npos)
      << log;
  EXPECT_EQ(w.processes.Started(), std::vector<std::string>{"E:\\alt\\two\\core\\tools\\setup.exe"});
}

// The media check decides the same items without writing a log: the lines
// after the header stay with the decision, in the same words.
TEST_F(LaunchOrderTest, TheMediaCheckStillKeepsTheLinesOfItsDecisions) {
  w.files.AddFile(kFile, "<Items>\n<PRODUCT1>D:\\m\\a\\App.msi</PRODUCT1>\n<PARAMETER1></PARAMETER1>\n</Items>\n");
  const std::string logBefore = w.files.Contents(kLog);
  ItemDecision d = DecideItem(ctx, 1);
  EXPECT_EQ(w.files.Contents(kLog), logBefore);
  EXPECT_EQ(d.logAfterHeader,
            "Product  is being installed/modified/repaired.\n"
            "File D:\\m\\a\\App.msi was not found.\n\n"
            "looking for \\app.msi under E:\\alt\n"
            "is it @ ?\n"
            "Giving up. File D:\\m\\a\\App.msi was not found.\n");
  EXPECT_FALSE(d.found);
}

}  // namespace
}  // namespace nv
