#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include "platform/win32/test_support.h"
#include "platform/win32/win32_platform.h"

namespace nv {
namespace win32 {
namespace {

using testing::ReadBytes;
using testing::ScratchFolder;
using testing::WriteBytes;

const uint16_t kQuiet = FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR | FOF_SILENT;

std::string RawSpecialFolder(int csidl) {
  char buffer[MAX_PATH] = {};
  if (!SHGetSpecialFolderPathA(nullptr, buffer, csidl, FALSE)) return std::string();
  return buffer;
}

TEST(Win32ShellTest, CopiesAndDeletesSinglePaths) {
  ScratchFolder dir("fileop");
  Win32Shell shell;
  Win32FileSystem files;
  ASSERT_TRUE(files.CreateDir(dir / "src"));
  ASSERT_TRUE(WriteBytes(dir / "src\\a.txt", "alpha"));
  ASSERT_TRUE(WriteBytes(dir / "src\\b.txt", "beta"));
  ASSERT_TRUE(files.CreateDir(dir / "dest"));

  EXPECT_EQ(shell.FileOperation(FO_COPY, dir / "src\\a.txt", dir / "dest", kQuiet), 0);
  EXPECT_EQ(ReadBytes(dir / "dest\\a.txt"), "alpha");
  EXPECT_EQ(shell.FileOperation(FO_COPY, dir / "src\\*.txt", dir / "dest", kQuiet), 0);
  EXPECT_EQ(ReadBytes(dir / "dest\\b.txt"), "beta");

  EXPECT_EQ(shell.FileOperation(FO_DELETE, dir / "dest\\*.txt", "", FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR), 0);
  EXPECT_FALSE(files.Access(dir / "dest\\a.txt"));
  EXPECT_FALSE(files.Access(dir / "dest\\b.txt"));
  EXPECT_EQ(shell.FileOperation(FO_DELETE, dir / "src", "", FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR), 0);
  EXPECT_FALSE(files.Access(dir / "src"));
  // Deleting never goes through the recycle bin, so nothing is left over.
  EXPECT_NE(shell.FileOperation(FO_COPY, dir / "src\\a.txt", dir / "dest", kQuiet), 0);
}

TEST(Win32ShellTest, OverlongPathsAreCutNotOverrun) {
  ScratchFolder dir("fileop_long");
  Win32Shell shell;
  std::string overlong = dir.path() + "\\" + std::string(600, 'p') + "\\x.txt";
  EXPECT_NE(shell.FileOperation(FO_COPY, overlong, dir / "dest", kQuiet), 0);
  EXPECT_NE(shell.FileOperation(FO_COPY, dir / "nothing.txt", overlong, kQuiet), 0);
  EXPECT_NE(shell.FileOperation(FO_DELETE, overlong, overlong, FOF_NOCONFIRMATION), 0);
}

TEST(Win32ShellTest, SpecialFoldersAreThoseOfA32BitProgram) {
  Win32Shell shell;
  std::string viaLocation = shell.FolderLocationPath(CSIDL_PROGRAM_FILES);
  std::string viaPath;
  ASSERT_TRUE(shell.SpecialFolderPath(CSIDL_PROGRAM_FILES, &viaPath));
  ASSERT_FALSE(viaLocation.empty());
  EXPECT_EQ(viaLocation, viaPath);
#ifdef _WIN64
  // A 32-bit process is given "Program Files (x86)" for CSIDL_PROGRAM_FILES.
  EXPECT_EQ(viaLocation, RawSpecialFolder(CSIDL_PROGRAM_FILESX86));
  EXPECT_NE(viaLocation, RawSpecialFolder(CSIDL_PROGRAM_FILES));
#endif

  std::string programs = shell.FolderLocationPath(CSIDL_COMMON_PROGRAMS);
  EXPECT_FALSE(programs.empty());
  EXPECT_EQ(programs, RawSpecialFolder(CSIDL_COMMON_PROGRAMS));
  EXPECT_EQ(shell.FolderLocationPath(CSIDL_COMMON_STARTMENU), RawSpecialFolder(CSIDL_COMMON_STARTMENU));

  // A number that names no folder.
  EXPECT_EQ(shell.FolderLocationPath(0x7F), "");
  std::string path = "stale";
  EXPECT_FALSE(shell.SpecialFolderPath(0x7F, &path));
  EXPECT_EQ(path, "");
}

TEST(Win32ShellTest, ShellLinkIsSavedWithItsTargetAndDescription) {
  ScratchFolder dir("link");
  Win32Shell shell;
  Win32CodePage codePage;
  std::string target = dir / "Uninstall.exe";
  ASSERT_TRUE(WriteBytes(target, "MZ"));
  std::string linkPath = dir / "Uninstall Norvasoft.lnk";
  std::u16string wideLink;
  ASSERT_TRUE(codePage.ToWide(linkPath, MAX_PATH, &wideLink));

  {
    std::unique_ptr<ShellLink> link;
    ASSERT_EQ(shell.CreateShellLink(&link), S_OK);
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->SetPath(target), S_OK);
    EXPECT_EQ(link->SetDescription("Removes the suite"), S_OK);
    EXPECT_EQ(link->Save(wideLink), S_OK);

    std::u16string missingFolder;
    ASSERT_TRUE(codePage.ToWide(dir / "missing\\x.lnk", MAX_PATH, &missingFolder));
    EXPECT_TRUE(FAILED(link->Save(missingFolder)));
  }
  ASSERT_TRUE(testing::FileExists(linkPath));

  // Read back through a link object of its own.
  IShellLinkA* reader = nullptr;
  ASSERT_TRUE(SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                         reinterpret_cast<void**>(&reader))));
  IPersistFile* file = nullptr;
  ASSERT_TRUE(SUCCEEDED(reader->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))));
  EXPECT_EQ(file->Load(reinterpret_cast<const wchar_t*>(wideLink.c_str()), STGM_READ), S_OK);
  char text[MAX_PATH] = {};
  EXPECT_EQ(reader->GetPath(text, MAX_PATH, nullptr, 0), S_OK);
  EXPECT_EQ(_stricmp(text, target.c_str()), 0) << text;
  EXPECT_EQ(reader->GetDescription(text, MAX_PATH), S_OK);
  EXPECT_STREQ(text, "Removes the suite");
  file->Release();
  reader->Release();
}

}  // namespace
}  // namespace win32
}  // namespace nv
