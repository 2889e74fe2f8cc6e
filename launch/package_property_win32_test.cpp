// Package and product properties through the real msi.dll, from the fixture
// packages that the Wine test script builds and installs.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "launch/package_property.h"
#include "platform/win32/win32_platform.h"

namespace nv {
namespace {

const char kInstalledCode[] = "{6A3C1E2B-7F4D-4C8A-9B1E-2D5F6A7B8C90}";

class PackagePropertyWin32Test : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* fixtures = std::getenv("NV_FIXTURES");
    if (!fixtures || !*fixtures) GTEST_SKIP() << "NV_FIXTURES is not set";
    dir = std::string(fixtures) + "\\";
  }
  std::string Get(const std::string& source, const std::string& property) {
    return GetPackageProperty(w.platform, source, property);
  }
  win32::Win32Windows w;
  std::string dir;
};

TEST_F(PackagePropertyWin32Test, ReadsThePackagesPropertyTable) {
  EXPECT_EQ(Get(dir + "props.msi", "ProductName"), "Fixture Product");
  EXPECT_EQ(Get(dir + "props.msi", "ProductVersion"), "1.2.3");
  EXPECT_EQ(Get(dir + "props.msi", "NVProductPrefix"), "FIX");
  EXPECT_EQ(Get(dir + "props.msi", "NVProductTitle"), "Fixture Title");
  EXPECT_EQ(Get(dir + "props.msi", "NVRKSVersion"), "7.0.1");
  EXPECT_EQ(Get(dir + "props.msi", "NoSuchProperty"), "");
  EXPECT_EQ(Get(dir + "missing.msi", "ProductName"), "");
  EXPECT_EQ(Get(dir + "longname.msi", "ProductName"), std::string(1200, 'N'));
}

TEST_F(PackagePropertyWin32Test, ReadsTheInstalledProductByItsCode) {
  EXPECT_EQ(Get(kInstalledCode, "NVProductPrefix"), "INST");
  EXPECT_EQ(Get(kInstalledCode, "ProductName"), "Installed Fixture");
  EXPECT_EQ(Get(kInstalledCode, "NoSuchProperty"), "");
  EXPECT_EQ(Get("{00000000-1111-2222-3333-444444444444}", "ProductName"), "");
}

}  // namespace
}  // namespace nv
