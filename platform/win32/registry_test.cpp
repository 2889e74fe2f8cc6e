// Runs over the values tests/wine/run-win32-tests.sh adds in the registry's
// 32-bit view.

#include <gtest/gtest.h>

#include "platform/win32/test_support.h"
#include "platform/win32/win32_platform.h"

namespace nv {
namespace win32 {
namespace {

const char kSetupKey[] = "Software\\Norvasoft\\Setup";

TEST(Win32RegistryTest, ReadsStringsFromThe32BitView) {
  Win32Registry registry;
  std::string data = "stale";
  ASSERT_TRUE(registry.QueryValue(RegRoot::LocalMachine, kSetupKey, "NORVAROOT", 260, &data));
  EXPECT_EQ(data, "C:\\Suite\\Root");

  // The 64-bit build must not be reading its own view: there the key is
  // not present at all.
#ifdef _WIN64
  HKEY key = nullptr;
  EXPECT_NE(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSetupKey, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key),
            ERROR_SUCCESS);
  if (key != nullptr) RegCloseKey(key);
#endif
}

TEST(Win32RegistryTest, ANumberIsReadAsItsBytesCutAtTheFirstZero) {
  Win32Registry registry;
  std::string data = "stale";
  // "EnableLogging" is a DWORD 0: present, and its data reads as empty text.
  EXPECT_TRUE(registry.QueryValue(RegRoot::LocalMachine, kSetupKey, "EnableLogging", 255, &data));
  EXPECT_EQ(data, "");
}

TEST(Win32RegistryTest, MissingKeysAndValuesFail) {
  Win32Registry registry;
  std::string data = "stale";
  EXPECT_FALSE(registry.QueryValue(RegRoot::LocalMachine, "Software\\Norvasoft\\Missing", "NORVAROOT", 260, &data));
  EXPECT_EQ(data, "");
  data = "stale";
  EXPECT_FALSE(registry.QueryValue(RegRoot::LocalMachine, kSetupKey, "NoSuchValue", 260, &data));
  EXPECT_EQ(data, "");
}

TEST(Win32RegistryTest, AValueLargerThanTheBufferFails) {
  Win32Registry registry;
  std::string data;
  // 300 characters and the zero: 301 bytes.
  EXPECT_FALSE(registry.QueryValue(RegRoot::LocalMachine, "Software\\NvTest", "Long", 255, &data));
  EXPECT_FALSE(registry.QueryValue(RegRoot::LocalMachine, "Software\\NvTest", "Long", 260, &data));
  EXPECT_EQ(data, "");
  EXPECT_FALSE(registry.QueryValue(RegRoot::LocalMachine, kSetupKey, "NORVAROOT", 0, &data));
  ASSERT_TRUE(registry.QueryValue(RegRoot::LocalMachine, "Software\\NvTest", "Long", 301, &data));
  EXPECT_EQ(data, std::string(300, 'x'));
  // Existence does not depend on the size.
  EXPECT_TRUE(registry.ValueExists(RegRoot::LocalMachine, "Software\\NvTest", "Long"));
  EXPECT_FALSE(registry.ValueExists(RegRoot::LocalMachine, "Software\\NvTest", "Missing"));
  EXPECT_FALSE(registry.ValueExists(RegRoot::LocalMachine, "Software\\Norvasoft\\Missing", "Long"));
}

}  // namespace
}  // namespace win32
}  // namespace nv
