// Windows answers the shared cases as the fake of the native tests does.

#include "platform/agreement_cases.h"

#include <windows.h>
#include <winioctl.h>

#include <vector>

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

// A new folder made a reparse point with FSCTL_SET_REPARSE_POINT: a junction
// to target for the mount-point tag, else the tag with a few bytes of data.
bool MakeReparsePoint(const std::string& path, uint32_t tag, const std::string& target) {
  if (!CreateDirectoryA(path.c_str(), nullptr)) return false;
  std::vector<unsigned char> buffer(8);  // ReparseTag, ReparseDataLength, Reserved
  std::vector<unsigned char> data = {1, 2, 3, 4};
  if (tag == kReparseTagMountPoint) {
    std::u16string name = u"\\??\\";
    for (char c : target) name += static_cast<char16_t>(static_cast<unsigned char>(c));
    const auto bytes = static_cast<uint16_t>(name.size() * 2);
    // SubstituteName (offset 0), an empty PrintName after it, both ended by zeros.
    const uint16_t header[4] = {0, bytes, static_cast<uint16_t>(bytes + 2), 0};
    data.assign(reinterpret_cast<const unsigned char*>(header), reinterpret_cast<const unsigned char*>(header + 4));
    data.insert(data.end(), reinterpret_cast<const unsigned char*>(name.data()),
                reinterpret_cast<const unsigned char*>(name.data()) + bytes);
    data.insert(data.end(), 4, 0);
  }
  const auto length = static_cast<uint16_t>(data.size());
  memcpy(buffer.data(), &tag, 4);
  memcpy(buffer.data() + 4, &length, 2);
  buffer.insert(buffer.end(), data.begin(), data.end());
  HANDLE folder = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  DWORD returned = 0;
  const bool made = folder != INVALID_HANDLE_VALUE &&
                    DeviceIoControl(folder, FSCTL_SET_REPARSE_POINT, buffer.data(), static_cast<DWORD>(buffer.size()),
                                    nullptr, 0, &returned, nullptr) != FALSE;
  if (folder != INVALID_HANDLE_VALUE) CloseHandle(folder);
  if (!made) RemoveDirectoryA(path.c_str());
  return made;
}

TEST(Win32AgreementTest, ReparseRules) {
  ScratchFolder dir("reparse");
  Win32FileSystem files;
  char full[MAX_PATH];
  ASSERT_NE(GetFullPathNameA((dir.path() + "\\reparse\\plain").c_str(), MAX_PATH, full, nullptr), 0u);
  const std::string target = full;
  agreement::ReparseRules(files, dir.path(), [&](const std::string& path, uint32_t tag) {
    return MakeReparsePoint(path, tag, target);
  });
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
