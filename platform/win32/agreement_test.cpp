// Windows answers the shared cases as the fake of the native tests does.

#include "platform/agreement_cases.h"

#include <windows.h>

#include "platform/win32/test_support.h"
#include "platform/win32/win32_platform.h"

namespace nv {
namespace win32 {
namespace {

using testing::ScratchFolder;
using testing::WriteBytes;

TEST(Win32AgreementTest, CodePageRules) {
  if (GetACP() != 1252) GTEST_SKIP() << "ANSI code page " << GetACP();
  Win32CodePage cp;
  agreement::WhiteSpace(cp);
  agreement::LowerCaseWestern(cp);
}

TEST(Win32AgreementTest, FileRules) {
  ScratchFolder dir("agree");
  Win32FileSystem files;
  const agreement::MakeFile make = [](const std::string& path, const std::string& bytes) {
    ASSERT_TRUE(WriteBytes(path, bytes));
  };
  agreement::LineReads(files, dir.path(), make);
  agreement::FindRules(files, dir.path(), make);
  agreement::Stamps(files, dir.path(), make);

  char saved[32768];
  DWORD savedLength = GetEnvironmentVariableA("TMP", saved, sizeof(saved));
  agreement::TempPathLimit(files, dir.path(),
                           [](const std::string& path) { SetEnvironmentVariableA("TMP", path.c_str()); });
  SetEnvironmentVariableA("TMP", savedLength > 0 && savedLength < sizeof(saved) ? saved : nullptr);
}

}  // namespace
}  // namespace win32
}  // namespace nv
