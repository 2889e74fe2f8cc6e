#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/win32/test_support.h"
#include "platform/win32/win32_platform.h"

namespace nv {
namespace win32 {
namespace {

using testing::ReadBytes;
using testing::ScratchFolder;
using testing::WriteBytes;

std::vector<std::string> Names(const std::vector<FindEntry>& entries) {
  std::vector<std::string> names;
  for (const FindEntry& entry : entries) names.push_back(entry.name);
  return names;
}

bool Has(const std::vector<std::string>& names, const std::string& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

TEST(Win32FileSystemTest, FindListsFolderEntriesAndMatchesWildcards) {
  ScratchFolder dir("find");
  Win32FileSystem files;
  ASSERT_TRUE(WriteBytes(dir / "one.txt", "1"));
  ASSERT_TRUE(WriteBytes(dir / "two.txt", "2"));
  ASSERT_TRUE(WriteBytes(dir / "three.log", "3"));
  ASSERT_TRUE(files.CreateDir(dir / "sub"));

  std::vector<FindEntry> all = files.Find(dir / "*");
  std::vector<std::string> names = Names(all);
  EXPECT_EQ(names.size(), 6u);
  EXPECT_TRUE(Has(names, "."));
  EXPECT_TRUE(Has(names, ".."));
  for (const FindEntry& entry : all) {
    bool folder = entry.name == "." || entry.name == ".." || entry.name == "sub";
    EXPECT_EQ(entry.IsDirectory(), folder) << entry.name;
  }

  std::vector<std::string> text = Names(files.Find(dir / "*.txt"));
  std::sort(text.begin(), text.end());
  EXPECT_EQ(text, (std::vector<std::string>{"one.txt", "two.txt"}));
  EXPECT_EQ(Names(files.Find(dir / "t?o.*")), std::vector<std::string>{"two.txt"});

  // A folder named without a wildcard is one entry: the folder itself.
  std::vector<FindEntry> folder = files.Find(dir / "sub");
  ASSERT_EQ(folder.size(), 1u);
  EXPECT_EQ(folder[0].name, "sub");
  EXPECT_TRUE(folder[0].IsDirectory());

  EXPECT_TRUE(files.Find(dir / "*.none").empty());
  EXPECT_TRUE(files.Find(dir / "missing\\*").empty());
}

// Sets a file's last-write time to seconds before now.
bool SetLastWriteAgo(const std::string& path, uint64_t seconds) {
  HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  uint64_t ticks = ((static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime) - seconds * 10000000ull;
  FILETIME then;
  then.dwLowDateTime = static_cast<DWORD>(ticks);
  then.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  const bool set = SetFileTime(file, nullptr, nullptr, &then) != FALSE;
  CloseHandle(file);
  return set;
}

FileStamp StampOf(Win32FileSystem& files, const std::string& path) {
  FileStamp stamp;
  std::unique_ptr<TextReader> reader = files.OpenText(path);
  EXPECT_NE(reader, nullptr) << path;
  if (reader) {
    EXPECT_TRUE(reader->Stamp(&stamp));
  }
  return stamp;
}

TEST(Win32FileSystemTest, ReaderStampsFollowTheFileAndSettle) {
  ScratchFolder dir("stamp");
  Win32FileSystem files;
  const std::string path = dir / "response.xml";
  const std::string other = dir / "other.xml";
  ASSERT_TRUE(WriteBytes(path, "<r>\r\n<P1>one</P1>\r\n"));
  ASSERT_TRUE(WriteBytes(other, "<r>\r\n<P1>two</P1>\r\n"));
  // Just written: another write could still keep the same times.
  const FileStamp fresh = StampOf(files, path);
  EXPECT_EQ(fresh.size, 19u);
  EXPECT_FALSE(fresh.settled);
  EXPECT_TRUE(StampOf(files, path).SameFileState(fresh));
  const FileStamp otherStamp = StampOf(files, other);
  EXPECT_FALSE(otherStamp.SameFileState(fresh));

  // A last-write time set back is a change all the same.
  ASSERT_TRUE(SetLastWriteAgo(path, 3600));
  const FileStamp setBack = StampOf(files, path);
  EXPECT_FALSE(setBack.SameFileState(fresh));
  EXPECT_FALSE(setBack.settled);

  // Another file of the same size put in its place, its times set to the
  // same, is another file all the same.
  ASSERT_TRUE(SetLastWriteAgo(other, 3600));
  const FileStamp before = StampOf(files, path);
  ASSERT_TRUE(MoveFileExA(other.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING));
  const FileStamp replaced = StampOf(files, path);
  EXPECT_EQ(replaced.size, before.size);
  EXPECT_FALSE(replaced.SameFileState(before));

  // Left alone for a few seconds, the file settles.
  Sleep(3200);
  const FileStamp settled = StampOf(files, path);
  EXPECT_TRUE(settled.settled);
  EXPECT_TRUE(settled.SameFileState(replaced));
}

TEST(Win32FileSystemTest, ReaderGivesAtMostTheCharactersAskedForPerRead) {
  ScratchFolder dir("reader");
  Win32FileSystem files;
  std::string path = dir / "response.xml";
  std::string longLine(2500, 'a');
  longLine[1022] = 'b';
  longLine[1023] = 'c';
  // Text mode: the CR LF on disk reads as a single line break.
  ASSERT_TRUE(WriteBytes(path, longLine + "\r\nshort\r\nlast"));

  std::unique_ptr<TextReader> reader = files.OpenText(path);
  ASSERT_NE(reader, nullptr);
  std::string line;
  ASSERT_TRUE(reader->ReadLine(1023, &line));
  EXPECT_EQ(line.size(), 1023u);
  EXPECT_EQ(line.back(), 'b');
  ASSERT_TRUE(reader->ReadLine(1023, &line));
  EXPECT_EQ(line.size(), 1023u);
  EXPECT_EQ(line.front(), 'c');
  ASSERT_TRUE(reader->ReadLine(1023, &line));
  EXPECT_EQ(line, std::string(2500 - 2046, 'a') + "\n");
  ASSERT_TRUE(reader->ReadLine(1023, &line));
  EXPECT_EQ(line, "short\n");
  ASSERT_TRUE(reader->ReadLine(1023, &line));
  EXPECT_EQ(line, "last");
  EXPECT_FALSE(reader->ReadLine(1023, &line));
  EXPECT_EQ(line, "");
  EXPECT_TRUE(reader->Close());
}

TEST(Win32FileSystemTest, WriterCommitsEachWriteAndStartsEmpty) {
  ScratchFolder dir("writer");
  Win32FileSystem files;
  std::string path = dir / "run.log";
  ASSERT_TRUE(WriteBytes(path, "old contents that must go"));

  std::unique_ptr<TextWriter> writer = files.CreateCommitted(path);
  ASSERT_NE(writer, nullptr);
  EXPECT_EQ(ReadBytes(path), "");
  writer->Write("Response XML file: C:\\r.xml\n");
  // On disk at once, before the writer is closed, with Windows line ends.
  EXPECT_EQ(ReadBytes(path), "Response XML file: C:\\r.xml\r\n");
  writer->Write("");
  writer->Write(std::string(5000, 'z'));
  EXPECT_EQ(ReadBytes(path).size(), 29u + 5000u);
  EXPECT_TRUE(writer->Close());

  // A writer dropped without Close still closes its file.
  files.CreateCommitted(path)->Write("again");
  EXPECT_EQ(ReadBytes(path), "again");
  // A file that must be new is never made from an existing one.
  EXPECT_EQ(files.CreateNewCommitted(path), nullptr);
  EXPECT_EQ(ReadBytes(path), "again");
  std::unique_ptr<TextWriter> fresh = files.CreateNewCommitted(dir / "run (2).log");
  ASSERT_NE(fresh, nullptr);
  fresh->Write("second run\n");
  EXPECT_EQ(ReadBytes(dir / "run (2).log"), "second run\r\n");
  EXPECT_TRUE(files.DeleteOneFile(path));
}

TEST(Win32FileSystemTest, OpeningFailsCleanlyOnMissingOrOverlongPaths) {
  ScratchFolder dir("open");
  Win32FileSystem files;
  EXPECT_EQ(files.OpenText(dir / "missing.xml"), nullptr);
  EXPECT_EQ(files.CreateCommitted(dir / "missing\\run.log"), nullptr);

  std::string overlong = dir.path() + "\\" + std::string(300, 'L') + "\\x.txt";
  EXPECT_EQ(files.OpenText(overlong), nullptr);
  EXPECT_FALSE(files.Access(overlong));
  EXPECT_TRUE(files.Find(overlong).empty());
  EXPECT_EQ(files.ShortPathName(overlong), "");
  uint32_t ms = 0, ls = 0;
  EXPECT_FALSE(files.FileVersion(overlong, &ms, &ls));
}

TEST(Win32FileSystemTest, ShortPathNameOfExistingAndMissingPaths) {
  ScratchFolder dir("short");
  Win32FileSystem files;
  std::string longFolder = dir / "A Folder With A Long Name";
  ASSERT_TRUE(files.CreateDir(longFolder));
  std::string file = longFolder + "\\response file.xml";
  ASSERT_TRUE(WriteBytes(file, "<PRODUCT1>x</PRODUCT1>"));

  std::string shortForm = files.ShortPathName(file);
  ASSERT_FALSE(shortForm.empty());
  EXPECT_EQ(shortForm.find(' '), std::string::npos) << shortForm;
  EXPECT_LE(shortForm.size(), file.size());
  // The short form names the same file.
  EXPECT_EQ(ReadBytes(shortForm), "<PRODUCT1>x</PRODUCT1>");

  EXPECT_EQ(files.ShortPathName(longFolder + "\\missing.xml"), "");
  EXPECT_EQ(files.ShortPathName(""), "");
}

TEST(Win32FileSystemTest, FileVersionOfTheProgramAndOfFilesWithoutOne) {
  Win32FileSystem files;
  std::string program = testing::ProgramPath();
  ASSERT_FALSE(program.empty()) << "NV_PROGRAM is not set";
  ASSERT_TRUE(testing::FileExists(program)) << program;
  uint32_t ms = 99, ls = 99;
  ASSERT_TRUE(files.FileVersion(program, &ms, &ls));
  EXPECT_EQ(ms, 0x00010000u);  // 1.0
  EXPECT_EQ(ls, 0x00000000u);  // .0.0

  // msi.dll carries a version: the engine check reads it this way.
  ASSERT_TRUE(files.FileVersion(files.SystemDirectory() + "\\msi.dll", &ms, &ls));
  EXPECT_GT(ms, 0u);

  ScratchFolder dir("version");
  ASSERT_TRUE(WriteBytes(dir / "plain.txt", "no version here"));
  ms = ls = 7;
  EXPECT_FALSE(files.FileVersion(dir / "plain.txt", &ms, &ls));
  EXPECT_FALSE(files.FileVersion(dir / "missing.dll", &ms, &ls));
  EXPECT_EQ(ms, 7u);
  EXPECT_EQ(ls, 7u);
}

}  // namespace
}  // namespace win32
}  // namespace nv
