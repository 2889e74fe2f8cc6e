// The fake Windows where its rules are easy to get wrong: the code above the
// boundary is only as well tested as the fake is faithful.

#include "platform/fake/fake_platform.h"

#include <gtest/gtest.h>

#include <cstring>

namespace nv {
namespace fake {
namespace {

std::vector<std::string> Names(const std::vector<FindEntry>& entries) {
  std::vector<std::string> names;
  for (const FindEntry& e : entries) names.push_back(e.name);
  return names;
}

using Strings = std::vector<std::string>;

TEST(FakeFiles, PathsCompareWithoutCaseAndKeepTheirOwnSpelling) {
  FakeWindows w;
  w.files.AddFile("C:\\Media\\Core\\AppOne.MSI", "x");
  EXPECT_TRUE(w.files.Access("c:/media/CORE/appone.msi"));
  EXPECT_EQ(Names(w.files.Find("C:\\MEDIA\\core\\appone.msi")), Strings{"AppOne.MSI"});
  EXPECT_TRUE(w.files.Access("C:\\Media\\.\\x\\..\\Core\\AppOne.MSI"));
  // Win32 drops trailing dots and blanks of a name.
  EXPECT_EQ(Names(w.files.Find("C:\\Media\\Core\\AppOne.MSI. ")), Strings{"AppOne.MSI"});
  w.files.SetCurrentDir("C:\\Media");
  EXPECT_TRUE(w.files.Access("Core\\appone.msi"));
  EXPECT_TRUE(w.files.Access("\\media\\core\\appone.msi"));
  w.files.SetCurrentDir("Core");  // relative to the current folder
  EXPECT_TRUE(w.files.Access("appone.msi"));
  EXPECT_EQ(Names(w.files.Find("*.msi")), Strings{"AppOne.MSI"});
  EXPECT_EQ(w.files.ListTree("c:\\MEDIA"), (Strings{"C:\\Media\\Core", "C:\\Media\\Core\\AppOne.MSI"}));
  EXPECT_FALSE(w.files.Access("Q:\\anything"));
}

TEST(FakeFiles, WildcardsMatchAsFindFirstFileDoes) {
  FakeWindows w;
  for (const char* name : {"setup", "setup.exe", "Setup.msi", "a.b.msi", "data.msix", "x.txt"}) {
    w.files.AddFile(std::string("C:\\d\\") + name);
  }
  w.files.AddDir("C:\\d\\sub");
  EXPECT_EQ(Names(w.files.Find("C:\\d\\*")),
            (Strings{".", "..", "a.b.msi", "data.msix", "setup", "setup.exe", "Setup.msi", "sub", "x.txt"}));
  // "*.*" also matches names without a dot, "." and ".." included.
  EXPECT_EQ(Names(w.files.Find("C:\\d\\*.*")), Names(w.files.Find("C:\\d\\*")));
  EXPECT_EQ(Names(w.files.Find("C:\\d\\*.MSI")), (Strings{"a.b.msi", "Setup.msi"}));
  // "*." matches only names without an extension.
  EXPECT_EQ(Names(w.files.Find("C:\\d\\*.")), (Strings{".", "..", "setup", "sub"}));
  // A "?" also matches nothing at the end of the name or before its dot.
  EXPECT_EQ(Names(w.files.Find("C:\\d\\setup?")), (Strings{"setup"}));
  EXPECT_EQ(Names(w.files.Find("C:\\d\\setu?.???")), (Strings{"setup", "setup.exe", "Setup.msi"}));
  EXPECT_EQ(Names(w.files.Find("C:\\d\\s*")), (Strings{"setup", "setup.exe", "Setup.msi", "sub"}));
  EXPECT_TRUE(w.files.Find("C:\\d\\*.xml").empty());
  // No "." or ".." in a drive's root; wildcards only in the last element.
  EXPECT_EQ(Names(w.files.Find("C:\\d*")), Strings{"d"});
  EXPECT_TRUE(w.files.Find("C:\\*\\setup.exe").empty());
}

TEST(FakeFiles, TrailingBackslashAndRootsFindNothing) {
  FakeWindows w;
  w.files.AddDir("C:\\folder");
  w.files.AddFile("C:\\folder\\f.txt");
  EXPECT_TRUE(w.files.Find("C:\\folder\\").empty());
  EXPECT_TRUE(w.files.Find("C:\\").empty());
  EXPECT_EQ(w.files.Find("C:\\folder").size(), 1u);
  EXPECT_TRUE(w.files.Find("C:\\folder").front().IsDirectory());
  // _access accepts a trailing backslash on a folder only.
  EXPECT_TRUE(w.files.Access("C:\\folder\\"));
  EXPECT_FALSE(w.files.Access("C:\\folder\\f.txt\\"));
  // A search of an empty folder still gives "." and "..".
  w.files.AddDir("C:\\empty");
  EXPECT_EQ(Names(w.files.Find("C:\\empty\\*")), (Strings{".", ".."}));
}

TEST(FakeFiles, DoubleByteNamesAreNeitherSplitNorFolded) {
  FakeWindows w;
  w.codePage.SetDoubleByte(true);
  // 0x95 0x5C is one character whose trail byte is "\"; 0x83 0x41 and
  // 0x83 0x61 are two different characters whose trail bytes are "A" and "a".
  const std::string table = "C:\\\x95\\";
  w.files.AddFile(table + "\\setup.msi");
  EXPECT_TRUE(w.files.IsDir(table));
  EXPECT_EQ(Names(w.files.Find(table + "\\*")), (Strings{".", "..", "setup.msi"}));
  EXPECT_EQ(Names(w.files.Find("C:\\*")).back(), "\x95\\");
  w.files.AddFile("C:\\\x83\x41.txt", "upper");
  w.files.AddFile("C:\\\x83\x61.txt", "lower");
  EXPECT_EQ(w.files.Contents("C:\\\x83\x41.txt"), "upper");
  EXPECT_EQ(w.files.Contents("C:\\\x83\x61.TXT"), "lower");
  EXPECT_EQ(Names(w.files.Find("C:\\?.txt")).size(), 2u);  // "?" is one whole character
}

TEST(FakeFiles, ReadersReadLikeFgetsInTextMode) {
  FakeWindows w;
  w.files.AddFile("C:\\r.xml", "ab\r\ncdefg\nh\x1aignored");
  std::unique_ptr<TextReader> reader = w.files.OpenText("C:\\r.xml");
  ASSERT_NE(reader, nullptr);
  EXPECT_EQ(w.files.OpenFiles(), 1);
  std::string line;
  Strings lines;
  while (reader->ReadLine(3, &line)) lines.push_back(line);
  EXPECT_EQ(lines, (Strings{"ab\n", "cde", "fg\n", "h"}));
  EXPECT_TRUE(reader->Close());
  EXPECT_EQ(w.files.OpenFiles(), 0);

  w.files.FailClose("c:\\R.XML");
  reader = w.files.OpenText("C:\\r.xml");
  EXPECT_FALSE(reader->Close());
  w.files.FailOpen("C:\\r.xml");
  EXPECT_EQ(w.files.OpenText("C:\\r.xml"), nullptr);
  EXPECT_EQ(w.files.OpenText("C:\\missing.xml"), nullptr);
  EXPECT_EQ(w.files.OpenText("C:\\Windows"), nullptr);
}

TEST(FakeFiles, WritersAndChangesAreRecorded) {
  FakeWindows w;
  EXPECT_EQ(w.files.CreateCommitted("C:\\no\\such\\run.log"), nullptr);
  EXPECT_TRUE(w.files.CreateDir("C:\\logs\\"));
  EXPECT_FALSE(w.files.CreateDir("C:\\logs"));
  std::unique_ptr<TextWriter> log = w.files.CreateCommitted("C:\\logs\\run.log");
  ASSERT_NE(log, nullptr);
  log->Write("one\n");
  log->Write("two");
  EXPECT_EQ(w.files.Contents("C:\\logs\\run.log"), "one\ntwo");
  EXPECT_TRUE(log->Close());
  EXPECT_EQ(w.files.Calls(), (Strings{"Create C:\\no\\such\\run.log", "CreateDir C:\\logs\\", "CreateDir C:\\logs",
                                      "Create C:\\logs\\run.log", "Write C:\\logs\\run.log one\n",
                                      "Write C:\\logs\\run.log two", "Close C:\\logs\\run.log"}));
  w.files.FailCreate("C:\\logs\\other.log");
  EXPECT_EQ(w.files.CreateCommitted("C:\\logs\\other.log"), nullptr);
}

TEST(FakeFiles, RemovalFollowsTheWindowsRules) {
  FakeWindows w;
  w.files.AddFile("C:\\t\\ro.txt", "", FILE_ATTRIBUTE_READONLY);
  EXPECT_FALSE(w.files.RemoveDir("C:\\t"));  // not empty
  EXPECT_FALSE(w.files.DeleteOneFile("C:\\t\\ro.txt"));
  EXPECT_FALSE(w.files.DeleteOneFile("C:\\t"));
  EXPECT_TRUE(w.files.SetAttributes("C:\\t\\ro.txt", FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(w.files.Attributes("C:\\t\\ro.txt"), static_cast<uint32_t>(FILE_ATTRIBUTE_NORMAL));
  EXPECT_TRUE(w.files.DeleteOneFile("C:\\t\\ro.txt"));
  // The directory and reparse-point flags cannot be set or cleared.
  w.files.AddDir("C:\\t\\link", FILE_ATTRIBUTE_DIRECTORY | 0x400);
  EXPECT_TRUE(w.files.SetAttributes("C:\\t\\link", FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(w.files.Attributes("C:\\t\\link"), static_cast<uint32_t>(FILE_ATTRIBUTE_DIRECTORY | 0x400));
  EXPECT_TRUE(w.files.RemoveDir("C:\\t\\link"));
  w.files.FailRemove("C:\\t");
  EXPECT_FALSE(w.files.RemoveDir("C:\\t"));
  EXPECT_TRUE(w.files.IsDir("C:\\t"));
}

TEST(FakeInstallerTest, StringReadsKeepTheBufferRules) {
  FakeWindows w;
  w.installer.AddPackage("D:\\media\\a.msi", {{"ProductName", "Alpha"}});
  MSIHANDLE db = 0, view = 0, record = 0;
  ASSERT_EQ(w.installer.OpenDatabase("d:\\MEDIA\\a.msi", &db), 0u);
  ASSERT_EQ(w.installer.DatabaseOpenView(db, "Select * FROM `Property` Where `Property`='ProductName'", &view),
            0u);
  ASSERT_EQ(w.installer.ViewExecute(view), 0u);
  ASSERT_EQ(w.installer.ViewFetch(view, &record), 0u);

  char buffer[8];
  std::memset(buffer, 'x', sizeof buffer);
  uint32_t size = 5;  // "Alpha" and its NUL need 6
  EXPECT_EQ(w.installer.RecordGetString(record, 2, buffer, &size), static_cast<uint32_t>(ERROR_MORE_DATA));
  EXPECT_EQ(size, 5u);
  EXPECT_STREQ(buffer, "Alph");
  size = 6;
  EXPECT_EQ(w.installer.RecordGetString(record, 2, buffer, &size), 0u);
  EXPECT_STREQ(buffer, "Alpha");
  EXPECT_EQ(size, 5u);
  size = 0;
  EXPECT_EQ(w.installer.RecordGetString(record, 2, buffer, &size), static_cast<uint32_t>(ERROR_MORE_DATA));
  EXPECT_EQ(size, 5u);
  EXPECT_EQ(w.installer.RecordGetString(record, 2, nullptr, &size), 0u);  // a size query
  EXPECT_EQ(w.installer.RecordGetString(record, 2, buffer, nullptr), static_cast<uint32_t>(ERROR_INVALID_PARAMETER));
  size = sizeof buffer;
  EXPECT_EQ(w.installer.RecordGetString(record, 1, buffer, &size), static_cast<uint32_t>(ERROR_MORE_DATA));
  EXPECT_STREQ(buffer, "Product");
  EXPECT_EQ(size, 11u);
  MSIHANDLE none_left = 0;
  EXPECT_EQ(w.installer.ViewFetch(view, &none_left), static_cast<uint32_t>(ERROR_NO_MORE_ITEMS));

  // Product reads: unknown code, a property the product lacks.
  w.installer.AddProduct("{P}", {{"NVProductPrefix", "AO"}}, {{"Publisher", "Norvasoft Inc."}});
  MSIHANDLE product = 0;
  EXPECT_EQ(w.installer.OpenProduct("{Q}", &product), static_cast<uint32_t>(ERROR_UNKNOWN_PRODUCT));
  ASSERT_EQ(w.installer.OpenProduct("{P}", &product), 0u);
  size = sizeof buffer;
  EXPECT_EQ(w.installer.GetProductProperty(product, "Missing", buffer, &size), 0u);
  EXPECT_STREQ(buffer, "");
  EXPECT_EQ(size, 0u);
  char none[1] = {0};
  size = 0;
  EXPECT_EQ(w.installer.GetProductInfo("{P}", "Publisher", none, &size), static_cast<uint32_t>(ERROR_MORE_DATA));
  EXPECT_EQ(size, 14u);
  EXPECT_EQ(w.installer.GetProductInfo("{P}", "LocalPackage", none, &size),
            static_cast<uint32_t>(ERROR_UNKNOWN_PROPERTY));

  EXPECT_EQ(w.installer.OpenHandles(), 4);
  for (MSIHANDLE h : {record, view, db, product}) EXPECT_EQ(w.installer.CloseHandle(h), 0u);
  EXPECT_EQ(w.installer.OpenHandles(), 0);
  EXPECT_EQ(w.installer.CloseHandle(db), static_cast<uint32_t>(ERROR_INVALID_HANDLE));
}

TEST(FakeInstallerTest, QueriesOfThePropertyTableOnly) {
  FakeWindows w;
  w.installer.AddPackage("C:\\p.msi", {{"NVProductTitle", "Title"}});
  MSIHANDLE db = 0, view = 0, record = 0;
  ASSERT_EQ(w.installer.OpenDatabase("C:\\p.msi", &db), 0u);
  ASSERT_EQ(w.installer.DatabaseOpenView(db, "SELECT * FROM Property WHERE Property = 'NVProductTitle'", &view),
            0u);
  ASSERT_EQ(w.installer.ViewExecute(view), 0u);
  EXPECT_EQ(w.installer.ViewFetch(view, &record), 0u);
  EXPECT_EQ(w.installer.DatabaseOpenView(db, "SELECT * FROM File WHERE File = 'x'", &view),
            static_cast<uint32_t>(ERROR_BAD_QUERY_SYNTAX));
  EXPECT_EQ(w.installer.DatabaseOpenView(db, "SELECT * FROM Property WHERE Property = 'unclosed", &view),
            static_cast<uint32_t>(ERROR_BAD_QUERY_SYNTAX));
  ASSERT_EQ(w.installer.DatabaseOpenView(db, "SELECT * FROM Property WHERE Property = 'nvproducttitle'", &view),
            0u);
  ASSERT_EQ(w.installer.ViewExecute(view), 0u);
  EXPECT_EQ(w.installer.ViewFetch(view, &record), static_cast<uint32_t>(ERROR_NO_MORE_ITEMS));
  EXPECT_NE(w.installer.OpenDatabase("C:\\none.msi", &db), 0u);
}

TEST(FakeShellTest, CopiesDeletesAndSavesLinksOnTheFakeFiles) {
  FakeWindows w;
  w.files.AddFile("D:\\media\\dotnet\\setup.exe", "exe");
  w.files.AddFile("D:\\media\\dotnet\\sub\\data.cab", "cab");
  // A folder copied to a new name becomes that folder.
  EXPECT_EQ(w.shell.FileOperation(FO_COPY, "D:\\media\\dotnet", "C:\\tmp\\norvacore", 0x0214), 0);
  EXPECT_EQ(w.files.Contents("C:\\tmp\\norvacore\\sub\\data.cab"), "cab");
  // A file copied into an existing folder keeps its name and replaces a copy.
  w.files.AddFile("C:\\u\\setup.exe", "old");
  EXPECT_EQ(w.shell.FileOperation(FO_COPY, "D:\\media\\dotnet\\setup.exe", "C:\\u\\", 0x0214), 0);
  EXPECT_EQ(w.files.Contents("C:\\u\\setup.exe"), "exe");
  EXPECT_EQ(w.shell.FileOperation(FO_DELETE, "C:\\tmp\\norvacore\\*", "", 0x0210), 0);
  EXPECT_EQ(w.files.ListTree("C:\\tmp\\norvacore"), Strings{});
  EXPECT_EQ(w.shell.FileOperation(FO_DELETE, "C:\\tmp\\nothing", "", 0x0210), 2);
  EXPECT_EQ(w.shell.Calls().front(), "SHFileOperationA 2 D:\\media\\dotnet|C:\\tmp\\norvacore 214");

  std::unique_ptr<ShellLink> link;
  ASSERT_EQ(w.shell.CreateShellLink(&link), S_OK);
  EXPECT_EQ(link->SetPath("C:\\u\\setup.exe"), S_OK);
  EXPECT_EQ(link->SetDescription("Uninstaller"), S_OK);
  std::u16string file;
  ASSERT_TRUE(w.codePage.ToWide("C:\\u\\Uninstall.lnk", 260, &file));
  EXPECT_EQ(link->Save(file), S_OK);
  EXPECT_EQ(w.files.Contents("C:\\u\\Uninstall.lnk"), "C:\\u\\setup.exe\nUninstaller");
  ASSERT_TRUE(w.codePage.ToWide("C:\\missing\\Uninstall.lnk", 260, &file));
  EXPECT_NE(link->Save(file), S_OK);
  EXPECT_FALSE(w.codePage.ToWide("C:\\u\\Uninstall.lnk", 18, &file));  // 18 characters and the NUL
}

// The shell refuses to copy a folder into its own subtree (which would take
// its own copies along for ever) and a file onto itself.
TEST(FakeShellTest, NothingIsCopiedIntoItself) {
  FakeWindows w;
  w.files.AddFile("D:\\media\\dotnet\\setup.exe", "exe");
  w.files.AddDir("D:\\media\\dotnet\\tmp");
  EXPECT_EQ(w.shell.FileOperation(FO_COPY, "D:\\media\\dotnet", "D:\\media\\dotnet\\tmp\\norvacore", 0x0214), 0x76);
  EXPECT_EQ(w.shell.FileOperation(FO_COPY, "D:\\media\\DotNet", "d:\\media\\dotnet\\tmp\\", 0x0214), 0x76);
  EXPECT_EQ(w.files.ListTree("D:\\media\\dotnet\\tmp"), Strings{});
  EXPECT_EQ(w.shell.FileOperation(FO_COPY, "D:\\media\\dotnet\\setup.exe", "D:\\media\\dotnet", 0x0214), 0x71);
  EXPECT_EQ(w.files.Contents("D:\\media\\dotnet\\setup.exe"), "exe");
  // A sibling whose name only begins like the folder's is no subtree.
  EXPECT_EQ(w.shell.FileOperation(FO_COPY, "D:\\media\\dotnet", "D:\\media\\dotnet2", 0x0214), 0);
  EXPECT_EQ(w.files.Contents("D:\\media\\dotnet2\\setup.exe"), "exe");
}

TEST(FakeRegistryTest, ValuesFitTheBufferOrFail) {
  FakeWindows w;
  w.registry.SetString(RegRoot::LocalMachine, "Software\\Norvasoft\\Setup", "NORVAROOT", "C:\\Norva");
  std::string data;
  EXPECT_TRUE(w.registry.QueryValue(RegRoot::LocalMachine, "SOFTWARE\\norvasoft\\setup", "norvaroot", 9, &data));
  EXPECT_EQ(data, "C:\\Norva");
  EXPECT_FALSE(w.registry.QueryValue(RegRoot::LocalMachine, "Software\\Norvasoft\\Setup", "NORVAROOT", 8, &data));
  EXPECT_FALSE(w.registry.QueryValue(RegRoot::LocalMachine, "Software\\Norvasoft", "Setup\\NORVAROOT", 260, &data));
}

}  // namespace
}  // namespace fake
}  // namespace nv
