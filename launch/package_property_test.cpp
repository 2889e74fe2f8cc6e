#include "launch/package_property.h"

#include <gtest/gtest.h>

#include "platform/fake/fake_platform.h"

namespace nv {
namespace {

const char kCode[] = "{6A3C1E2B-7F4D-4C8A-9B1E-2D5F6A7B8C90}";

class PackagePropertyTest : public ::testing::Test {
 protected:
  std::string Get(const std::string& source, const std::string& property) {
    return GetPackageProperty(w.platform, source, property);
  }
  // The recorded calls that start with prefix.
  std::vector<std::string> Calls(const std::string& prefix) {
    std::vector<std::string> found;
    for (const std::string& call : w.installer.Calls()) {
      if (call.rfind(prefix, 0) == 0) found.push_back(call);
    }
    return found;
  }
  fake::FakeWindows w;
};

TEST_F(PackagePropertyTest, PackageValuesAreReadInFullAndEveryHandleReleased) {
  w.installer.AddPackage("D:\\p.bin", {{"Long", std::string(1200, 'N')}, {"Edge", std::string(999, 'E')}});
  EXPECT_EQ(Get("D:\\p.bin", "Long"), std::string(1200, 'N'));
  EXPECT_EQ(Get("D:\\p.bin", "Edge"), std::string(999, 'E'));
  EXPECT_EQ(Get("D:\\p.bin", "Missing"), "");
  EXPECT_EQ(Get("D:\\absent.msi", "Long"), "");
  EXPECT_EQ(Calls("MsiDatabaseOpenViewA").at(0),
            "MsiDatabaseOpenViewA Select * FROM `Property` Where `Property`='Long'");
  EXPECT_EQ(Calls("MsiRecordGetStringA"), (std::vector<std::string>{"MsiRecordGetStringA 2 1000",
                                                                    "MsiRecordGetStringA 2 1201",
                                                                    "MsiRecordGetStringA 2 1000"}));
  EXPECT_EQ(w.installer.OpenHandles(), 0);
}

TEST_F(PackagePropertyTest, InstalledProductsAreReadOnceByProductCode) {
  w.installer.AddProduct(kCode, {{"NVProductPrefix", "INST"}, {"Big", std::string(1000, 'B')}});
  EXPECT_EQ(Get(kCode, "NVProductPrefix"), "INST");
  EXPECT_EQ(Get(kCode, "Big"), "");  // 1000 characters do not fit; no second attempt
  EXPECT_EQ(Get("{00000000-0000-0000-0000-000000000000}", "NVProductPrefix"), "");
  EXPECT_EQ(Calls("MsiGetProductPropertyA").size(), 2u);
  EXPECT_EQ(w.installer.OpenHandles(), 0);
}

TEST_F(PackagePropertyTest, QueryThatWouldNotFitIsNotRun) {
  w.installer.AddPackage("D:\\q.msi", {{std::string(211, 'p'), "fits"}, {std::string(212, 'p'), "too long"}});
  EXPECT_EQ(Get("D:\\q.msi", std::string(211, 'p')), "fits");  // a 255-character query
  w.installer.ClearCalls();
  EXPECT_EQ(Get("D:\\q.msi", std::string(212, 'p')), "");
  EXPECT_TRUE(w.installer.Calls().empty());
}

}  // namespace
}  // namespace nv
