#include "deploy/shell_helpers.h"

#include <gtest/gtest.h>

#include "app/run_context.h"
#include "platform/fake/fake_platform.h"
#include "status/run_log.h"

namespace nv {
namespace {

const char kPrograms[] = "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs";

class ShellHelpersTest : public ::testing::Test {
 protected:
  ShellHelpersTest() { w.shell.SetFolder(CSIDL_COMMON_PROGRAMS, kPrograms); }
  // The recorded shell file operations as "<op> <from>|<to> <flags in
  // decimal>", whatever the hex spelling of the record.
  std::vector<std::string> ShellOps() {
    const std::string prefix = "SHFileOperationA ";
    std::vector<std::string> ops;
    for (const std::string& call : w.shell.Calls()) {
      if (call.rfind(prefix, 0) != 0) continue;
      size_t flagsAt = call.rfind(' ');
      ops.push_back(call.substr(prefix.size(), flagsAt - prefix.size()) + " " +
                    std::to_string(std::stoul(call.substr(flagsAt + 1), nullptr, 16)));
    }
    return ops;
  }
  fake::FakeWindows w;
};

TEST_F(ShellHelpersTest, CopyAndDeleteHandTheShellOneCutPath) {
  w.files.AddFile("C:\\src\\a.txt");
  EXPECT_TRUE(CopyFiles(w.platform, "C:\\src", "C:\\dst", true, true));
  EXPECT_TRUE(CopyFiles(w.platform, "C:\\src", "C:\\dst2", false, false));
  EXPECT_TRUE(DeleteFiles(w.platform, "C:\\src\\*.txt", true));
  EXPECT_TRUE(DeleteFiles(w.platform, "C:\\src\\*.txt", false));  // nothing left: no shell call
  w.shell.SetFileOperationResult(1223);
  EXPECT_FALSE(CopyFiles(w.platform, "C:\\src", "C:\\dst", false, true));
  w.codePage.SetDoubleByte(true);
  // The 260-byte cut falls inside the double-byte "\x81\x5c": it goes before it.
  CopyFiles(w.platform, "C:\\" + std::string(256, 'a') + "\x81\x5c" + "tail", std::string(300, 'd'), false, false);
  EXPECT_EQ(ShellOps(), (std::vector<std::string>{
                            "2 C:\\src|C:\\dst 532", "2 C:\\src|C:\\dst2 0", "3 C:\\src\\*.txt| 528",
                            "2 C:\\src|C:\\dst 4",
                            "2 C:\\" + std::string(256, 'a') + "|" + std::string(260, 'd') + " 0"}));
}

// Whether anything below a junction (standing for what it points at) was
// deleted, or the shell was asked to delete anything.
bool WentThroughLink(fake::FakeWindows& w) {
  for (const std::string& call : w.files.Calls()) {
    if (call.find("through.txt") != std::string::npos && call.rfind("DeleteFile", 0) == 0) return true;
  }
  for (const std::string& call : w.shell.Calls()) {
    if (call.rfind("SHFileOperationA 3 ", 0) == 0) return true;
  }
  return false;
}

TEST_F(ShellHelpersTest, DeleteTreeRemovesEverythingButFollowsNoLinks) {
  w.files.AddFile("C:\\t\\ro.txt", "", FILE_ATTRIBUTE_READONLY);
  w.files.AddFile("C:\\t\\sub\\deep\\h.txt", "", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  w.files.AddDir("C:\\t\\link", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT);  // a junction
  w.files.AddFile("C:\\t\\link\\through.txt");  // stands for what it points at
  DeleteTree(w.platform, "C:\\t");
  EXPECT_FALSE(WentThroughLink(w));
  EXPECT_FALSE(w.files.Exists("C:\\t"));
  DeleteTree(w.platform, "C:\\missing");
}

// The folder to remove is itself a junction: the staging folder's removal
// and the tree removal take away the link alone.
TEST_F(ShellHelpersTest, ALinkedTopFolderIsUnlinkedNotEmptied) {
  RunContext ctx(w.platform);
  for (bool staging : {false, true}) {
    SCOPED_TRACE(staging);
    w.files.AddDir("C:\\top", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT);
    w.files.AddFile("C:\\top\\through.txt");
    w.files.ClearCalls();
    if (staging) {
      EXPECT_TRUE(DeleteForRun(ctx, "C:\\top"));
    } else {
      DeleteTree(w.platform, "C:\\top");
    }
    EXPECT_FALSE(WentThroughLink(w));
    EXPECT_FALSE(w.files.Exists("C:\\top"));
  }
}

// Without a person at the computer no shell error box may wait for an
// answer; a failure leaves a log line either way.
TEST_F(ShellHelpersTest, TheRunsOwnCopiesShowNoErrorBoxesUnlessInteractive) {
  w.files.AddFile("C:\\src\\a.txt");
  RunContext ctx(w.platform);
  ctx.options.logFile = "C:\\run.log";
  OpenRunLog(ctx);
  w.shell.SetFileOperationResult(0x78);
  // Interactive on a desktop nobody can see (/I under an agent) is silent.
  for (auto [interactive, visible] : {std::pair{false, true}, {true, true}, {true, false}}) {
    ctx.options.interactive = interactive;
    ctx.desktopVisible = visible;
    EXPECT_FALSE(CopyForRun(ctx, "C:\\src", "C:\\dst", true));
    EXPECT_FALSE(DeleteForRun(ctx, "C:\\src"));
  }
  CloseRunLog(ctx);
  EXPECT_EQ(ShellOps(), (std::vector<std::string>{"2 C:\\src|C:\\dst 1556", "3 C:\\src| 1556",
                                                  "2 C:\\src|C:\\dst 532", "3 C:\\src| 528",
                                                  "2 C:\\src|C:\\dst 1556", "3 C:\\src| 1556"}));
  const std::string line = "Shell operation failed with code 120: C:\\src\n";
  EXPECT_EQ(w.files.Contents("C:\\run.log"), line + line + line + line + line + line);
}

TEST_F(ShellHelpersTest, CreateDirectoryPathCreatesTheChainFromTheTop) {
  w.files.AddDir("C:\\a");
  EXPECT_TRUE(CreateDirectoryPath(w.platform, "C:\\a\\b\\c\\d", false));
  std::vector<std::string> made;
  for (const std::string& call : w.files.Calls()) {
    if (call.rfind("CreateDir", 0) == 0) made.push_back(call.substr(10));
  }
  EXPECT_EQ(made, (std::vector<std::string>{"C:", "C:\\a", "C:\\a\\b", "C:\\a\\b\\c", "C:\\a\\b\\c\\d"}));
  EXPECT_TRUE(CreateDirectoryPath(w.platform, "C:\\x\\y\\file.txt", true));
  EXPECT_TRUE(w.files.IsDir("C:\\x\\y"));
  EXPECT_FALSE(w.files.Exists("C:\\x\\y\\file.txt"));
  EXPECT_FALSE(CreateDirectoryPath(w.platform, "name-only", true));
}

TEST_F(ShellHelpersTest, CreateShortcutFailsWithoutLeavingFolders) {
  w.shell.FailSetPath(E_INVALIDARG);
  EXPECT_EQ(CreateShortcut(w.platform, CSIDL_COMMON_PROGRAMS, "F", "S", "C:\\u.exe", "d"), E_INVALIDARG);
  w.shell.FailSetPath(S_OK);
  // 260 UTF-16 units include the terminating zero: 259 characters fit.
  std::string fits(259 - std::string(kPrograms).size() - 1 - 4, 'n');
  EXPECT_EQ(CreateShortcut(w.platform, CSIDL_COMMON_PROGRAMS, "", fits, "C:\\u.exe", "d"), S_OK);
  EXPECT_LT(CreateShortcut(w.platform, CSIDL_COMMON_PROGRAMS, "F", fits, "C:\\u.exe", "d"), 0);
  w.shell.SetFolder(CSIDL_COMMON_PROGRAMS, "");
  EXPECT_LT(CreateShortcut(w.platform, CSIDL_COMMON_PROGRAMS, "F", "S", "C:\\u.exe", "d"), 0);
  EXPECT_FALSE(w.files.Exists(std::string(kPrograms) + "\\F"));
  EXPECT_FALSE(w.files.Exists("\\F"));
}

TEST_F(ShellHelpersTest, DeleteShortcutDeletesNothingWithoutItsFolder) {
  w.files.AddFile("\\F\\S.lnk");
  w.shell.SetFolder(CSIDL_COMMON_PROGRAMS, "");
  EXPECT_FALSE(DeleteShortcut(w.platform, CSIDL_COMMON_PROGRAMS, "F", "S"));
  EXPECT_TRUE(w.files.Exists("\\F\\S.lnk"));
}

}  // namespace
}  // namespace nv
