// The shell helpers on the real file system and shell.

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>

#include "deploy/shell_helpers.h"
#include "platform/win32/win32_platform.h"

namespace nv {
namespace {

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void MakeFile(const std::string& path, DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, attributes, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
  CloseHandle(file);
}

class ShellHelpersWin32Test : public ::testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    root = std::string(temp) + "nv_shell_" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    DeleteTree(w.platform, root);
    ASSERT_TRUE(CreateDirectoryA(root.c_str(), nullptr));
  }
  void TearDown() override { DeleteTree(w.platform, root); }
  win32::Win32Windows w;
  std::string root;
};

TEST_F(ShellHelpersWin32Test, FoldersAreMadeProbedAndRemovedWhole) {
  EXPECT_EQ(ProbePath(w.platform, root + "\\*"), 1);  // only "." and ".."
  EXPECT_TRUE(CreateDirectoryPath(w.platform, root + "\\one\\two\\three", false));
  EXPECT_TRUE(CreateDirectoryPath(w.platform, root + "\\x\\y\\file.log", true));
  EXPECT_TRUE(Exists(root + "\\x\\y"));
  EXPECT_FALSE(Exists(root + "\\x\\y\\file.log"));
  MakeFile(root + "\\ro.txt", FILE_ATTRIBUTE_READONLY);
  MakeFile(root + "\\one\\hidden.txt", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  MakeFile(root + "\\one\\two\\three\\ro.txt", FILE_ATTRIBUTE_READONLY);
  SetFileAttributesA((root + "\\one\\two").c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(ProbePath(w.platform, root + "\\*"), 2);
  DeleteTree(w.platform, root);
  EXPECT_FALSE(Exists(root));
}

TEST_F(ShellHelpersWin32Test, CopyAndDeleteThroughTheShell) {
  MakeFile(root + "\\src.txt");
  // The shell drops trailing blanks: the first 260 characters name the file,
  // the 40 after them would name nothing.
  std::string source = root + "\\src.txt";
  source += std::string(260 - source.size(), ' ') + std::string(40, 'x');
  EXPECT_TRUE(CopyFiles(w.platform, source, root + "\\dst.txt", true, true));
  EXPECT_TRUE(Exists(root + "\\dst.txt"));
  EXPECT_TRUE(DeleteFiles(w.platform, root + "\\*.none", true));  // no match: nothing touched
  EXPECT_TRUE(Exists(root + "\\src.txt"));
  EXPECT_TRUE(DeleteFiles(w.platform, root + "\\*.txt", true));
  EXPECT_FALSE(Exists(root + "\\src.txt") || Exists(root + "\\dst.txt"));
}

TEST_F(ShellHelpersWin32Test, ShortcutIsSavedReadBackAndDeleted) {
  std::string programs = GetSpecialFolder(w.platform, CSIDL_COMMON_PROGRAMS);
  ASSERT_FALSE(programs.empty());
  std::string target = root + "\\target.exe";
  MakeFile(target);
  ASSERT_EQ(CreateShortcut(w.platform, CSIDL_COMMON_PROGRAMS, "NvShellTest\\Inner", "Uninstall", target,
                           "Norvasoft Uninstaller"),
            S_OK);
  std::string link = programs + "\\NvShellTest\\Inner\\Uninstall.lnk";

  CoInitialize(nullptr);
  IShellLinkA* shellLink = nullptr;
  IPersistFile* persist = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                             reinterpret_cast<void**>(&shellLink)),
            S_OK);
  ASSERT_EQ(shellLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist)), S_OK);
  EXPECT_EQ(persist->Load(std::wstring(link.begin(), link.end()).c_str(), STGM_READ), S_OK);
  char path[MAX_PATH] = {}, description[MAX_PATH] = {};
  shellLink->GetPath(path, MAX_PATH, nullptr, 0);
  shellLink->GetDescription(description, MAX_PATH);
  EXPECT_EQ(lstrcmpiA(path, target.c_str()), 0) << path;
  EXPECT_STREQ(description, "Norvasoft Uninstaller");
  persist->Release();
  shellLink->Release();

  EXPECT_TRUE(DeleteShortcut(w.platform, CSIDL_COMMON_PROGRAMS, "NvShellTest\\Inner", "Uninstall"));
  EXPECT_FALSE(Exists(link));
  EXPECT_TRUE(Exists(programs + "\\NvShellTest\\Inner"));
  EXPECT_LT(CreateShortcut(w.platform, CSIDL_COMMON_PROGRAMS, "NvShellTest", std::string(250, 'n'), target, "d"),
            0);
  DeleteTree(w.platform, programs + "\\NvShellTest");
}

}  // namespace
}  // namespace nv
