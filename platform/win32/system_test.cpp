// The status MIF library (the ismif32 stand-in from tests/e2e/helpers, which
// records its calls), the Windows version, environment variables, error
// texts and the shutdown privilege.

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <vector>

#include "platform/win32/test_support.h"
#include "platform/win32/win32_platform.h"

namespace nv {
namespace win32 {
namespace {

// Each test gets its own folder on the library search path, holding the
// stand-in, a library without the export, or nothing.
class StatusMifTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(GetModuleHandleA("ismif32.dll"), nullptr) << "a library was left loaded";
    record_ = dir_ / "records.txt";
    SetEnvironmentVariableA("NV_MIF_RECORD", record_.c_str());
    SetEnvironmentVariableA("NV_MIF_FAULT", nullptr);
    ASSERT_TRUE(SetDllDirectoryA(dir_.path().c_str()));
  }
  void TearDown() override {
    // A library left loaded by a fault is let go here, so that the next test
    // loads its own.
    for (int i = 0; i < 8; ++i) {
      HMODULE left = GetModuleHandleA("ismif32.dll");
      if (left == nullptr) break;
      FreeLibrary(left);
    }
    SetDllDirectoryA(nullptr);
    SetEnvironmentVariableA("NV_MIF_RECORD", nullptr);
    SetEnvironmentVariableA("NV_MIF_FAULT", nullptr);
  }

  bool PlaceStandIn() {
    return CopyFileA(testing::Helper("ismif32.dll").c_str(), (dir_ / "ismif32.dll").c_str(), FALSE) != 0;
  }

  static StatusMifRecord Record(const std::string& product, const std::string& version, const std::string& message,
                                bool success) {
    StatusMifRecord record;
    record.mifFile = product;
    record.company = "Norvasoft";
    record.product = product;
    record.version = version;
    record.locale = "ENU";
    record.message = message;
    record.success = success;
    return record;
  }

  testing::ScratchFolder dir_{"mif"};
  std::string record_;
  Win32System system_;
};

TEST_F(StatusMifTest, RecordsReachTheLibraryAsGivenAndTheLibraryIsUnloaded) {
  ASSERT_TRUE(PlaceStandIn()) << testing::Helper("ismif32.dll");
  StatusMifRecord withSerial = Record("AppTwo", "2.0", "Uninstallation Failure", false);
  withSerial.serialNumber = "SN-1";
  struct Case {
    StatusMifRecord record;
    std::string line;
  };
  const Case cases[] = {
      {Record("AppOne", "1.2.3", "Installation Successful", true),
       "AppOne\tNorvasoft\tAppOne\t1.2.3\tENU\t<null>\tInstallation Successful\t1\r\n"},
      // An empty version stays an empty text; ANSI bytes pass unchanged.
      {Record("Caf\xE9 Suite", "", "Uninstallation Successful", true),
       "Caf\xE9 Suite\tNorvasoft\tCaf\xE9 Suite\t\tENU\t<null>\tUninstallation Successful\t1\r\n"},
      {withSerial, "AppTwo\tNorvasoft\tAppTwo\t2.0\tENU\tstr:SN-1\tUninstallation Failure\t0\r\n"},
  };
  std::string expected;
  for (const Case& c : cases) {
    EXPECT_TRUE(system_.InstallStatusMif(c.record)) << c.line;
    EXPECT_EQ(GetModuleHandleA("ismif32.dll"), nullptr) << "not unloaded after " << c.line;
    expected += c.line;
  }
  EXPECT_EQ(testing::ReadBytes(record_), expected);
}

TEST_F(StatusMifTest, MissingLibraryOrExportReportsNothing) {
  EXPECT_FALSE(system_.InstallStatusMif(Record("AppOne", "1.0", "Installation Successful", true)));

  // Any module without the export: this test program under the library's name.
  char self[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  ASSERT_TRUE(CopyFileA(self, (dir_ / "ismif32.dll").c_str(), FALSE));
  HMODULE probe = LoadLibraryA("ismif32.dll");
  ASSERT_NE(probe, nullptr) << "the copy must load, or the case proves nothing";
  EXPECT_EQ(GetProcAddress(probe, "InstallStatusMIF"), nullptr);
  FreeLibrary(probe);

  EXPECT_FALSE(system_.InstallStatusMif(Record("AppOne", "1.0", "Installation Successful", true)));
  EXPECT_EQ(GetModuleHandleA("ismif32.dll"), nullptr);
  EXPECT_FALSE(testing::FileExists(record_));
}

// Whatever the library raises and leaves unhandled ends only its own call;
// what it handles itself stays its own business, so its record is written.
TEST_F(StatusMifTest, FaultsInTheLibraryAreSurvivedAndItsOwnHandlersComeFirst) {
  ASSERT_TRUE(PlaceStandIn()) << testing::Helper("ismif32.dll");
  const std::string good = "AppTwo\tNorvasoft\tAppTwo\t2.0\tENU\t<null>\tInstallation Successful\t1\r\n";
  struct Case {
    const char* fault;
    bool returned;
    bool loaded;       // left loaded after the call
    bool recordWritten;
  } cases[] = {
      {"1", false, true, false},
      {"raise", false, true, false},
      {"caught", true, false, true},
  };
  std::string expected;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fault);
    SetEnvironmentVariableA("NV_MIF_FAULT", c.fault);
    EXPECT_EQ(system_.InstallStatusMif(Record("AppTwo", "2.0", "Installation Successful", true)), c.returned);
    EXPECT_EQ(GetModuleHandleA("ismif32.dll") != nullptr, c.loaded);
    if (c.recordWritten) expected += good;
    EXPECT_EQ(testing::FileExists(record_) ? testing::ReadBytes(record_) : std::string(), expected);
    while (HMODULE left = GetModuleHandleA("ismif32.dll")) FreeLibrary(left);
  }

