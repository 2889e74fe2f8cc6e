#include "response/install_plan.h"

#include <gtest/gtest.h>

#include "app/run_context.h"
#include "platform/fake/fake_platform.h"
#include "status/run_log.h"

namespace nv {
namespace {

const char kFile[] = "D:\\media\\run.xml";
const char kLog[] = "C:\\logs\\run.log";

class InstallPlanTest : public ::testing::Test {
 protected:
  InstallPlanTest() : ctx(w.platform) {
    ctx.options.responseFile = kFile;
    ctx.options.logFile = kLog;
    OpenRunLog(ctx);
  }
  // A response file of "TAG=value" elements (the value may be empty).
  bool Build(const std::vector<std::string>& elements) {
    std::string file = "<items>\n";
    for (const std::string& e : elements) {
      size_t eq = e.find('=');
      file += "<" + e.substr(0, eq) + ">" + e.substr(eq + 1) + "</" + e.substr(0, eq) + ">\n";
    }
    w.files.AddFile(kFile, file);
    return BuildInstallPlan(ctx);
  }
  fake::FakeWindows w;
  RunContext ctx;
};

TEST_F(InstallPlanTest, CountsUpToTheFirstMissingProductAndLogsEachItem) {
  EXPECT_TRUE(Build({"PRODUCT1=\"D:\\media\\core\\a.msi\"", "PARAMETER1=A=1", "PRODUCT2=D:\\Norvacore\\s.exe",
                     "PARAMETER2=", "PRODUCT3=", "PARAMETER3=x", "PRODUCT5=F:\\e.msi", "PARAMETER5=y"}));
  EXPECT_EQ(ctx.plan.itemCount, 3);
  // The fallback core folder comes from the last item holding "core", cut in
  // front of it even inside a word.
  EXPECT_EQ(w.files.Contents(kLog),
            "Counting items to be launched.\nPRODUCT1=\"D:\\media\\core\\a.msi\"\nPRODUCT2=D:\\Norvacore\\s.exe\n"
            "PRODUCT3=@@$$##\nCore Directory: d:\\norva\\core\\\n\n");
  EXPECT_TRUE(w.ui.MessageBoxes().empty());
  // The launch pass sees the items without the product's quotes, and stops
  // at the empty third product.
  EXPECT_EQ(ReadItem(w.platform, kFile, 1).product, "D:\\media\\core\\a.msi");
  EXPECT_EQ(ReadItem(w.platform, kFile, 3).product, "");
  EXPECT_EQ(ReadItem(w.platform, kFile, 3).parameter, "x");
}

TEST_F(InstallPlanTest, MalformedPairsAreRejected) {
  for (std::string second : {"PRODUCT2=b.msi", "PARAMETER2=x", "PRODUCT2=\nPARAMETER2="}) {
    SCOPED_TRACE(second);
    std::vector<std::string> elements = {"PRODUCT1=a.msi", "PARAMETER1="};
    size_t split = second.find('\n');
    elements.push_back(second.substr(0, split));
    if (split != std::string::npos) elements.push_back(second.substr(split + 1));
    EXPECT_FALSE(Build(elements));
    ASSERT_FALSE(w.ui.MessageBoxes().empty());
    EXPECT_EQ(w.ui.MessageBoxes().back().text,
              "Invalid entries found in response file. Please fix the errors before proceeding");
    EXPECT_EQ(w.ui.MessageBoxes().back().caption, "Norvasoft Installer");
    EXPECT_EQ(w.ui.MessageBoxes().back().flags, static_cast<uint32_t>(MB_OK | MB_ICONWARNING));
  }
  EXPECT_EQ(w.ui.MessageBoxes().size(), 3u);
  // Neither value of an item can be read: no end of the list either.
  w.faults = fake::FaultPlan();
  w.faults.Fail(fake::Call::FileOpen, 1);
  w.faults.Fail(fake::Call::FileOpen, 2);
  EXPECT_FALSE(Build({"PRODUCT1=a.msi", "PARAMETER1="}));
  EXPECT_EQ(w.ui.MessageBoxes().size(), 4u);
}

TEST_F(InstallPlanTest, AltSourceProbeSetsPrefixAndCore) {
  ctx.options.altSource = "F:\\alt\\";
  w.files.AddFile("F:\\alt\\disk1\\apps\\a.msi");
  w.files.AddFile("F:\\alt\\apps\\a.msi");
  w.files.AddDir("F:\\alt\\disk1\\apps\\core");
  w.files.AddFile("F:\\alt\\b.MSI");
  // Both "disk1\apps\a.msi" and "apps\a.msi" exist under altSource: the longer
  // prefix stays, and the core folder comes from the first match.
  Build({"PRODUCT1=\\\\srv\\share\\disk1\\apps\\a.msi", "PARAMETER1="});
  EXPECT_EQ(ctx.plan.mediaPrefix, "\\\\srv\\share\\disk1");
  EXPECT_EQ(ctx.plan.coreDir, "F:\\alt\\disk1\\apps\\core\\");
  // A later package's match overwrites the prefix; other items are not probed.
  Build({"PRODUCT1=\\\\srv\\share\\disk1\\apps\\a.msi", "PARAMETER1=", "PRODUCT2=Q:\\media\\b.MSI",
         "PARAMETER2=", "PRODUCT3=Y:\\x\\apps", "PARAMETER3="});
  EXPECT_EQ(ctx.plan.mediaPrefix, "Q:\\media");
}

TEST_F(InstallPlanTest, SuitePackageFindsCoreBesideItsFolderOrParent) {
  std::map<std::string, std::string> suite = {{"NVProductPrefix", "A"}, {"NVProductTitle", "T"}, {"NVRKSVersion", "1"}};
  w.installer.AddPackage("D:\\Media\\Disk\\Apps\\a.msi", suite);
  w.files.AddDir("D:\\Media\\Disk\\core");
  Build({"PRODUCT1=D:\\Media\\Disk\\Apps\\a.msi", "PARAMETER1="});
  EXPECT_EQ(ctx.plan.coreDir, "d:\\media\\disk\\core\\");
  w.files.AddDir("D:\\Media\\Disk\\Apps\\core");
  Build({"PRODUCT1=D:\\Media\\Disk\\Apps\\a.msi", "PARAMETER1="});
  EXPECT_EQ(ctx.plan.coreDir, "d:\\media\\disk\\apps\\core\\");
  suite.erase("NVRKSVersion");  // all three properties are needed
  w.installer.AddPackage("D:\\Media\\Disk\\Apps\\b.msi", suite);
  Build({"PRODUCT1=D:\\Media\\Disk\\Apps\\b.msi", "PARAMETER1="});
  EXPECT_EQ(ctx.plan.coreDir, "");
}

}  // namespace
}  // namespace nv
