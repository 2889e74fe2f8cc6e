#include "check/check_media.h"

#include <gtest/gtest.h>

#include "platform/fake/fake_platform.h"
#include "platform/fake/fake_trust.h"

namespace nv {
namespace {

const char kFile[] = "D:\\media\\run.xml";

class CheckMediaTest : public ::testing::Test {
 protected:
  int32_t Check(const std::vector<std::string>& args) {
    out.clear();
    err.clear();
    w.files.ClearCalls();
    w.installer.ClearCalls();
    w.shell.ClearCalls();
    w.processes.ClearCalls();
    return CheckMedia(w.platform, trust, args, &out, &err);
  }
  void Items(const std::vector<std::pair<std::string, std::string>>& items) {
    std::string file = "<Items>\n";
    int n = 0;
    for (const auto& item : items) {
      const std::string k = std::to_string(++n);
      file += "<PRODUCT" + k + ">" + item.first + "</PRODUCT" + k + "><PARAMETER" + k + ">" + item.second +
              "</PARAMETER" + k + ">\n";
    }
    w.files.AddFile(kFile, file + "</Items>\n");
  }
  void AddPackage(const std::string& path, const std::string& name) {
    w.files.AddFile(path);
    w.installer.AddPackage(path, {{"ProductName", name}, {"ProductVersion", "2.0"}, {"NVProductPrefix", "NV" + name},
                                  {"ALLUSERS", "1"}});
  }
  // Nothing was installed, removed, copied, started, created or deleted.
  void ExpectNothingChanged() {
    for (const std::string& call : w.installer.Calls()) {
      for (const char* change : {"MsiInstallProductA", "MsiConfigureProductExA", "MsiEnableLogA", "MsiSetInternalUI"}) {
        EXPECT_EQ(call.find(change), std::string::npos) << call;
      }
    }
    for (const std::string& call : w.files.Calls()) {
      for (const char* change : {"CreateDir", "RemoveDir", "DeleteFile", "SetAttributes", "Create ", "Write"}) {
        EXPECT_NE(call.rfind(change, 0), 0u) << call;
      }
    }
    for (const std::string& call : w.shell.Calls()) EXPECT_NE(call.rfind("SHFileOperationA", 0), 0u) << call;
    EXPECT_TRUE(w.processes.Calls().empty());
    EXPECT_TRUE(w.ui.StatusWindows().empty());
    EXPECT_TRUE(w.ui.MessageBoxes().empty());
    EXPECT_TRUE(w.system.MifRecords().empty());
  }
  fake::FakeWindows w;
  fake::FakeTrust trust;
  std::string out, err;
};

TEST_F(CheckMediaTest, ReportsWhereEachItemIsFoundAndWhatWouldStart) {
  AddPackage("D:\\media\\core\\one\\one.msi", "One");            // as written
  AddPackage("E:\\alt\\two.msi", "Two");                          // alternative source, file name alone
  AddPackage("E:\\alt\\disk\\sub\\four.msi", "Four");             // subfolder search
  w.files.AddFile("D:\\media\\core\\dotnet20\\dotnetfx.exe");
  w.files.AddFile("C:\\Program Files\\Tool\\tool.exe");
  w.installer.AddProduct("{P}", {{"ProductName", "Old"}}, {{"InstalledProductName", "Old"}});
  Items({{"D:\\media\\core\\one\\one.msi", "A=1"},
         {"D:\\media\\core\\two\\two.msi", ""},
         {"D:\\media\\core\\three\\three.msi", ""},
         {"X:\\four.msi", ""},
         {"D:\\media\\core\\dotnet20\\dotnetfx.exe", "/q"},
         {"C:\\Program Files\\Tool\\tool.exe", "/s"},
         {"{P}", ""},
         {"{Q}", ""},
         {"D:\\media\\missing.exe", ""}});
  // The four forms of a signature; a redistributable is checked on the media.
  trust.SetResult("D:\\media\\core\\one\\one.msi", 0, "Norvasoft Ltd");
  trust.SetResult("e:\\alt\\two.msi", kTrustBadDigest);
  trust.SetResult("E:\\alt\\disk\\sub\\four.msi", kCertUntrustedRoot);
  trust.SetResult("D:\\media\\core\\dotnet20\\dotnetfx.exe", 0, "Microsoft Corporation");
  EXPECT_EQ(Check({"D:\\media\\run.xml", "altsource=E:\\alt"}), 3);
  EXPECT_EQ(err, "");
  const std::string temp = "C:\\Users\\admin\\AppData\\Local\\Temp\\";
  EXPECT_EQ(out,
            "response file: D:\\media\\run.xml\ncore directory: d:\\media\\core\\\n"
            "media prefix: D:\\media\\core\\two\n"
            "alternative source: e:\\alt\\\n\n"
            "item: 1\nwritten: D:\\media\\core\\one\\one.msi\npath: D:\\media\\core\\one\\one.msi\nrule: as written\n"
            "kind: package\nstatus: found\nproduct name: One\nproduct version: 2.0\nproduct prefix: NVOne\n"
            "parameters: A=1\nsignature: valid, signed by Norvasoft Ltd\n\n"
            "item: 2\nwritten: D:\\media\\core\\two\\two.msi\npath: e:\\alt\\two.msi\nrule: alternative source\n"
            "kind: package\nstatus: found\nproduct name: Two\nproduct version: 2.0\nproduct prefix: NVTwo\n"
            "parameters: \nsignature: does not match the file (changed after signing)\n\n"
            "item: 3\nwritten: D:\\media\\core\\three\\three.msi\npath: D:\\media\\core\\three\\three.msi\n"
            "rule: as written\nkind: package\nstatus: missing\n\n"
            "item: 4\nwritten: X:\\four.msi\npath: e:\\alt\\disk\\sub\\four.msi\nrule: subfolder search\n"
            "kind: package\nstatus: found\nproduct name: Four\nproduct version: 2.0\nproduct prefix: NVFour\n"
            "parameters: \nsignature: not trusted (0x800B0109)\n\n"
            "item: 5\nwritten: D:\\media\\core\\dotnet20\\dotnetfx.exe\n"
            "media path: D:\\media\\core\\dotnet20\\dotnetfx.exe\npath: " +
                temp +
                "norvacore\\dotnetfx.exe\nrule: local copy\nkind: .NET redistributable\nstatus: found\n"
                "command line: " +
                temp +
                "norvacore\\dotnetfx.exe /q\nsignature: valid, signed by Microsoft Corporation\n\n"
                "item: 6\nwritten: C:\\Program Files\\Tool\\tool.exe\npath: C:\\Program Files\\Tool\\tool.exe\n"
                "rule: as written\nkind: program\nstatus: found\n"
                "command line: \"C:\\Program Files\\Tool\\tool.exe\" /s\nsignature: none\n\n"
                "item: 7\nwritten: {P}\npath: {P}\nrule: as written\nkind: product code\nstatus: installed\n"
                "product name: Old\n\n"
                "item: 8\nwritten: {Q}\npath: {Q}\nrule: as written\nkind: product code\nstatus: not installed\n\n"
                "item: 9\nwritten: D:\\media\\missing.exe\npath: D:\\media\\missing.exe\nrule: as written\n"
                "kind: program\nstatus: missing\ncommand line: D:\\media\\missing.exe \n\n"
                "summary: 9 items, 6 found, 3 missing or failing; 2 signed, 1 unsigned, 2 untrusted\n");
  ExpectNothingChanged();
  // The run's own command line can be pasted: its other switches change
  // nothing of what a run finds.
  const std::string report = out;
  EXPECT_EQ(Check({"D:\\media\\run.xml", "altsource=E:\\alt", "/I", "/S", "/L", "/M", "/noreboot",
                   "/forcereboot", "logfile=C:\\x.log", "busywait=600", "itemtimeout=3600", "/rebootcodes"}),
            3);
  EXPECT_EQ(out, report);
  ExpectNothingChanged();
}

TEST_F(CheckMediaTest, FindsPackagesByEveryCandidateRuleAndTracesTheSearch) {
  struct Case {
    const char* onMedia;
    const char* rule;
  } cases[] = {
      {"E:\\alt\\p.msi", "alternative source"},
      {"E:\\alt\\d1\\p.msi", "alternative source"},
      {"E:\\alt\\d2\\d1\\p.msi", "alternative source"},
      {"F:\\core\\d1\\p.msi", "core directory"},
      {"F:\\core\\d2\\d1\\p.msi", "core directory"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.onMedia);
    fake::FakeWindows fresh;
    std::string o, e;
    fresh.files.AddFile(c.onMedia);
    fresh.files.AddFile("F:\\core\\x.msi");  // the first item settles the core folder
    fresh.files.AddFile(kFile, "<Items>\n<PRODUCT1>F:\\Core\\x.msi</PRODUCT1><PARAMETER1/>"
                               "<PARAMETER1></PARAMETER1>\n<PRODUCT2>Q:\\m\\d2\\d1\\p.msi</PRODUCT2>"
                               "<PARAMETER2></PARAMETER2>\n</Items>\n");
    EXPECT_EQ(CheckMedia(fresh.platform, trust, {kFile, "/altsource=E:\\ALT", "/v"}, &o, &e), 0) << o << e;
    EXPECT_NE(o.find("rule: " + std::string(c.rule) + "\n"), std::string::npos) << o;
    EXPECT_NE(o.find("trace: Looking for "), std::string::npos) << o;
  }
}

TEST_F(CheckMediaTest, TellsWhatEachPackageWillDoHere) {
  struct Installed {
    const char* code;
    const char* upgrade;
    const char* version;
  };
  struct Case {
    std::vector<Installed> installed;
    const char* state;
  } cases[] = {
      {{}, "new install"},
      {{{"{P}", "{U}", "2.0.1"}}, "already installed (version 2.0.1), the run repairs or modifies it"},
      {{{"{P}", "{U}", "1.0"}},
       "another version of this product is installed (version 1.0); Windows Installer will refuse it (1638)"},
      // A lower version wins over a higher one, whatever the order Windows lists them in.
      {{{"{N}", "{U}", "3.0"}, {"{O}", "{U}", "2.0"}}, "upgrades Old 2.0"},
      {{{"{N}", "{U}", "3.0"}, {"{X}", "{OTHER}", "1.0"}}, "a newer version is installed (Old 3.0)"},
      {{{"{S}", "{U}", "2.0.1"}}, "the same version of a related product is installed (Old 2.0.1)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.state);
    fake::FakeWindows fresh;
    fresh.files.AddFile("D:\\media\\p.msi");
    fresh.installer.AddPackage("D:\\media\\p.msi", {{"ProductName", "New"}, {"ProductVersion", "2.0.1"},
                                                     {"ProductCode", "{P}"}, {"UpgradeCode", "{U}"}});
    for (const Installed& i : c.installed) {
      fresh.installer.AddProduct(i.code, {}, {{"InstalledProductName", "Old"}, {"VersionString", i.version}});
      fresh.installer.SetUpgradeCode(i.code, i.upgrade);
    }
    // The same package as a package item and through msiexec.exe.
    fresh.files.AddFile(kFile, "<I>\n<PRODUCT1>D:\\media\\p.msi</PRODUCT1><PARAMETER1></PARAMETER1>\n"
                               "<PRODUCT2>msiexec.exe</PRODUCT2><PARAMETER2>/i \"D:\\media\\p.msi\" /qn</PARAMETER2>\n</I>\n");
    std::string o, e;
    EXPECT_EQ(CheckMedia(fresh.platform, trust, {kFile}, &o, &e), 0) << e;
    const std::string state = "state: " + std::string(c.state) + "\n";
    const size_t first = o.find(state);
    EXPECT_NE(first, std::string::npos) << o;
    EXPECT_NE(o.find("package: D:\\media\\p.msi\n" + state, first + 1), std::string::npos) << o;
  }
  // A package msiexec.exe would not find fails the item.
  Items({{"msiexec.exe", "/I \"D:\\media\\gone.msi\""}});
  EXPECT_EQ(Check({kFile}), 1);
  EXPECT_NE(out.find("package: D:\\media\\gone.msi\npackage status: missing\n"), std::string::npos) << out;
}

TEST_F(CheckMediaTest, SignedJsonAndKit) {
  w.files.AddFile("D:\\media\\a.msi");
  w.installer.AddPackage("D:\\media\\a.msi", {{"ProductName", "A"}, {"ProductVersion", "1.0"},
                                              {"ProductCode", "{A}"}, {"UpgradeCode", "{UA}"},
                                              {"ALLUSERS", "1"}});
  w.files.AddFile("D:\\media\\b.msi");
  w.installer.AddPackage("D:\\media\\b.msi", {{"ProductName", "B's"}, {"ProductVersion", "2.0"},
                                              {"ProductCode", "{B}"}, {"UpgradeCode", "{UB}"},
                                              {"ALLUSERS", "2"}});
  w.files.AddFile("D:\\media\\tool.exe");
  Items({{"D:\\media\\a.msi", "A=\t1"}, {"D:\\media\\b.msi", ""}, {"D:\\media\\tool.exe", ""}});
  trust.SetResult("D:\\media\\a.msi", 0, "Norvasoft");
  trust.SetResult("D:\\media\\b.msi", kCertUntrustedRoot);
  EXPECT_EQ(Check({kFile, "/agent", "logdir=%WINDIR%\\Logs"}), 0);  // the kit's own switches are taken
  // A run's result= is taken and ignored: the check writes nothing.
  EXPECT_EQ(Check({kFile, "result=C:\\r.json"}), 0);
  EXPECT_FALSE(w.files.Exists("C:\\r.json"));
  EXPECT_EQ(Check({kFile, "/SIGNED"}), 2);
  EXPECT_NE(out.find("summary: 3 items, 1 found, 2 missing or failing; 1 signed, 1 unsigned, 1 untrusted\n"),
            std::string::npos) << out;

  EXPECT_EQ(Check({kFile, "/json", "/v"}), 0);
  EXPECT_EQ(out.rfind("{\n  \"responseFile\": \"D:\\\\media\\\\run.xml\",\n", 0), 0u) << out;
  for (const char* part : {"\"item\": 1,\n      \"written\": \"D:\\\\media\\\\a.msi\"", "\"parameters\": \"A=\\t1\"",
                           "\"productName\": \"B's\"", "\"trace\": [\n        \"", "\"state\": \"new install\"",
                           "\"summary\": {\n    \"items\": 3,\n    \"found\": 3,\n    \"missingOrFailing\": 0,\n"}) {
    EXPECT_NE(out.find(part), std::string::npos) << part << "\n" << out;
  }

  // The kit: made where asked, nothing else written.
  EXPECT_EQ(Check({kFile, "/kit=C:\\kits\\one"}), 0) << err;
  std::vector<std::string> changes;
  for (const std::string& call : w.files.Calls()) {
    if (call.rfind("Open ", 0) != 0 && call != "Close " + std::string(kFile)) {
      changes.push_back(call.substr(0, call.find('\n')));
    }
  }
  EXPECT_EQ(changes, (std::vector<std::string>{
                         "CreateDir C:\\kits", "CreateDir C:\\kits\\one", "Create C:\\kits\\one\\detect.ps1",
                         "Write C:\\kits\\one\\detect.ps1 # Detection of the Norvasoft suite installed from D:\\media\\run.xml.",
                         "Close C:\\kits\\one\\detect.ps1", "Create C:\\kits\\one\\uninstall.xml",
                         "Write C:\\kits\\one\\uninstall.xml <?xml version=\"1.0\" encoding=\"utf-8\"?>",
                         "Close C:\\kits\\one\\uninstall.xml", "Create C:\\kits\\one\\commands.txt",
                         "Write C:\\kits\\one\\commands.txt Norvasoft suite: commands for the management agent (D:\\media\\run.xml)",
                         "Close C:\\kits\\one\\commands.txt"}));
  const std::string detect = w.files.Contents("C:\\kits\\one\\detect.ps1");
  for (const char* part : {"ProductCode = '{A}'; UpgradeCode = '{UA}'", "Name = 'B''s'; Version = '2.0'",
                           "Write-Output 'Installed: A 1.0, B''s 2.0'"}) {
    EXPECT_NE(detect.find(part), std::string::npos) << part << "\n" << detect;
  }
  EXPECT_NE(w.files.Contents("C:\\kits\\one\\commands.txt")
                .find("NvRunUnattended.exe \"run.xml\" /agent /noreboot altsource=. busywait=600 itemtimeout=3600 logdir=%WINDIR%\\CCM\\Logs\n"),
            std::string::npos);
  // The uninstall response file removes the products last first, as a run reads it.
  w.files.AddFile("D:\\media\\uninstall.xml", w.files.Contents("C:\\kits\\one\\uninstall.xml"));
  w.installer.AddProduct("{A}", {}, {{"InstalledProductName", "A"}});
  EXPECT_EQ(Check({"D:\\media\\uninstall.xml"}), 1);
  EXPECT_NE(out.find("item: 1\nwritten: {B}\npath: {B}\nrule: as written\nkind: product code\nstatus: not installed\n"
                     "\nitem: 2\nwritten: {A}\npath: {A}\nrule: as written\nkind: product code\nstatus: installed\n"),
            std::string::npos) << out;
  EXPECT_NE(w.files.Contents("D:\\media\\uninstall.xml").find("<PARAMETER2>REBOOT=ReallySuppress</PARAMETER2>"),
            std::string::npos);

  w.files.FailCreate("C:\\kits\\one\\uninstall.xml");
  EXPECT_EQ(Check({kFile, "/kit=C:\\kits\\one"}), kCheckKitNotWritten);
  EXPECT_EQ(err, "The kit file C:\\kits\\one\\uninstall.xml cannot be written.\n");

  // No kit from media a run would not install whole, or for the system account alone.
  w.installer.AddPackage("D:\\media\\tool.exe", {{"ProductCode", "{C}"}, {"ALLUSERS", "\"1\""}});
  Items({{"D:\\media\\a.msi", ""}, {"D:\\media\\gone.msi", ""}, {"msiexec.exe", "/i D:\\media\\tool.exe"}});
  EXPECT_EQ(Check({kFile, "/kit=C:\\kits\\two"}), kCheckKitNotWritten);
  EXPECT_EQ(err, "No kit is written: item 2 is missing or failing; item 3 installs for the running user only.\n");
  EXPECT_NE(out.find("note: installs for the running user only (no ALLUSERS=1); under an agent's SYSTEM account nobody"),
            std::string::npos);
  EXPECT_FALSE(w.files.Exists("C:\\kits\\two"));
}

TEST_F(CheckMediaTest, RefusesWhatItCannotCheck) {
  EXPECT_EQ(Check({kFile, "/removeall"}), kCheckUsageError);
  EXPECT_EQ(err, BuildCheckUsageText());
  EXPECT_EQ(Check({kFile, "/x"}), kCheckUsageError);
  EXPECT_EQ(Check({kFile, "busywait=0"}), kCheckUsageError);
  EXPECT_EQ(Check({kFile, "/kit="}), kCheckUsageError);
  EXPECT_EQ(Check({"missing.xml"}), kCheckNoResponseFile);
  EXPECT_EQ(err, "Could not locate the unattended response file missing.xml\n");
  w.files.AddFile(kFile, "<I>\n<PRODUCT1>a.msi</PRODUCT1>\n</I>\n");
  EXPECT_EQ(Check({kFile}), kCheckInvalidEntries);
  EXPECT_EQ(err, "Invalid entries found in response file. Please fix the errors before proceeding\n");
  EXPECT_EQ(out, "");
  ExpectNothingChanged();
}

}  // namespace
}  // namespace nv