  // The process goes on normally, and so do later records.
  SetEnvironmentVariableA("NV_MIF_FAULT", nullptr);
  EXPECT_TRUE(system_.InstallStatusMif(Record("AppTwo", "2.0", "Installation Successful", true)));
  EXPECT_EQ(testing::ReadBytes(record_), expected + good);
}

// Run in a copy of this program that Wine is told to present an older
// Windows to, with NV_WINDOWS_REPORT naming a file for what the copy saw.
TEST(Win32SystemTest, WindowsVersionIsWhatWindowsReportsToTheProgram) {
  Win32System system;
  WindowsVersionInfo version;
  ASSERT_TRUE(system.WindowsVersion(&version));
  const std::string reported = std::to_string(version.platformId) + " " + std::to_string(version.major) + "." +
                               std::to_string(version.minor);
  const std::string report = testing::Env("NV_WINDOWS_REPORT");
  if (!report.empty()) {
    ASSERT_TRUE(testing::WriteBytes(report, reported));
    return;
  }
  EXPECT_EQ(version.platformId, static_cast<uint32_t>(VER_PLATFORM_WIN32_NT));
  EXPECT_GE(version.major, 5u) << reported;
  EXPECT_LE(version.major, 10u) << reported;

  // The versions the installer check tells apart, through Wine's
  // per-program setting.
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::string selfTest = std::string(info->test_suite_name()) + "." + info->name();
  testing::ScratchFolder dir("winver");
  char self[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  struct Case {
    const char* wine;
    const char* expected;
  };
  const Case cases[] = {{"win2k", "2 5.0"}, {"winxp64", "2 5.2"}, {"win7", "2 6.1"}};
  Win32Processes processes;
  for (const Case& c : cases) {
    const std::string exeName = std::string("nv_") + c.wine + ".exe";
    const std::string file = dir / (std::string(c.wine) + ".txt");
    ASSERT_TRUE(CopyFileA(self, (dir / exeName).c_str(), FALSE));
    HKEY key = nullptr;
    const std::string subkey = "Software\\Wine\\AppDefaults\\" + exeName;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, subkey.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(c.wine), static_cast<DWORD>(strlen(c.wine) + 1));
    RegCloseKey(key);
    SetEnvironmentVariableA("NV_WINDOWS_REPORT", file.c_str());
    processes.Run("\"" + dir / exeName + "\" --gtest_filter=" + selfTest, true, nullptr);
    SetEnvironmentVariableA("NV_WINDOWS_REPORT", nullptr);
    RegDeleteKeyA(HKEY_CURRENT_USER, subkey.c_str());
    EXPECT_EQ(testing::ReadBytes(file), c.expected) << "Wine set to " << c.wine;
  }
}

TEST(Win32SystemTest, EnvironmentVariableFitsItsBufferOrFails) {
  SetEnvironmentVariableA("NV_TEST_OS", "Windows_NT");
  struct Case {
    const char* name;
    size_t bufferSize;
    bool found;
  };
  const Case cases[] = {
      {"NV_TEST_OS", 100, true},
      {"NV_TEST_OS", 11, true},  // the ten characters and the zero
      {"NV_TEST_OS", 10, false},
      {"NV_TEST_OS", 0, false},
      {"NV_TEST_MISSING", 100, false},
  };
  Win32System system;
  for (const Case& c : cases) {
    std::string value = "stale";
    EXPECT_EQ(system.EnvironmentVariable(c.name, c.bufferSize, &value), c.found) << c.name << " " << c.bufferSize;
    EXPECT_EQ(value, c.found ? "Windows_NT" : "") << c.name << " " << c.bufferSize;
  }
  SetEnvironmentVariableA("NV_TEST_OS", nullptr);
}

TEST(Win32SystemTest, LibrariesMessagesAndTheShutdownPrivilege) {
  Win32System system;
  EXPECT_TRUE(system.LoadLibraryForProcess("version.dll"));
  EXPECT_FALSE(system.LoadLibraryForProcess("C:\\nowhere\\msi.dll"));

  EXPECT_NE(system.SystemMessage(ERROR_FILE_NOT_FOUND), "");
  EXPECT_EQ(system.SystemMessage(0x2FFFFFFF), "");

  system.EnableShutdownPrivilege();
  HANDLE token = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
  LUID shutdown;
  ASSERT_TRUE(LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &shutdown));
  DWORD size = 0;
  GetTokenInformation(token, TokenPrivileges, nullptr, 0, &size);
  std::vector<BYTE> buffer(size);
  ASSERT_TRUE(GetTokenInformation(token, TokenPrivileges, buffer.data(), size, &size));
  CloseHandle(token);
  const TOKEN_PRIVILEGES* privileges = reinterpret_cast<const TOKEN_PRIVILEGES*>(buffer.data());
  bool enabled = false;
  for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
    const LUID_AND_ATTRIBUTES& entry = privileges->Privileges[i];
    if (entry.Luid.LowPart == shutdown.LowPart && entry.Luid.HighPart == shutdown.HighPart) {
      enabled = (entry.Attributes & SE_PRIVILEGE_ENABLED) != 0;
    }
  }
  EXPECT_TRUE(enabled);
}

}  // namespace
}  // namespace win32
}  // namespace nv
