#include "app/registry.h"

#include <gtest/gtest.h>

#include "platform/fake/fake_platform.h"

namespace nv {
namespace {

const char kRunOnce[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
const char kSetup[] = "Software\\Norvasoft\\Setup";

class RegistryTest : public ::testing::Test {
 protected:
  bool Present(const std::string& subkey, const std::string& value) {
    return RegistryValuePresent(w.registry, RegRoot::LocalMachine, subkey, value);
  }
  fake::FakeWindows w;
};

TEST_F(RegistryTest, PresenceLooksAtNothingButExistence) {
  EXPECT_FALSE(Present(kRunOnce, "NorvasoftReboot"));
  w.registry.SetString(RegRoot::LocalMachine, kRunOnce, "NorvasoftReboot", "C:\\reboot.exe");
  EXPECT_TRUE(Present(kRunOnce, "NorvasoftReboot"));
  // A DWORD of 0 and an empty string count as present.
  w.registry.SetValue(RegRoot::LocalMachine, kSetup, "EnableLogging", std::string(4, '\0'));
  EXPECT_TRUE(Present(kSetup, "EnableLogging"));
  w.registry.SetString(RegRoot::LocalMachine, kSetup, "Empty", "");
  EXPECT_TRUE(Present(kSetup, "Empty"));
  // A long RunOnce command (300 bytes) is still present.
  w.registry.SetString(RegRoot::LocalMachine, kRunOnce, "NorvasoftReboot", std::string(299, 'x'));
  EXPECT_TRUE(Present(kRunOnce, "NorvasoftReboot"));
  // A missing key, and a value under another key.
  EXPECT_FALSE(Present("Software\\Nobody", "EnableLogging"));
  EXPECT_FALSE(Present(kRunOnce, "EnableLogging"));
}

TEST_F(RegistryTest, ReadStringClearsAndRefusesWhatDoesNotFit) {
  std::string value = "stale";
  EXPECT_FALSE(ReadRegistryString(w.registry, RegRoot::LocalMachine, kSetup, "NORVAROOT", &value));
  EXPECT_EQ(value, "");
  w.registry.SetString(RegRoot::LocalMachine, kSetup, "NORVAROOT", "C:\\Program Files\\Norvasoft");
  EXPECT_TRUE(ReadRegistryString(w.registry, RegRoot::LocalMachine, kSetup, "NORVAROOT", &value));
  EXPECT_EQ(value, "C:\\Program Files\\Norvasoft");
  // 259 characters and the terminating NUL fill the 260-byte buffer exactly.
  w.registry.SetString(RegRoot::LocalMachine, kSetup, "NORVAROOT", std::string(259, 'p'));
  EXPECT_TRUE(ReadRegistryString(w.registry, RegRoot::LocalMachine, kSetup, "NORVAROOT", &value));
  EXPECT_EQ(value.size(), 259u);
  w.registry.SetString(RegRoot::LocalMachine, kSetup, "NORVAROOT", std::string(260, 'p'));
  EXPECT_FALSE(ReadRegistryString(w.registry, RegRoot::LocalMachine, kSetup, "NORVAROOT", &value));
  EXPECT_EQ(value, "");
}

}  // namespace
}  // namespace nv
