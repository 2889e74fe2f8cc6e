#include "response/response_file.h"

#include <gtest/gtest.h>

#include <chrono>

#include "app/run_context.h"
#include "platform/fake/fake_platform.h"

namespace nv {
namespace {

const char kFile[] = "D:\\media\\run.xml";

class ReadResponseTagTest : public ::testing::Test {
 protected:
  std::string Read(const std::string& contents, const std::string& tag) {
    w.files.AddFile(kFile, contents);
    return ReadResponseTag(w.platform, kFile, tag, "DEF");
  }
  fake::FakeWindows w;
};

TEST_F(ReadResponseTagTest, FirstOccurrenceOfTheExactTag) {
  std::string file =
      "<root>\n<!-- <PRODUCT1>C:\\old.msi</PRODUCT1> -->\n<PRODUCT1>D:\\new.msi</PRODUCT1>\n"
      "<PRODUCT10>ten</PRODUCT10>\n<PARAMETER1>\n    A=1  \t\n\n</PARAMETER1><E> \n </E>\n</P2> <P2>\n";
  EXPECT_EQ(Read(file, "PRODUCT1"), "C:\\old.msi");
  EXPECT_EQ(Read(file, "PRODUCT10"), "ten");
  EXPECT_EQ(Read(file, "PARAMETER1"), "\n    A=1");  // leading white space kept
  EXPECT_EQ(Read(file, "E"), "DEF");                  // the default only for a present, blank value
  EXPECT_EQ(Read(file, "product10"), "");
  EXPECT_EQ(Read(file, "P2"), "");  // a closing tag counts only after the opening one
  EXPECT_EQ(Read("<P1>a</P1>\n<P1>b</P1>\n", "P1"), "");  // not at the file's first character
  EXPECT_EQ(ReadResponseTag(w.platform, "D:\\missing.xml", "P1", "DEF"), "");
  EXPECT_EQ(w.files.OpenFiles(), 0);
}

TEST_F(ReadResponseTagTest, FailedCloseIsReportedAndTheValueKept) {
  w.files.FailClose(kFile);
  EXPECT_EQ(Read("<r><P1>a</P1>", "P1"), "a");
  ASSERT_EQ(w.ui.MessageBoxes().size(), 1u);
  const fake::MessageBoxCall& box = w.ui.MessageBoxes()[0];
  EXPECT_EQ(box.text, "Could not close response file.");
  EXPECT_EQ(box.caption, "Norvasoft Installer");
  EXPECT_EQ(box.owner, Owner::None);
  EXPECT_EQ(box.flags, static_cast<uint32_t>(MB_OK | MB_ICONINFORMATION));
}

TEST_F(ReadResponseTagTest, TagsAndCharactersSplitAcrossReads) {
  std::string pad(1020, 'x');  // the 1023-character reads cut both tags and the value
  EXPECT_EQ(Read(pad + "<PRODUCT1>" + std::string(3000, 'v') + "</PRODUCT1>" + pad, "PRODUCT1"),
            std::string(3000, 'v'));
  w.codePage.SetDoubleByte(true);
  // A read ends on a lead byte whose trail byte is the next read's "<".
  EXPECT_EQ(Read(std::string(1022, 'x') + "\x81<P1>no</P1> <P1>yes</P1>", "P1"), "yes");
  EXPECT_EQ(Read("<r>\n<P1>\x81</P1>\x81<</P1>", "P1"), "\x81</P1>\x81<");
}

TEST_F(ReadResponseTagTest, HugeFilesWithoutLineEndsStayLinear) {
  std::string big(10 * 1024 * 1024, 'a');
  // Binary bytes, but no Ctrl-Z: in text mode that ends the file.
  for (size_t i = 4099; i < big.size(); i += 4099) big[i] = static_cast<char>(i % 256 == 0x1A ? 0 : i % 256);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Read(big + "<P1>end</P1>", "P1"), "end");
  EXPECT_EQ(Read(big + "<P1>open only" + big, "P1"), "");
  // Searching all the text again after each of the ~50000 reads would take
  // many minutes.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
}

class LocateResponseFileTest : public ::testing::Test {
 protected:
  LocateResponseFileTest() : ctx(w.platform) { ctx.programDir = "D:\\media\\"; }
  fake::FakeWindows w;
  RunContext ctx;
};

TEST_F(LocateResponseFileTest, AsGivenThenBesideTheProgramThenAsked) {
  w.files.AddFile("D:\\media\\b.xml");
  ctx.options.responseFile = "b.xml";
  EXPECT_TRUE(LocateResponseFile(ctx));
  EXPECT_EQ(ctx.options.responseFile, "D:\\media\\b.xml");
  EXPECT_TRUE(LocateResponseFile(ctx));
  EXPECT_TRUE(w.ui.MessageBoxes().empty());

  ctx.options.responseFile = "gone.xml";
  w.ui.QueueOpenFile("E:\\picked.xml");
  EXPECT_TRUE(LocateResponseFile(ctx));
  EXPECT_EQ(ctx.options.responseFile, "E:\\picked.xml");
  EXPECT_TRUE(ctx.options.interactive);
  ASSERT_EQ(w.ui.MessageBoxes().size(), 1u);
  EXPECT_EQ(w.ui.MessageBoxes()[0].text, "Could not locate the unattended response file gone.xml");
  EXPECT_EQ(w.ui.MessageBoxes()[0].caption, "Norvasoft Unattended Installer");
  EXPECT_EQ(w.ui.MessageBoxes()[0].flags, static_cast<uint32_t>(MB_OK | MB_ICONWARNING));
  const OpenFileRequest& dialog = w.ui.OpenFileDialogs().at(0);
  EXPECT_EQ(dialog.filter, std::string("All\0*.*\0XML response file\0*.XML\0\0", 33));
  EXPECT_EQ(dialog.filterIndex, 2u);
  EXPECT_EQ(dialog.title, "Select the response File");
  EXPECT_EQ(dialog.flags, static_cast<uint32_t>(OFN_EXPLORER | OFN_FILEMUSTEXIST));
}

TEST_F(LocateResponseFileTest, NoArgumentAndCancelledDialogStopsTheRun) {
  w.files.AddDir("D:\\media");
  EXPECT_FALSE(LocateResponseFile(ctx));
  EXPECT_EQ(w.ui.MessageBoxes().at(0).text, "Could not locate the unattended response file ");
  EXPECT_EQ(w.ui.OpenFileDialogs().size(), 1u);
}

}  // namespace
}  // namespace nv
