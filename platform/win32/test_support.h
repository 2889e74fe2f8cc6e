#pragma once
// Helpers shared by the Win32 tests of this folder: the fixture locations
// that tests/wine/run-win32-tests.sh passes in, and a scratch folder.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace nv {
namespace win32 {
namespace testing {

// An environment variable's value, empty when unset.
inline std::string Env(const char* name) {
  const char* value = getenv(name);
  return value != nullptr ? std::string(value) : std::string();
}

// The folder of the fixture packages (no trailing backslash).
inline std::string Fixtures() { return Env("NV_FIXTURES"); }
inline std::string Fixture(const char* name) { return Fixtures() + "\\" + name; }

// The NvRunUnattended.exe built beside the tests.
inline std::string ProgramPath() { return Env("NV_PROGRAM"); }

// A helper program or library built from tests/e2e/helpers.
inline std::string Helper(const char* name) { return Env("NV_HELPERS") + "\\" + name; }

inline bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The whole contents of a file, read in binary mode (no line-end changes).
inline std::string ReadBytes(const std::string& path) {
  std::string bytes;
  FILE* file = fopen(path.c_str(), "rb");
  if (file == nullptr) return bytes;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof(buffer), file)) > 0) bytes.append(buffer, n);
  fclose(file);
  return bytes;
}

inline bool WriteBytes(const std::string& path, const std::string& bytes) {
  FILE* file = fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  bool ok = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return fclose(file) == 0 && ok;
}

// Removes a folder and everything below it, read-only items included.
inline void RemoveTree(const std::string& folder) {
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &data);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      std::string name = data.cFileName;
      if (name == "." || name == "..") continue;
      std::string path = folder + "\\" + name;
      SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path);
      } else {
        DeleteFileA(path.c_str());
      }
    } while (FindNextFileA(search, &data));
    FindClose(search);
  }
  RemoveDirectoryA(folder.c_str());
}

// A fresh, empty folder under the temporary folder, removed with its
// contents when the object goes.
class ScratchFolder {
 public:
  explicit ScratchFolder(const char* tag) {
    char temp[MAX_PATH];
    DWORD length = GetTempPathA(MAX_PATH, temp);
    std::string base(temp, length);
    if (!base.empty() && base.back() != '\\') base += '\\';
    path_ = base + "nv_" + tag + "_" + std::to_string(GetCurrentProcessId());
    RemoveTree(path_);
    CreateDirectoryA(path_.c_str(), nullptr);
  }
  ~ScratchFolder() { RemoveTree(path_); }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

 private:
  std::string path_;
};

}  // namespace testing
}  // namespace win32
}  // namespace nv
