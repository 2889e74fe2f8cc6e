// The response file is read whole once and its values are then looked up in
// memory while the file stays as it was. These tests hold the values to
// what reading the file from its start for every value gives, whatever the
// file holds and however it changes between reads.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "platform/fake/fake_platform.h"
#include "response/response_file.h"

namespace nv {
namespace {

const char kFile[] = "D:\\media\\run.xml";

// A reader that counts its line reads and can hide the file's state.
class CountingReader : public TextReader {
 public:
  CountingReader(std::unique_ptr<TextReader> inner, bool stamps, int* lineReads)
      : inner_(std::move(inner)), stamps_(stamps), lineReads_(lineReads) {}
  bool Stamp(FileStamp* stamp) override { return stamps_ && inner_->Stamp(stamp); }
  bool ReadLine(size_t maxChars, std::string* line) override {
    ++*lineReads_;
    return inner_->ReadLine(maxChars, line);
  }
  bool ReadFailed() override { return inner_->ReadFailed(); }
  bool Close() override { return inner_->Close(); }

 private:
  std::unique_ptr<TextReader> inner_;
  bool stamps_;
  int* lineReads_;
};

// The fake file system whose readers count their reads; with stamps off,
// nothing is known about a file's state and every value is read from the
// file itself, as it always was.
class CountingFiles : public fake::ForwardingFileSystem {
 public:
  CountingFiles(fake::FakeFileSystem& files, bool stamps) : ForwardingFileSystem(files), stamps_(stamps) {}
  int lineReads = 0;

  std::unique_ptr<TextReader> OpenText(const std::string& path) override {
    std::unique_ptr<TextReader> inner = inner_.OpenText(path);
    if (!inner) return nullptr;
    return std::make_unique<CountingReader>(std::move(inner), stamps_, &lineReads);
  }

 private:
  bool stamps_;
};

class ResponseCacheTest : public ::testing::Test {
 protected:
  ResponseCacheTest()
      : cached(w.files, true),
        uncached(w.files, false),
        cachedPlatform{cached, w.registry, w.installer, w.shell, w.processes, w.ui, w.system, w.codePage},
        uncachedPlatform{uncached, w.registry, w.installer, w.shell, w.processes, w.ui, w.system, w.codePage} {}

  std::string Cached(const std::string& tag, const std::string& defaultValue = "DEF") {
    return ReadResponseTag(cachedPlatform, kFile, tag, defaultValue);
  }
  std::string Uncached(const std::string& tag, const std::string& defaultValue = "DEF") {
    return ReadResponseTag(uncachedPlatform, kFile, tag, defaultValue);
  }

