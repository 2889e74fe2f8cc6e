#include "check/fleet_summary.h"

#include <gtest/gtest.h>

#include "check/check_media.h"
#include "platform/fake/fake_platform.h"
#include "platform/fake/fake_trust.h"
#include "status/json_text.h"

namespace nv {
namespace {

std::string Document(const std::string& computer, const std::string& state, const std::string& exitCode,
                     const std::string& restart, const std::string& items) {
  return "{\"schema\": 1, \"computer\": \"" + computer + "\", \"state\": \"" + state + "\", \"restart\": \"" +
         restart + "\", \"exitCode\": " + exitCode + ", \"items\": [" + items + "]}";
}

std::string Item(int n, const std::string& outcome, int returnValue) {
  return "{\"item\": " + std::to_string(n) + ", \"product\": \"C:\\\\m\\\\a.msi\", \"outcome\": \"" + outcome +
         "\", \"returnValue\": " + std::to_string(returnValue) + "}";
}

TEST(FleetSummaryTest, CountsFinishedFailedUnfinishedAndUnreadableRuns) {
  fake::FakeWindows w;
  fake::FakeTrust trust;
  const std::string dir = "C:\\results\\";
  w.files.AddFile(dir + "PC-1.json", Document("PC-1", "finished", "0", "none", Item(1, "succeeded", 0)));
  w.files.AddFile(dir + "PC-2.json", Document("PC-2", "finished", "1603", "none", Item(1, "failed", 1603)));
  w.files.AddFile(dir + "PC-3.json", Document("PC-3", "running", "null", "none", Item(1, "succeeded", 0)));
  // A computer whose name is not ASCII, waiting for its restart.
  w.files.AddFile(dir + "PC-4.json",
                  Document("PC-\xc3\xa9", "finished", "3010", "suppressed", Item(1, "restart needed", 3010)));
  w.files.AddFile(dir + "broken.json", "{\"schema\": 1, ");
  w.files.AddFile(dir + "bad\xe9.json", Document("PC-5", "finished", "\"0\"", "none", ""));
  w.files.AddFile(dir + "notes.txt", "not a result");
  std::string out, err;
  EXPECT_EQ(CheckMedia(w.platform, trust, {"/fleet=C:\\results"}, &out, &err), 4);
  EXPECT_EQ(out,
            "results folder: C:\\results\n"
            "computers: 6 (finished 3, not finished 1, unreadable 2)\n"
            "exit codes: 0 x1, 1603 x1, 3010 x1\n"
            "item 1 C:\\m\\a.msi: 2 succeeded, 1 restart needed, 1 failed (1603: PC-2)\n"
            "restart pending: 1 (PC-\xc3\xa9)\n"
            "not finished: PC-3 (after item 1)\n"
            "unreadable: bad\xe9.json, broken.json\n");
  out.clear();
  EXPECT_EQ(CheckMedia(w.platform, trust, {"/json", "/FLEET=C:\\results\\"}, &out, &err), 4);
  const Json doc = ParseJson(out);
  ASSERT_FALSE(doc.is_discarded()) << out;
  EXPECT_EQ(doc["computers"], Json({{"total", 6}, {"finished", 3}, {"notFinished", 1}, {"unreadable", 2}}));
  EXPECT_EQ(doc["exitCodes"], Json({{"0", 1}, {"1603", 1}, {"3010", 1}}));
  EXPECT_EQ(doc["items"][0]["failures"], Json::parse("[{\"returnValue\": 1603, \"count\": 1, \"computers\": [\"PC-2\"]}]"));
  EXPECT_EQ(doc["items"][0]["timedOut"], 0);
  EXPECT_EQ(doc["notFinished"], Json::parse("[{\"computer\": \"PC-3\", \"lastItem\": 1}]"));
  EXPECT_EQ(doc["unreadable"], Json({"bad\xc3\xa9.json", "broken.json"}));
  EXPECT_TRUE(err.empty());

  // Each failure code names ten computers at most; every computer finished
  // well gives 0; a folder that cannot be read has its own code.
  fake::FakeWindows many;
  for (int i = 0; i < 12; ++i) {
    many.files.AddFile("C:\\r\\" + std::to_string(i) + ".json",
                       Document("PC" + std::to_string(i), "finished", "0", "none", Item(1, "failed", 1605)));
  }
  out.clear();
  EXPECT_EQ(SummariseFleet(many.platform, "C:\\r", false, &out), 0);
  EXPECT_NE(out.find("12 failed (1605: PC0, PC1, PC10, PC11, PC2, PC3, PC4, PC5, PC6, PC7 and 2 more)"),
            std::string::npos) << out;
  EXPECT_EQ(SummariseFleet(many.platform, "C:\\none", false, &out), kCheckFolderUnreadable);
  many.files.FailList("C:\\r");
  EXPECT_EQ(SummariseFleet(many.platform, "C:\\r", false, &out), kCheckFolderUnreadable);
  EXPECT_EQ(CheckMedia(w.platform, trust, {"/fleet=C:\\results", "/signed"}, &out, &err), kCheckUsageError);
}

}  // namespace
}  // namespace nv
