#pragma once
// Cases that the fake Windows and the real one must answer alike. The native
// tests run them over the fake, the Win32 tests over Windows (under Wine):
// the logic above the boundary relies on these rules, so a rule that holds
// on one side only would make the unit tests prove nothing about the
// program. Test code only.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace nv {
namespace agreement {

// Writes a file's exact bytes (no text-mode translation).
using MakeFile = std::function<void(const std::string& path, const std::string& bytes)>;

// White space is blanks, tabs and line breaks (with the vertical tab and
// form feed), nothing else: not the no-break space either.
inline void WhiteSpace(const CodePage& cp) {
  for (int c = 0; c < 256; ++c) {
    const bool expected = c == ' ' || (c >= '\t' && c <= '\r');
    EXPECT_EQ(cp.IsSpace(static_cast<uint8_t>(c)), expected) << c;
  }
}

// The Western European code page (1252): its capitals and their small
// letters, no lead bytes.
inline void LowerCaseWestern(const CodePage& cp) {
  for (int c = 0; c < 256; ++c) {
    int expected = c;
    if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) expected = c + 32;
    if (c == 0x8A || c == 0x8C || c == 0x8E) expected = c + 16;
    if (c == 0x9F) expected = 0xFF;
    EXPECT_EQ(cp.ToLower(static_cast<uint8_t>(c)), expected) << c;
    EXPECT_FALSE(cp.IsLeadByte(static_cast<uint8_t>(c))) << c;
  }
}

// Text-mode line reads of 1023 characters at most: CR LF becomes LF, a
// lone CR stays, Ctrl+Z ends the file, and a zero ends the line's text
// (what follows it up to the line end is read but lost).
inline void LineReads(FileSystem& files, const std::string& folder, const MakeFile& make) {
  const std::string path = folder + "\\lines.txt";
  make(path, std::string("a\0b\nc\r\nd\re\n", 11) + std::string(2000, 'x') + "\ny\x1az\n");
  std::unique_ptr<TextReader> reader = files.OpenText(path);
  ASSERT_TRUE(reader);
  std::vector<std::string> lines;
  std::string line;
  while (reader->ReadLine(1023, &line)) lines.push_back(line);
  EXPECT_TRUE(reader->Close());
  EXPECT_EQ(lines, (std::vector<std::string>{"a", "c\n", "d\re\n", std::string(1023, 'x'),
                                             std::string(977, 'x') + "\n", "y"}));
  EXPECT_FALSE(files.OpenText(folder + "\\missing.txt"));
}

// A reader's stamp: the same while the file stays as it is, another once
// its bytes change, another for another file with the same bytes; none once
// the reader is closed.
inline FileStamp StampOf(FileSystem& files, const std::string& path) {
  FileStamp stamp;
  std::unique_ptr<TextReader> reader = files.OpenText(path);
  EXPECT_TRUE(reader) << path;
  if (!reader) return stamp;
  EXPECT_TRUE(reader->Stamp(&stamp));
  EXPECT_TRUE(reader->Close());
  FileStamp closed;
  EXPECT_FALSE(reader->Stamp(&closed));
  return stamp;
}

inline void Stamps(FileSystem& files, const std::string& folder, const MakeFile& make) {
  const std::string path = folder + "\\stamped.xml";
  const std::string other = folder + "\\other.xml";
  make(path, "<r><P1>one</P1>\r\n");
  make(other, "<r><P1>one</P1>\r\n");
  const FileStamp first = StampOf(files, path);
  EXPECT_EQ(first.size, 17u);
  EXPECT_TRUE(StampOf(files, path).SameFileState(first));
  EXPECT_FALSE(StampOf(files, other).SameFileState(first));
  make(path, "<r><P1>one</P1>\r\n<P2>two</P2>\r\n");
  const FileStamp changed = StampOf(files, path);
  EXPECT_EQ(changed.size, 31u);
  EXPECT_FALSE(changed.SameFileState(first));
}

inline std::set<std::string> Names(const std::vector<FindEntry>& entries, size_t from = 0) {
  std::set<std::string> names;
  for (size_t i = from; i < entries.size(); ++i) names.insert(entries[i].name);
  return names;
}

