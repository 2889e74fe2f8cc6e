#include "status/result_file.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "app/run_driver.h"
#include "platform/fake/fake_platform.h"
#include "status/json_text.h"

namespace nv {
namespace {

const char kLogDir[] = "C:\\Users\\admin\\AppData\\Local\\Temp";
const char kPkg[] = "D:\\media\\core\\AppOne\\AppOne.msi";
const char kCode[] = "{11111111-2222-3333-4444-555555555555}";

class ResultFileTest : public ::testing::Test {
 protected:
  ResultFileTest() {
    w.files.AddDir("C:\\results");
    w.system.SetEnvironment("COMPUTERNAME", "PC-017");
    w.files.AddFile(kPkg);
    w.installer.AddPackage(kPkg, {{"ProductName", "App One"}, {"NVProductPrefix", "ONE"}});
  }
  // Runs, and reads the document back with the library.
  Json Run(const std::vector<std::string>& args, const std::string& path = "C:\\results\\PC-017.json") {
    w.system.SetArguments(args);
    int instance = 0;
    exitCode = RunUnattended(w.platform, &instance);
    for (const std::string& file : w.files.ListTree(kLogDir)) {
      if (file.find("VOVarOvadevir ") != std::string::npos) log = w.files.Contents(file), logPath = file;
    }
    return ParseJson(w.files.Contents(path));
  }
  int Writes(const std::string& path) {
    return static_cast<int>(std::count(w.files.Calls().begin(), w.files.Calls().end(), "Create " + path));
  }
  fake::FakeWindows w;
  int32_t exitCode = 0;
  std::string log, logPath;
};

TEST_F(ResultFileTest, AnInstallRunRecordsEveryItemAsItsLogTellsIt) {
  w.files.AddFile("D:\\media\\answers.xml",
                  "<I>\n<PRODUCT1>D:\\media\\core\\AppOne\\AppOne.msi</PRODUCT1><PARAMETER1>SAPWD=secret</PARAMETER1>\n"
                  "<PRODUCT2>D:\\media\\tools\\setup.exe</PRODUCT2><PARAMETER2>/pw=secret</PARAMETER2>\n"
                  "<PRODUCT3>D:\\media\\gone.msi</PRODUCT3><PARAMETER3></PARAMETER3>\n"
                  "<PRODUCT4>D:\\media\\tools\\hang.exe</PRODUCT4><PARAMETER4></PARAMETER4>\n</I>\n");
  w.installer.SetResult(kPkg, 1603);
  w.files.AddFile("D:\\media\\tools\\setup.exe");
  w.processes.SetExitCode("D:\\media\\tools\\setup.exe", 3010);
  w.files.AddFile("D:\\media\\tools\\hang.exe");
  w.processes.SetRunTime("D:\\media\\tools\\hang.exe", 6000);
  w.system.SetCommandLine("NvRunUnattended.exe answers.xml /L itemtimeout=5 result=C:\\results\\%computername%.json");
  const Json doc = Run({"answers.xml", "/L", "itemtimeout=5", "result=C:\\results\\%computername%.json"});
  ASSERT_TRUE(doc.is_object()) << w.files.Contents("C:\\results\\PC-017.json");
  EXPECT_EQ(exitCode, 1460);
  EXPECT_EQ(doc["exitCode"], exitCode);
  const Json head = {{"schema", 1}, {"program", "NvRunUnattended.exe"}, {"computer", "PC-017"}, {"user", "SYSTEM"},
                     {"commandLine", w.system.CommandLine()}, {"mode", "install"},
                     {"responseFile", "D:\\media\\answers.xml"}, {"runLog", logPath}, {"started", "2026-12-08T01:39:57Z"}};
  for (const auto& [key, value] : head.items()) EXPECT_EQ(doc[key], value) << key;
  EXPECT_EQ(doc["state"], "finished");
  EXPECT_EQ(doc["finished"], doc["updated"]);
  EXPECT_EQ(doc["restart"], "none");
  // Each item as the log tells it; parameters never appear.
  EXPECT_EQ(doc["items"], Json::parse(R"([
    {"item": 1, "product": "D:\\media\\core\\AppOne\\AppOne.msi", "name": "App One", "kind": "package",
     "path": "D:\\media\\core\\AppOne\\AppOne.msi", "returnValue": 1603, "outcome": "failed", "seconds": 0.0,
     "installerLog": "C:\\Users\\admin\\AppData\\Local\\Temp\\MsiONE.log"},
    {"item": 2, "product": "D:\\media\\tools\\setup.exe", "name": "", "kind": "program",
     "path": "D:\\media\\tools\\setup.exe", "returnValue": 3010, "outcome": "restart needed", "seconds": 0.0,
     "installerLog": ""},
    {"item": 3, "product": "D:\\media\\gone.msi", "name": "", "kind": "package", "path": "D:\\media\\gone.msi",
     "returnValue": 1619, "outcome": "not found", "seconds": 0.0, "installerLog": ""},
    {"item": 4, "product": "D:\\media\\tools\\hang.exe", "name": "", "kind": "program",
     "path": "D:\\media\\tools\\hang.exe", "returnValue": 1460, "outcome": "timed out", "seconds": 5.0,
     "installerLog": ""}])"));
  for (const char* logged : {"PRODUCT1 D:\\media\\core\\AppOne\\AppOne.msi launched.\n", "Return value is 1603\n",
                             "PRODUCT2 D:\\media\\tools\\setup.exe launched.\n", "Launch return value is 3010\n",
                             "PRODUCT3 D:\\media\\gone.msi launched.\n", "Giving up. File D:\\media\\gone.msi"}) {
    EXPECT_NE(log.find(logged), std::string::npos) << logged;
  }
  EXPECT_EQ(w.files.Contents("C:\\results\\PC-017.json").find("secret"), std::string::npos);
  // Written at the start, after each item and at the end, always through the
  // temporary file, which does not stay.
  EXPECT_EQ(Writes("C:\\results\\PC-017.json.4242.tmp"), 6);
  EXPECT_EQ(w.files.ListTree("C:\\results"), std::vector<std::string>{"C:\\results\\PC-017.json"});
}

TEST_F(ResultFileTest, ARemoveAllRunRecordsItsRemovalsAndTheRestart) {
  const std::vector<std::pair<std::vector<std::string>, std::pair<const char*, int>>> rows = {
      {{"/removeall", "/noreboot", "/rebootcodes"}, {"suppressed", 3010}},
      {{"/removeall", "/rebootcodes"}, {"started", 1641}},
      {{"/removeall", "/rebootcodes", "refused"}, {"pending", 3010}},
      // Only the products' RunOnce marker asks, and /noreboot keeps it.
      {{"/removeall", "/noreboot", "/rebootcodes", "marker"}, {"suppressed", 3010}},
  };
  for (const auto& [args, expected] : rows) {
    w.installer.AddProduct(kCode, {}, {{"Publisher", "Norvasoft"}, {"InstalledProductName", "One"}});
    w.installer.SetResult(kCode, 3010);
    std::vector<std::string> withResult = args;
    // Windows refuses the restart: it stays owed.
    w.system.FailRestart(args.back() == "refused" ? 1115 : 0);
    const bool marker = args.back() == "marker";
    w.installer.SetResult(kCode, marker ? 0 : 3010);
    if (marker) {
      w.registry.SetString(RegRoot::LocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
                           "NorvasoftReboot", "x");
    }
    if (args.back() == "refused" || marker) withResult.pop_back();
    withResult.push_back("result=C:\\results\\r.json");
    const Json doc = Run(withResult, "C:\\results\\r.json");
    ASSERT_TRUE(doc.is_object());
    EXPECT_EQ(doc["mode"], "removeall");
    EXPECT_FALSE(doc.contains("responseFile"));
    EXPECT_EQ(doc["restart"], expected.first);
    EXPECT_EQ(doc["exitCode"], expected.second);
    EXPECT_EQ(exitCode, expected.second);
    ASSERT_EQ(doc["items"].size(), 1u);
    if (marker) continue;
    EXPECT_EQ(doc["items"][0], Json({{"item", 1}, {"product", kCode}, {"name", "One"}, {"kind", "removal"},
                                     {"path", kCode}, {"returnValue", 3010}, {"outcome", "restart needed"},
                                     {"seconds", 0.0}, {"installerLog", ""}}));
    EXPECT_NE(log.find("Reboot was requested. Return value is 3010"), std::string::npos);
  }
}

TEST_F(ResultFileTest, AStartUpStopAfterTheLogOpensEndsTheRecordWithItsCode) {
  w.files.AddFile("D:\\media\\answers.xml", "<I>\n<PRODUCT1>a.msi</PRODUCT1>\n</I>\n");
  const Json doc = Run({"answers.xml", "/result=C:\\results\\PC-017.json"});
  EXPECT_EQ(exitCode, 13);
  EXPECT_EQ(doc["state"], "finished");
  EXPECT_EQ(doc["exitCode"], 13);
  EXPECT_EQ(doc["items"], Json::array());
}

TEST_F(ResultFileTest, AFailedWriteIsLoggedOnceAndChangesNothingElse) {
  w.files.AddFile("D:\\media\\answers.xml", "<I>\n<PRODUCT1>D:\\media\\core\\AppOne\\AppOne.msi</PRODUCT1>"
                                            "<PARAMETER1></PARAMETER1>\n</I>\n");
  Run({"answers.xml", "result=C:\\missing\\r.json"});
  EXPECT_EQ(exitCode, 0);
  const std::string line = "Result file C:\\missing\\r.json could not be written. Return value is 3\n";
  EXPECT_EQ(log.find(line), log.rfind(line));
  EXPECT_EQ(log.find("Response XML file: "), line.size()) << log;
  // A share that refuses the replacement gets the file written in place.
  w.files.FailMove("C:\\results\\r.json");
  const Json doc = Run({"answers.xml", "result=C:\\results\\r.json"}, "C:\\results\\r.json");
  EXPECT_EQ(doc["state"], "finished");
  EXPECT_EQ(doc["items"][0]["outcome"], "succeeded");
  EXPECT_EQ(w.files.ListTree("C:\\results"), std::vector<std::string>{"C:\\results\\r.json"});
}

}  // namespace
}  // namespace nv