  fake::FakeWindows w;
  CountingFiles cached, uncached;
  Platform cachedPlatform, uncachedPlatform;
};

// Files made of the pieces that matter to the search: tags whole and in
// parts, tags at the first character, values over several lines, white
// space, lead bytes (in the double-byte code page), zeros and the text-mode
// end of file, and lines longer than one read.
TEST_F(ResponseCacheTest, EveryValueIsWhatReadingTheFileFromItsStartGives) {
  const std::vector<std::string> pieces = {
      "<P1>", "</P1>", "<P10>", "</P10>", "<P>", "</P>", "<>", "</>", "<a>b>", "</a>b>", "<P1", "P1>", "</",
      "<", ">", "P1", "x", " ", "\t", "\n", "\r\n", "\r", "\x81", "\x81<", "\x81>", std::string(1, '\0'),
      "\x1a", std::string(700, 'y'), "<<P1>>", "<P1></P1>"};
  const std::vector<std::string> tags = {"P1", "P10", "P", "", "a>b", "<P1", "P1>", "p1", "Q"};
  std::mt19937 random(20261208);
  int compared = 0;
  for (int doubleByte = 0; doubleByte < 2; ++doubleByte) {
    w.codePage.SetDoubleByte(doubleByte == 1);
    for (int file = 0; file < 600; ++file) {
      std::string text;
      const int count = 1 + static_cast<int>(random() % 40);
      for (int i = 0; i < count; ++i) text += pieces[random() % pieces.size()];
      w.files.AddFile(kFile, text);
      for (const std::string& tag : tags) {
        const std::string expected = Uncached(tag);
        // The first read after a change reads the file; the second comes
        // from what was kept.
        EXPECT_EQ(Cached(tag), expected) << "tag " << tag << " in " << ::testing::PrintToString(text);
        EXPECT_EQ(Cached(tag), expected) << "tag " << tag << " in " << ::testing::PrintToString(text);
        ++compared;
      }
    }
  }
  EXPECT_EQ(compared, 2 * 600 * static_cast<int>(tags.size()));
  EXPECT_EQ(w.files.OpenFiles(), 0);
}

TEST_F(ResponseCacheTest, AFileThatChangesBetweenReadsIsReadAgain) {
  w.files.AddFile(kFile, "<r>\n<P1>one</P1>\n<P2>two</P2>\n");
  EXPECT_EQ(Cached("P1"), "one");
  EXPECT_EQ(Cached("P2"), "two");
  // The same size, other bytes.
  w.files.AddFile(kFile, "<r>\n<P1>ONE</P1>\n<P2>TWO</P2>\n");
  EXPECT_EQ(Cached("P1"), "ONE");
  EXPECT_EQ(Cached("P2"), "TWO");
  // Longer, with the value moved.
  w.files.AddFile(kFile, "<r>\n<!-- <P2>old</P2> -->\n<P1>one</P1>\n<P2>two</P2>\n");
  EXPECT_EQ(Cached("P2"), "old");
  EXPECT_EQ(Cached("P1"), "one");
  // Back as it was first.
  w.files.AddFile(kFile, "<r>\n<P1>one</P1>\n<P2>two</P2>\n");
  EXPECT_EQ(Cached("P2"), "two");
  // Gone, or not to be opened: every value reads as missing.
  w.files.Erase(kFile);
  EXPECT_EQ(Cached("P1"), "");
  w.files.AddFile(kFile, "<r>\n<P1>one</P1>\n");
  EXPECT_EQ(Cached("P1"), "one");
  w.files.FailOpen(kFile);
  EXPECT_EQ(Cached("P1"), "");
  EXPECT_TRUE(w.ui.MessageBoxes().empty());
  // A read that fails halfway (after the stamp and one line) is no end of
  // the file: the value beyond it is unknown, and the part read is not kept.
  w.files.AddFile("D:\\media\\other.xml", "<r>\n<P1>one</P1>\n<P2>two</P2>\n");
  w.faults = fake::FaultPlan();
  w.faults.Fail(fake::Call::FileRead, 3);
  bool unreadable = false;
  EXPECT_EQ(ReadResponseTag(cachedPlatform, "D:\\media\\other.xml", "P2", "DEF", &unreadable), "");
  EXPECT_TRUE(unreadable);
  EXPECT_EQ(ReadResponseTag(cachedPlatform, "D:\\media\\other.xml", "P2", "DEF", &unreadable), "two");
  EXPECT_FALSE(unreadable);
}

TEST_F(ResponseCacheTest, EveryReadStillOpensAndClosesTheFile) {
  w.files.AddFile(kFile, "<r>\n<P1>one</P1>\n");
  w.files.FailClose(kFile);
  w.files.ClearCalls();
  EXPECT_EQ(Cached("P1"), "one");
  EXPECT_EQ(Cached("P1"), "one");
  EXPECT_EQ(Cached("P2"), "");
  EXPECT_EQ(w.files.Calls(), (std::vector<std::string>{"Open D:\\media\\run.xml", "Close D:\\media\\run.xml",
                                                      "Open D:\\media\\run.xml", "Close D:\\media\\run.xml",
                                                      "Open D:\\media\\run.xml", "Close D:\\media\\run.xml"}));
  ASSERT_EQ(w.ui.MessageBoxes().size(), 3u);
  for (const fake::MessageBoxCall& box : w.ui.MessageBoxes()) EXPECT_EQ(box.text, "Could not close response file.");
  EXPECT_EQ(w.files.OpenFiles(), 0);
}

// Five hundred items read twice over, as a counting pass and a launch pass
// read them: the file is read once, where reading from the start for every
// value reads it a thousand times over.
TEST_F(ResponseCacheTest, ManyItemsReadTheFileOnce) {
  std::string text = "<?xml version=\"1.0\"?>\n<Items>\n";
  const int items = 500;
  for (int n = 1; n <= items; ++n) {
    const std::string i = std::to_string(n);
    text += "  <PRODUCT" + i + ">D:\\media\\core\\p" + i + ".msi</PRODUCT" + i + ">\n";
    text += "  <PARAMETER" + i + ">ADDLOCAL=ALL</PARAMETER" + i + ">\n";
  }
  text += "</Items>\n";
  w.files.AddFile(kFile, text);
  const int lines = 2 * items + 3;
  for (int pass = 0; pass < 2; ++pass) {
    for (int n = 1; n <= items + 1; ++n) {
      const std::string i = std::to_string(n);
      EXPECT_EQ(Cached("PRODUCT" + i), n <= items ? "D:\\media\\core\\p" + i + ".msi" : "");
      EXPECT_EQ(Cached("PARAMETER" + i), n <= items ? "ADDLOCAL=ALL" : "");
    }
  }
  // One read to the end (and the one that finds the end).
  EXPECT_EQ(cached.lineReads, lines + 1);
  // Without the file's state every value is read from the start again.
  EXPECT_EQ(Uncached("PRODUCT" + std::to_string(items)), "D:\\media\\core\\p" + std::to_string(items) + ".msi");
  EXPECT_EQ(uncached.lineReads, lines - 2);
}

}  // namespace
}  // namespace nv