// Searches: "." and ".." come first in a folder's listing (the order of the
// rest is the file system's own); names match without regard to case and
// come back as they are on disk; "*" and "?" wildcards; a path ending in a
// backslash or too long for MAX_PATH finds nothing.
inline void FindRules(FileSystem& files, const std::string& folder, const MakeFile& make) {
  const std::string dir = folder + "\\find";
  ASSERT_TRUE(files.CreateDir(dir));
  make(dir + "\\A.txt", "");
  make(dir + "\\b.txt", "");
  make(dir + "\\c.dat", "");
  make(dir + "\\noext", "");
  ASSERT_TRUE(files.CreateDir(dir + "\\Sub"));
  std::vector<FindEntry> all = files.Find(dir + "\\*");
  ASSERT_EQ(all.size(), 7u);
  EXPECT_EQ(all[0].name, ".");
  EXPECT_EQ(all[1].name, "..");
  EXPECT_EQ(Names(all, 2), (std::set<std::string>{"A.txt", "b.txt", "c.dat", "noext", "Sub"}));
  for (const FindEntry& entry : all) EXPECT_EQ(entry.IsDirectory(), entry.name[0] == '.' || entry.name == "Sub");
  EXPECT_EQ(Names(files.Find(dir + "\\*.TXT")), (std::set<std::string>{"A.txt", "b.txt"}));
  EXPECT_EQ(Names(files.Find(dir + "\\?.txt")), (std::set<std::string>{"A.txt", "b.txt"}));
  EXPECT_EQ(Names(files.Find(dir + "\\a.TXT")), (std::set<std::string>{"A.txt"}));
  EXPECT_EQ(Names(files.Find(dir + "\\sub")), (std::set<std::string>{"Sub"}));
  EXPECT_TRUE(files.Find(dir + "\\Sub\\").empty());
  EXPECT_TRUE(files.Find(dir + "\\missing").empty());
  EXPECT_TRUE(files.Find(dir + "\\" + std::string(300, 'x')).empty());
}

// Makes the folder path a reparse point with the tag; false when this
// system cannot make one of that kind.
using MakeReparse = std::function<bool(const std::string& path, uint32_t tag)>;

// Reparse points as a listing shows them: a plain folder is none, whatever
// the find data's reserved field holds; a junction is a name surrogate (the
// subfolder search probes it but never enters it); a DFS link is not (it is
// entered).
inline void ReparseRules(FileSystem& files, const std::string& folder, const MakeReparse& make) {
  const std::string dir = folder + "\\reparse";
  ASSERT_TRUE(files.CreateDir(dir));
  ASSERT_TRUE(files.CreateDir(dir + "\\plain"));
  std::vector<uint32_t> made;
  for (uint32_t tag : {kReparseTagMountPoint, kReparseTagDfs}) {
    if (make(dir + "\\t" + std::to_string(tag), tag)) made.push_back(tag);
  }
  for (const FindEntry& entry : files.Find(dir + "\\*")) {
    SCOPED_TRACE(entry.name);
    uint32_t tag = 0;
    if (entry.name[0] == 't') tag = static_cast<uint32_t>(std::stoul(entry.name.substr(1)));
    EXPECT_EQ((entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0, tag != 0);
    EXPECT_EQ(entry.reparseTag, tag);
    EXPECT_EQ(entry.IsNameSurrogate(), tag == kReparseTagMountPoint);
    EXPECT_TRUE(entry.IsDirectory());
  }
  if (made.empty()) GTEST_SKIP() << "no reparse point can be made here";
}

// The temporary folder as Windows hands it out: a path that does not fit
// in 260 characters is no answer, never a cut one.
inline void TempPathLimit(FileSystem& files, const std::string& folder,
                          const std::function<void(const std::string&)>& setTemp) {
  const std::string fits = folder + "\\" + std::string(250 - folder.size(), 't') + "\\";
  setTemp(fits);
  EXPECT_EQ(files.TempPath(), fits);
  setTemp(folder + "\\" + std::string(300, 't') + "\\");
  EXPECT_EQ(files.TempPath(), "");
}

}  // namespace agreement
}  // namespace nv
