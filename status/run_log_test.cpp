#include "status/run_log.h"

#include <gtest/gtest.h>

#include "app/run_context.h"
#include "platform/fake/fake_platform.h"

namespace nv {
namespace {

const char kSetup[] = "Software\\Norvasoft\\Setup";
const char kDefaultLog[] = "C:\\Temp\\VOVarOvadevir Tue Dec  8 02.39.57 2026.log";

class RunLogTest : public ::testing::Test {
 protected:
  RunLogTest() : ctx(w.platform) { w.files.SetTempPath("C:\\Temp"); }
  fake::FakeWindows w;
  RunContext ctx;
};

TEST_F(RunLogTest, DefaultNameFromTheLocalTimeReplacesAnOldLog) {
  w.files.AddFile(kDefaultLog, "old run");
  OpenRunLog(ctx);
  EXPECT_EQ(ctx.tempDir, "C:\\Temp\\");
  EXPECT_EQ(ctx.log.path, kDefaultLog);
  EXPECT_FALSE(ctx.options.msiLogging);
  WriteRunLog(ctx, std::string("a\nb\0c", 5));
  EXPECT_EQ(w.files.Contents(kDefaultLog), std::string("a\nb\0c", 5));
}

TEST_F(RunLogTest, WithoutATemporaryFolderTheLogGoesToTheWindowsTempFolderNotTheRoot) {
  w.files.SetTempPath("");  // a TEMP too long for Windows to hand out
  OpenRunLog(ctx);
  EXPECT_EQ(ctx.tempDir, "C:\\Windows\\Temp\\");
  WriteRunLog(ctx, "x");
  EXPECT_EQ(w.files.Contents("C:\\Windows\\Temp\\VOVarOvadevir Tue Dec  8 02.39.57 2026.log"), "x");
  w.files.SetSystemDirectory("");
  EXPECT_EQ(TemporaryFolder(w.platform), "C:\\Windows\\Temp\\");
}

TEST_F(RunLogTest, GivenLogFileGetsItsFoldersAndEnableLoggingCountsByPresence) {
  w.registry.SetValue(RegRoot::LocalMachine, kSetup, "EnableLogging", std::string(4, '\0'));
  ctx.options.logFile = "C:\\Logs\\Deep\\run";
  OpenRunLog(ctx);
  EXPECT_TRUE(ctx.options.msiLogging);
  EXPECT_FALSE(w.files.IsDir("C:\\Logs\\Deep\\run"));
  WriteRunLog(ctx, "x");
  EXPECT_EQ(w.files.Contents("C:\\Logs\\Deep\\run"), "x");
}

TEST_F(RunLogTest, UncreatableLogFileFallsBackToTheDefaultNameThenToNothing) {
  ctx.options.logFile = "C:\\Locked\\run.log";
  w.files.FailCreate(ctx.options.logFile);
  OpenRunLog(ctx);
  WriteRunLog(ctx, "kept");
  EXPECT_EQ(ctx.log.path, kDefaultLog);
  EXPECT_EQ(w.files.Contents(kDefaultLog), "kept");

  fake::FakeWindows none;
  none.files.FailCreate("C:\\Users\\admin\\AppData\\Local\\Temp\\VOVarOvadevir Tue Dec  8 02.39.57 2026.log");
  RunContext c(none.platform);
  OpenRunLog(c);
  WriteRunLog(c, "dropped");
  CloseRunLog(c);
  EXPECT_EQ(none.files.OpenFiles(), 0);
}

TEST_F(RunLogTest, ClosingLineAndASingleClose) {
  OpenRunLog(ctx);
  WriteRunLog(ctx, MakeTimeStamp(ctx) + " done.");
  CloseRunLog(ctx);
  CloseRunLog(ctx);
  WriteRunLog(ctx, "late");
  EXPECT_EQ(w.files.Contents(kDefaultLog), "12/08/26 02:39:57 done.");
  EXPECT_EQ(w.system.StdOut(), "\t\t\t\t12/08/26\n \t\t\t\t02:39:57\n");
  int closes = 0;
  for (const std::string& call : w.files.Calls()) closes += call.rfind("Close ", 0) == 0;
  EXPECT_EQ(closes, 1);
}

TEST_F(RunLogTest, MsiLogPathAndWhenItIsWanted) {
  OpenRunLog(ctx);
  w.installer.AddPackage("D:\\a.msi", {{"NVProductPrefix", "ABC"}});
  EXPECT_EQ(BuildMsiLogPath(ctx, "D:\\a.msi"), "C:\\Temp\\MsiABC.log");
  EXPECT_EQ(BuildMsiLogPath(ctx, "{00000000-0000-0000-0000-000000000000}"), "C:\\Temp\\Msi.log");
  EXPECT_FALSE(MsiLoggingWanted(ctx));
  w.registry.SetString(RegRoot::LocalMachine, kSetup, "EnableLogging", "");
  EXPECT_TRUE(MsiLoggingWanted(ctx));  // looked up again before every item
}

TEST_F(RunLogTest, LogDirTakesTheLogsExpandedAndKeptOrFallsBackToTemp) {
  const std::string name = "VOVarOvadevir Tue Dec  8 02.39.57 2026.log";
  w.system.SetEnvironment("WINDIR", "C:\\Windows");
  w.files.AddFile("C:\\Blocked");
  w.files.FailCreate("C:\\ReadOnly\\" + name);
  w.installer.AddPackage("D:\\a.msi", {{"NVProductPrefix", "A"}});
  // Where the logs go; an unknown name stays as written; a folder that
  // cannot be made, or made but takes no file, gives way to C:\Temp.
  for (const auto& [given, folder] : std::vector<std::pair<std::string, std::string>>{
           {"%X%%WINDIR%\\L\\", "%X%C:\\Windows\\L\\"}, {"C:\\Blocked\\L", "C:\\Temp\\"}, {"C:\\ReadOnly", "C:\\Temp\\"}}) {
    RunContext c(w.platform);
    c.options.logDir = given;
    OpenRunLog(c);
    const std::string msiLog = BuildMsiLogPath(c, "D:\\a.msi");
    EXPECT_EQ(c.log.path + "|" + msiLog, folder + name + "|" + folder + "MsiA.log");
    const bool kept = folder != "C:\\Temp\\";  // appended to from run to run
    EXPECT_EQ((MsiLogAttributes(c, msiLog) & INSTALLLOGATTRIBUTES_APPEND) != 0, kept);
    CloseRunLog(c);
    EXPECT_EQ(w.files.Contents(c.log.path), kept ? "" : "Log folder " + given + " cannot be made or written; logs go to C:\\Temp\\ instead.\n");
  }
}

}  // namespace
}  // namespace nv
