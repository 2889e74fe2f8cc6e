#include "app/command_line.h"

#include <gtest/gtest.h>

#include "platform/fake/fake_platform.h"

namespace nv {
namespace {

using Args = std::vector<std::string>;

const char kProgramDir[] = "D:\\media\\";

class CommandLineTest : public ::testing::Test {
 protected:
  ParseResult Parse(const Args& args) { return ParseCommandLine(cp, args, kProgramDir, &options); }
  fake::FakeCodePage cp;
  RunOptions options;
};

TEST(UsageTextTest, IsTheWholeTextByteForByte) {
  EXPECT_EQ(BuildUsageText(),
            "\"\\\\deploysrv\\NorvaSuite\\NvRunUnattended.exe\" \"[\\\\deploysrv\\NorvaSuite\\]MyInstall.xml\" "
            "[/I | /S] [/noreboot | /forcereboot] [/L] [logfile=\"C:\\Logs\\silent.log\"] "
            "[altsource=\"\\\\mirrorsrv\\NorvaMedia\"] /m\n"
            "\n"
            "Options:\n"
            "/I | /S - Interactive or Silent. Default is Silent\n"
            "/noreboot - Do not reboot even if reboot was required by the installed products\n"
            "/forcereboot - Reboot always\n"
            "/L - Creates Windows Installer verbose log files under %temp%\n"
            "logfile - fully qualified log file name. Log file is created under %temp% with file name "
            "VOVarOvadevir *.log\n"
            "altsource - Alternative install media location. Use \\altsource=. to start the search from "
            "NvRunUnattended.exe folder\n"
            "/m - Generate .mif file for SMS client computers\n"
            "/removeall - Uninstalls all Norvasoft products\n"
            "busywait - Seconds to wait for another installation to finish before giving up\n"
            "/rebootcodes - Exit with 3010 when a restart is pending, 1641 when one was started\n"
            "itemtimeout - Seconds an item may run before it is ended\n"
            "/agent - Started by a management agent: no windows, agent return codes\n"
            "result - JSON file that records the run and each item's outcome\n"
            "Note: .xml file path is optional if in the same directory as NvRunUnattended.exe");
}

TEST(UsageTextTest, InvalidOptionMessagesDifferByOneBlank) {
  EXPECT_EQ(BuildInvalidOptionsText(ParseResult::kInvalidShort, "U"),
            "Invalid command line options detected. Please use the following options.\nU");
  EXPECT_EQ(BuildInvalidOptionsText(ParseResult::kInvalidLong, "U"),
            "Invalid command line options detected. Please use the following options. \nU");
}

TEST(HelpRequestTest, OnlyALoneUntrimmedQuestionMark) {
  EXPECT_TRUE(IsHelpRequest({"/?"}));
  EXPECT_TRUE(IsHelpRequest({"?"}));
  EXPECT_FALSE(IsHelpRequest({" /?"}));
  EXPECT_FALSE(IsHelpRequest({"/?", "/S"}));
  EXPECT_FALSE(IsHelpRequest({}));
  EXPECT_FALSE(IsHelpRequest({"-?"}));
}

TEST_F(CommandLineTest, NoArgumentsKeepEveryDefault) {
  EXPECT_EQ(Parse({}), ParseResult::kOk);
  EXPECT_FALSE(options.interactive);
  EXPECT_EQ(options.rebootMode, 0);
  EXPECT_EQ(options.responseFile, "");
  EXPECT_EQ(options.altSource, "");
}

TEST_F(CommandLineTest, SwitchesInEveryFormAndTheLastOneWins) {
  for (const char* form : {"i", "/i", "/I", "I"}) {
    RunOptions fresh;
    EXPECT_EQ(ParseCommandLine(cp, {form}, kProgramDir, &fresh), ParseResult::kOk) << form;
    EXPECT_TRUE(fresh.interactive) << form;
  }
  EXPECT_EQ(Parse({"/I", "s"}), ParseResult::kOk);
  EXPECT_FALSE(options.interactive);
  EXPECT_EQ(Parse({"l", "/m", "REMOVEALL", "/NoReboot", "forcereboot"}), ParseResult::kOk);
  EXPECT_TRUE(options.msiLogging);
  EXPECT_TRUE(options.statusMif);
  EXPECT_TRUE(options.removeAll);
  EXPECT_EQ(options.rebootMode, 1);
  EXPECT_EQ(Parse({"/forcereboot", "noreboot"}), ParseResult::kOk);
  EXPECT_EQ(options.rebootMode, -1);
  // Blanks around a switch do not matter; an argument of blanks only is skipped.
  EXPECT_EQ(Parse({"  /I\t", "   "}), ParseResult::kOk);
  EXPECT_TRUE(options.interactive);
}

TEST_F(CommandLineTest, VerboseTraceFromAnythingStartingWithSlashV) {
  EXPECT_EQ(Parse({"/verbose"}), ParseResult::kOk);
  EXPECT_TRUE(options.verboseTrace);
  RunOptions other;
  EXPECT_EQ(ParseCommandLine(cp, {"/V"}, kProgramDir, &other), ParseResult::kOk);
  EXPECT_TRUE(other.verboseTrace);
  EXPECT_EQ(ParseCommandLine(cp, {"/Very-long-verbose-switch"}, kProgramDir, &other), ParseResult::kOk);
  EXPECT_EQ(ParseCommandLine(cp, {"v"}, kProgramDir, &other), ParseResult::kInvalidShort);
}

TEST_F(CommandLineTest, ResponseFileTestComesFirst) {
  EXPECT_EQ(Parse({"logfile=c:\\logs\\run.xml"}), ParseResult::kOk);
  EXPECT_EQ(options.responseFile, "logfile=c:\\logs\\run.xml");
  EXPECT_EQ(options.logFile, "");
  // The case of the path is kept, and the last of two response files wins.
  EXPECT_EQ(Parse({"First.xml", " D:\\Media\\Second.XML "}), ParseResult::kOk);
  EXPECT_EQ(options.responseFile, "D:\\Media\\Second.XML");
  // "xml" alone has no dot and is simply too short to be a switch.
  EXPECT_EQ(Parse({"xml"}), ParseResult::kInvalidShort);
}

TEST_F(CommandLineTest, AssignmentsAreLowerCasedAndUnquoted) {
  EXPECT_EQ(Parse({"LOGFILE=C:\\Temp\\Run.log"}), ParseResult::kOk);
  EXPECT_EQ(options.logFile, "c:\\temp\\run.log");
  EXPECT_EQ(Parse({"/logfile=\"C:\\A B\\x.log\""}), ParseResult::kOk);
  EXPECT_EQ(options.logFile, "\"c:\\a b\\x.log");  // only the quotes at the argument's ends go
  EXPECT_EQ(Parse({"\"altsource=\\\\Srv\\Share"}), ParseResult::kOk);  // an unmatched quote
  EXPECT_EQ(options.altSource, "\\\\srv\\share\\");
  EXPECT_EQ(Parse({"logfile=c:\\x.log\"\"\""}), ParseResult::kOk);
  EXPECT_EQ(options.logFile, "c:\\x.log");
  // logdir= alone keeps its case; /agent implies /rebootcodes and wins over /I.
  EXPECT_EQ(Parse({"\"/LOGDIR=%WINDIR%\\Logs\"", "/agent", "/I"}), ParseResult::kOk);
  EXPECT_TRUE(options.logDir == "%WINDIR%\\Logs" && options.agent && options.rebootCodes && !options.interactive);
}

TEST_F(CommandLineTest, ProgramDirKeepsTheLastBackslash) {
  EXPECT_EQ(ProgramDirFromModulePath(cp, "D:\\media\\NvRunUnattended.exe"), "D:\\media\\");
  EXPECT_EQ(ProgramDirFromModulePath(cp, "NvRunUnattended.exe"), "");
  cp.SetDoubleByte(true);
  // 0x95 0x5C is one character; its trail byte "\" is no folder separator.
  EXPECT_EQ(ProgramDirFromModulePath(cp, "E:\\bin\\\x95\\.exe"), "E:\\bin\\");
}

TEST_F(CommandLineTest, AltSourceEndsInExactlyOneBackslash) {
  EXPECT_EQ(Parse({"altsource=."}), ParseResult::kOk);
  EXPECT_EQ(options.altSource, "D:\\media\\");
  EXPECT_EQ(ParseCommandLine(cp, {"/altsource=."}, "D:\\.\\media\\.\\", &options), ParseResult::kOk);
  EXPECT_EQ(options.altSource, "D:\\media\\");
  EXPECT_EQ(Parse({"/altsource=E:\\Media\\\\\\"}), ParseResult::kOk);
  EXPECT_EQ(options.altSource, "e:\\media\\");
  EXPECT_EQ(Parse({"altsource="}), ParseResult::kOk);
  EXPECT_EQ(options.altSource, "\\");
  EXPECT_EQ(Parse({"altsource=.\\"}), ParseResult::kOk);  // not "." itself
  EXPECT_EQ(options.altSource, ".\\");
}

TEST_F(CommandLineTest, BusyWaitTakesADayAtMostAndRebootCodesIsASwitch) {
  struct Row {
    const char* arg;
    ParseResult result;
    uint32_t seconds;
    bool itemTimeout = false;
  } rows[] = {
      {"busywait=30", ParseResult::kOk, 30},         {"\"/BusyWait=86400\"", ParseResult::kOk, 86400},
      {"busywait=1", ParseResult::kOk, 1},           {"busywait=0", ParseResult::kInvalidLong, 0},
      {"busywait=86401", ParseResult::kInvalidLong, 0}, {"busywait=999999", ParseResult::kInvalidLong, 0},
      {"busywait=-5", ParseResult::kInvalidLong, 0}, {"busywait=", ParseResult::kInvalidLong, 0},
      {"busywait=1 0", ParseResult::kInvalidLong, 0}, {"busywait", ParseResult::kInvalidShort, 0},
      // The item time limit is read by the same rule.
      {"itemtimeout=3600", ParseResult::kOk, 3600, true}, {"\"/ItemTimeout=86400\"", ParseResult::kOk, 86400, true},
      {"itemtimeout=0", ParseResult::kInvalidLong, 0, true}, {"/itemtimeout=86401", ParseResult::kInvalidLong, 0, true},
      {"itemtimeout=1h", ParseResult::kInvalidLong, 0, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.arg);
    RunOptions parsed;
    EXPECT_EQ(ParseCommandLine(cp, {row.arg}, kProgramDir, &parsed), row.result);
    EXPECT_EQ(row.itemTimeout ? parsed.itemTimeout : parsed.busyWait, row.seconds);
    EXPECT_EQ(row.itemTimeout ? parsed.busyWait : parsed.itemTimeout, 0u);
  }
  for (const char* form : {"/rebootcodes", "REBOOTCODES"}) {
    RunOptions parsed;
    EXPECT_EQ(ParseCommandLine(cp, {form}, kProgramDir, &parsed), ParseResult::kOk);
    EXPECT_TRUE(parsed.rebootCodes) << form;
  }
}

TEST_F(CommandLineTest, ResultFileKeepsItsCaseAndMayBeShort) {
  EXPECT_EQ(Parse({"/Result=\\\\Srv\\R\\%COMPUTERNAME%.json"}), ParseResult::kOk);
  EXPECT_EQ(options.resultFile, "\\\\Srv\\R\\%COMPUTERNAME%.json");
  EXPECT_EQ(Parse({"result=a"}), ParseResult::kOk);
  EXPECT_EQ(options.resultFile, "a");
  EXPECT_EQ(Parse({"result="}), ParseResult::kInvalidShort);
  EXPECT_EQ(Parse({"/result=\"\""}), ParseResult::kInvalidLong);
}

TEST_F(CommandLineTest, InvalidArgumentsChangeNothing) {
  options.responseFile = "kept.xml";
  EXPECT_EQ(Parse({"/I", "/x"}), ParseResult::kInvalidShort);
  EXPECT_EQ(Parse({"/L", "setup.msi", "/I"}), ParseResult::kInvalidLong);
  EXPECT_EQ(Parse({"/M", "\\altsource=."}), ParseResult::kInvalidLong);
  EXPECT_EQ(Parse({"/?", "/S"}), ParseResult::kInvalidShort);
  EXPECT_EQ(Parse({"/removeall", "12345678"}), ParseResult::kInvalidShort);
  EXPECT_EQ(Parse({"x.xml", "/nonsense-switch", "/I"}), ParseResult::kInvalidLong);
  EXPECT_FALSE(options.interactive);
  EXPECT_FALSE(options.msiLogging);
  EXPECT_FALSE(options.statusMif);
  EXPECT_FALSE(options.removeAll);
  EXPECT_EQ(options.responseFile, "kept.xml");
}

TEST_F(CommandLineTest, LongArgumentsAreKeptWhole) {
  const std::string folder = "C:\\" + std::string(300, 'D');
  EXPECT_EQ(Parse({"logfile=" + folder + "\\run.log", folder + "\\Answers.xml"}), ParseResult::kOk);
  EXPECT_EQ(options.logFile, "c:\\" + std::string(300, 'd') + "\\run.log");
  EXPECT_EQ(options.responseFile, folder + "\\Answers.xml");
  EXPECT_EQ(Parse({std::string(300, 'q')}), ParseResult::kInvalidLong);
}

TEST_F(CommandLineTest, DoubleByteTextIsCountedAndLowerCasedByCharacters) {
  cp.SetDoubleByte(true);
  // 0x83 0x41: one character whose trail byte is "A"; lower-casing keeps it.
  EXPECT_EQ(Parse({"LOGFILE=C:\\\x83\x41\\Run.log"}), ParseResult::kOk);
  EXPECT_EQ(options.logFile, "c:\\\x83\x41\\run.log");
  // 0x95 0x5C ends in a trail byte "\": not a trailing backslash to remove.
  EXPECT_EQ(Parse({"altsource=E:\\\x95\\"}), ParseResult::kOk);
  EXPECT_EQ(options.altSource, "e:\\\x95\\\\");
  // Eight characters in eleven bytes are still a short argument.
  EXPECT_EQ(Parse({"\x83\x41\x83\x41\x83\x41xxxxx"}), ParseResult::kInvalidShort);
  // A ".xml" whose dot is a trail byte is no response file.
  EXPECT_EQ(Parse({"abcdefgh\x83.xml"}), ParseResult::kInvalidLong);
}

}  // namespace
}  // namespace nv
