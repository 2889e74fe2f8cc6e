// Runs over the packages tests/wine/run-win32-tests.sh builds into
// NV_FIXTURES, one of them installed beforehand.

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/win32/test_support.h"
#include "platform/win32/win32_platform.h"

namespace nv {
namespace win32 {
namespace {

using testing::Fixture;

// Whether msi.dll was in the process before any code ran: it would be if
// anything linked into the tests imported it.
const bool gMsiLoadedAtStart = GetModuleHandleA("msi.dll") != nullptr;

const char kInstalledCode[] = "{6A3C1E2B-7F4D-4C8A-9B1E-2D5F6A7B8C90}";
const char kUnknownCode[] = "{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}";

// The Value of one Property row of a package, through the same calls the
// property query makes; "<error n>" when a call fails.
std::string PackageProperty(Installer& installer, const std::string& package, const std::string& property,
                            uint32_t bufferChars = 1024) {
  MSIHANDLE database = 0, view = 0, record = 0;
  uint32_t result = installer.OpenDatabase(package, &database);
  if (result != 0) return "<error " + std::to_string(result) + ">";
  std::string value;
  result = installer.DatabaseOpenView(
      database, "SELECT `Value` FROM `Property` WHERE `Property`='" + property + "'", &view);
  if (result == 0) result = installer.ViewExecute(view);
  if (result == 0) result = installer.ViewFetch(view, &record);
  if (result == 0) {
    std::vector<char> buffer(bufferChars);
    uint32_t size = bufferChars;
    result = installer.RecordGetString(record, 1, buffer.data(), &size);
    if (result == 0) value.assign(buffer.data(), size);
    installer.CloseHandle(record);
  }
  if (view != 0) {
    installer.ViewClose(view);
    installer.CloseHandle(view);
  }
  installer.CloseHandle(database);
  return result == 0 ? value : "<error " + std::to_string(result) + ">";
}

TEST(Win32InstallerTest, BindsMsiDllOnTheFirstCallOnly) {
  EXPECT_FALSE(gMsiLoadedAtStart) << "msi.dll is imported instead of bound at run time";

  HMODULE before = GetModuleHandleA("msi.dll");
  auto installer = std::make_unique<Win32Installer>();
  EXPECT_EQ(GetModuleHandleA("msi.dll"), before);
  installer->SetInternalUI(INSTALLUILEVEL_NONE);
  EXPECT_NE(GetModuleHandleA("msi.dll"), nullptr);
  EXPECT_EQ(installer->SetInternalUI(INSTALLUILEVEL_NONE), INSTALLUILEVEL_NONE);
  installer.reset();
  // The installer's reference goes with it.
  EXPECT_EQ(GetModuleHandleA("msi.dll") != nullptr, before != nullptr);
}

TEST(Win32InstallerTest, AMissingLibraryOrFunctionAnswersNotImplemented) {
  for (const char* library : {"nv_no_such_engine.dll", "kernel32.dll"}) {
    SCOPED_TRACE(library);
    Win32Installer installer(library);
    EXPECT_EQ(installer.SetInternalUI(INSTALLUILEVEL_NONE), 0);
    EXPECT_EQ(installer.EnableLog(0x1FDF, "C:\\x.log", INSTALLLOGATTRIBUTES_FLUSHEACHLINE),
              static_cast<uint32_t>(ERROR_CALL_NOT_IMPLEMENTED));
    EXPECT_EQ(installer.InstallProduct(Fixture("props.msi"), ""), static_cast<uint32_t>(ERROR_CALL_NOT_IMPLEMENTED));
    std::string code = "stale";
    EXPECT_EQ(installer.EnumProducts(0, &code), static_cast<uint32_t>(ERROR_CALL_NOT_IMPLEMENTED));
    EXPECT_EQ(code, "");
    MSIHANDLE database = 99;
    EXPECT_EQ(installer.OpenDatabase(Fixture("props.msi"), &database),
              static_cast<uint32_t>(ERROR_CALL_NOT_IMPLEMENTED));
    EXPECT_EQ(database, 0u);
    uint32_t size = 10;
    char buffer[10];
    EXPECT_EQ(installer.GetProductInfo(kInstalledCode, "Publisher", buffer, &size),
              static_cast<uint32_t>(ERROR_CALL_NOT_IMPLEMENTED));
    EXPECT_EQ(installer.CloseHandle(1), static_cast<uint32_t>(ERROR_CALL_NOT_IMPLEMENTED));
  }
}

TEST(Win32InstallerTest, ReadsPackagePropertiesWithoutChangingThePackage) {
  Win32Installer installer;
  std::string package = Fixture("props.msi");
  std::string before = testing::ReadBytes(package);
  ASSERT_FALSE(before.empty()) << package;

  EXPECT_EQ(PackageProperty(installer, package, "ProductName"), "Fixture Product");
  EXPECT_EQ(PackageProperty(installer, package, "ProductVersion"), "1.2.3");
  EXPECT_EQ(PackageProperty(installer, package, "NVProductPrefix"), "FIX");
  EXPECT_EQ(PackageProperty(installer, package, "NVProductTitle"), "Fixture Title");
  EXPECT_EQ(PackageProperty(installer, package, "NVRKSVersion"), "7.0.1");
  EXPECT_EQ(PackageProperty(installer, package, "NoSuchProperty"),
            "<error " + std::to_string(ERROR_NO_MORE_ITEMS) + ">");

  EXPECT_EQ(testing::ReadBytes(package), before);
}

TEST(Win32InstallerTest, LongRecordStringsAndDatabaseFailures) {
  Win32Installer installer;
  MSIHANDLE database = 0, view = 0, record = 0;
  ASSERT_EQ(installer.OpenDatabase(Fixture("longname.msi"), &database), 0u);
  ASSERT_NE(database, 0u);
  ASSERT_EQ(installer.DatabaseOpenView(database, "SELECT `Value` FROM `Property` WHERE `Property`='ProductName'",
                                       &view),
            0u);
  ASSERT_EQ(installer.ViewExecute(view), 0u);
  ASSERT_EQ(installer.ViewFetch(view, &record), 0u);

  std::vector<char> buffer(1024, '#');
  uint32_t size = 1024;
  EXPECT_EQ(installer.RecordGetString(record, 1, buffer.data(), &size), static_cast<uint32_t>(ERROR_MORE_DATA));
  EXPECT_EQ(size, 1200u);
  buffer.assign(1201, '#');
  size = 1201;
  ASSERT_EQ(installer.RecordGetString(record, 1, buffer.data(), &size), 0u);
  EXPECT_EQ(size, 1200u);
  EXPECT_EQ(std::string(buffer.data()), std::string(1200, 'N'));

  MSIHANDLE next = 0;
  EXPECT_EQ(installer.ViewFetch(view, &next), static_cast<uint32_t>(ERROR_NO_MORE_ITEMS));
  EXPECT_EQ(installer.CloseHandle(record), 0u);
  EXPECT_EQ(installer.ViewClose(view), 0u);
  EXPECT_EQ(installer.CloseHandle(view), 0u);
  EXPECT_EQ(installer.CloseHandle(database), 0u);

  EXPECT_EQ(installer.DatabaseOpenView(database, "SELECT FROM WHERE", &view),
            static_cast<uint32_t>(ERROR_INVALID_HANDLE));
  EXPECT_NE(installer.OpenDatabase(Fixture("missing.msi"), &database), 0u);
  EXPECT_EQ(database, 0u);
}

TEST(Win32InstallerTest, InstalledProductProperties) {
  Win32Installer installer;
  MSIHANDLE product = 0;
  ASSERT_EQ(installer.OpenProduct(kInstalledCode, &product), 0u);
  ASSERT_NE(product, 0u);

  char buffer[64];
  uint32_t size = sizeof(buffer);
  ASSERT_EQ(installer.GetProductProperty(product, "ProductName", buffer, &size), 0u);
  EXPECT_EQ(std::string(buffer, size), "Installed Fixture");
  size = sizeof(buffer);
  ASSERT_EQ(installer.GetProductProperty(product, "NVProductPrefix", buffer, &size), 0u);
  EXPECT_EQ(std::string(buffer, size), "INST");
  size = 4;
  EXPECT_EQ(installer.GetProductProperty(product, "ProductVersion", buffer, &size),
            static_cast<uint32_t>(ERROR_MORE_DATA));
  EXPECT_EQ(size, 5u);  // "2.0.0"
  EXPECT_EQ(installer.CloseHandle(product), 0u);

  product = 99;
  EXPECT_EQ(installer.OpenProduct(kUnknownCode, &product), static_cast<uint32_t>(ERROR_UNKNOWN_PRODUCT));
  EXPECT_EQ(product, 0u);
}

TEST(Win32InstallerTest, InstalledProductInformation) {
  Win32Installer installer;
  char buffer[260];
  uint32_t size = sizeof(buffer);
  ASSERT_EQ(installer.GetProductInfo(kInstalledCode, "Publisher", buffer, &size), 0u);
  EXPECT_EQ(std::string(buffer, size), "Norvasoft Test");
  size = sizeof(buffer);
  ASSERT_EQ(installer.GetProductInfo(kInstalledCode, "InstalledProductName", buffer, &size), 0u);
  EXPECT_EQ(std::string(buffer, size), "Installed Fixture");
  size = sizeof(buffer);
  ASSERT_EQ(installer.GetProductInfo(kInstalledCode, "LocalPackage", buffer, &size), 0u);
  EXPECT_TRUE(testing::FileExists(std::string(buffer, size))) << std::string(buffer, size);

  size = 4;
  EXPECT_EQ(installer.GetProductInfo(kInstalledCode, "Publisher", buffer, &size),
            static_cast<uint32_t>(ERROR_MORE_DATA));
  EXPECT_EQ(size, 14u);
  size = sizeof(buffer);
  EXPECT_EQ(installer.GetProductInfo(kUnknownCode, "Publisher", buffer, &size),
            static_cast<uint32_t>(ERROR_UNKNOWN_PRODUCT));
}

TEST(Win32InstallerTest, EnumeratesTheInstalledProduct) {
  Win32Installer installer;
  std::vector<std::string> codes;
  std::string code;
  for (uint32_t index = 0; index < 1000 && installer.EnumProducts(index, &code) == 0; ++index) {
    EXPECT_EQ(code.size(), 38u);
    codes.push_back(code);
  }
  EXPECT_NE(std::find(codes.begin(), codes.end(), kInstalledCode), codes.end());
  EXPECT_EQ(installer.EnumProducts(static_cast<uint32_t>(codes.size()), &code),
            static_cast<uint32_t>(ERROR_NO_MORE_ITEMS));
  EXPECT_EQ(code, "");
}

TEST(Win32InstallerTest, InstallAndRemoveReportTheEngineResult) {
  testing::ScratchFolder dir("msilog");
  Win32Installer installer;
  installer.SetInternalUI(INSTALLUILEVEL_NONE);
  EXPECT_EQ(installer.EnableLog(0x1FDF, dir / "Msi.log", INSTALLLOGATTRIBUTES_FLUSHEACHLINE), 0u);
  // Windows answers 1619 for a package that cannot be opened, Wine 2: the
  // engine's own result comes back either way.
  uint32_t result = installer.InstallProduct(Fixture("missing.msi"), "REBOOT=ReallySuppress");
  EXPECT_TRUE(result == ERROR_INSTALL_PACKAGE_OPEN_FAILED || result == ERROR_FILE_NOT_FOUND) << result;
  EXPECT_EQ(installer.ConfigureProductEx(kUnknownCode, INSTALLLEVEL_MAXIMUM, INSTALLSTATE_ABSENT, ""),
            static_cast<uint32_t>(ERROR_UNKNOWN_PRODUCT));
}

}  // namespace
}  // namespace win32
}  // namespace nv
