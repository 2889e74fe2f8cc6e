// The file system through the ANSI kernel calls and the C runtime's streams.

#include <windows.h>
#include <winver.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

#include "platform/win32/late_bound.h"
#include "platform/win32/win32_platform.h"

namespace nv {
namespace win32 {
namespace {

// The fixed buffer the folder and name queries use, terminating zero included.
constexpr DWORD kPathChars = MAX_PATH;

// The text a kernel query wrote into a kPathChars buffer. These calls answer
// the length without the zero when the text fits, and the size they would
// need (zero included) or a cut text otherwise; a text that did not fit is
// reported as empty rather than cut, since a cut path names something else.
std::string FittingPath(const char* buffer, DWORD length) {
  if (length == 0 || length >= kPathChars) return std::string();
  return std::string(buffer, length);
}

// GetFileInformationByHandleEx's records (Vista and later), declared here
// because the headers of the programs' API level leave them out.
struct BasicInfo {
  LARGE_INTEGER creationTime, lastAccessTime, lastWriteTime, changeTime;
  DWORD fileAttributes;
};
struct StandardInfo {
  LARGE_INTEGER allocationSize, endOfFile;
  DWORD numberOfLinks;
  BOOLEAN deletePending, directory;
};
constexpr int kFileBasicInfo = 0;
constexpr int kFileStandardInfo = 1;
using GetInfoByHandleExFn = BOOL(WINAPI*)(HANDLE, int, void*, DWORD);

uint64_t Ticks(const FILETIME& time) {
  return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// Size and times of an open file. Where Windows has the extended query it is
// used: GetFileInformationByHandle also asks for the volume serial number,
// which costs far more than the whole lookup it serves (under Wine, most of
// a millisecond). Older Windows keep no change time apart from the last
// write, which then stands for it.
bool ReadStamp(HANDLE handle, FileStamp* stamp) {
  static const GetInfoByHandleExFn getInfoEx =
      LateBound<GetInfoByHandleExFn>("kernel32.dll", "GetFileInformationByHandleEx");
  if (getInfoEx != nullptr) {
    BasicInfo basic;
    StandardInfo standard;
    if (!getInfoEx(handle, kFileBasicInfo, &basic, sizeof(basic)) ||
        !getInfoEx(handle, kFileStandardInfo, &standard, sizeof(standard))) {
      return false;
    }
    stamp->size = static_cast<uint64_t>(standard.endOfFile.QuadPart);
    stamp->created = static_cast<uint64_t>(basic.creationTime.QuadPart);
    stamp->lastWrite = static_cast<uint64_t>(basic.lastWriteTime.QuadPart);
    stamp->changed = static_cast<uint64_t>(basic.changeTime.QuadPart);
    return true;
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle, &info)) return false;
  stamp->size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  stamp->created = Ticks(info.ftCreationTime);
  stamp->lastWrite = Ticks(info.ftLastWriteTime);
  stamp->changed = stamp->lastWrite;
  return true;
}

class StdioReader : public TextReader {
 public:
  explicit StdioReader(FILE* file) : file_(file) {}
  ~StdioReader() override {
    if (file_ != nullptr) fclose(file_);
  }

  bool ReadLine(size_t maxChars, std::string* line) override {
    line->clear();
    // Nothing can be read into a buffer that only holds the zero; answering
    // false keeps a read loop from spinning on it.
    if (file_ == nullptr || maxChars == 0) return false;
    // fgets counts its buffer in int; a request beyond that is read in the
    // largest piece it can take.
    size_t chars = maxChars < static_cast<size_t>(INT_MAX) ? maxChars : static_cast<size_t>(INT_MAX) - 1;
    buffer_.assign(chars + 1, '\0');
    if (fgets(buffer_.data(), static_cast<int>(buffer_.size()), file_) == nullptr) return false;
    line->assign(buffer_.data(), strnlen(buffer_.data(), buffer_.size()));
    return true;
  }

  bool ReadFailed() override { return file_ != nullptr && ferror(file_) != 0; }

  bool Stamp(FileStamp* stamp) override {
    if (file_ == nullptr) return false;
    const intptr_t osHandle = _get_osfhandle(_fileno(file_));
    if (osHandle == -1) return false;
    const HANDLE handle = reinterpret_cast<HANDLE>(osHandle);
    if (!ReadStamp(handle, stamp)) return false;
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const uint64_t nowTicks = Ticks(now);
    const uint64_t latest = stamp->lastWrite > stamp->changed ? stamp->lastWrite : stamp->changed;
    // A time in the future (a file server whose clock runs ahead) never
    // settles.
    stamp->settled = nowTicks >= latest && nowTicks - latest >= kSettleTicks;
    return true;
  }

  bool Close() override {
    if (file_ == nullptr) return false;
    int result = fclose(file_);
    file_ = nullptr;
    return result == 0;
  }

 private:
  // FAT keeps last-write times in steps of two seconds; a second more
  // leaves room for rounding.
  static constexpr uint64_t kSettleTicks = 3ull * 10000000ull;

  FILE* file_;
  std::vector<char> buffer_;
};

class CommittedWriter : public TextWriter {
 public:
  explicit CommittedWriter(FILE* file) : file_(file) {}
  ~CommittedWriter() override {
    if (file_ != nullptr) fclose(file_);
  }

  void Write(const std::string& text) override {
    if (file_ == nullptr) return;
    if (!text.empty()) fwrite(text.data(), 1, text.size(), file_);
    // The "c" mode makes the flush a commit to disk, so the log survives a
    // crash or a restart that follows.
    fflush(file_);
  }

  bool Close() override {
    if (file_ == nullptr) return false;
    int result = fclose(file_);
    file_ = nullptr;
    return result == 0;
  }

 private:
  FILE* file_;
};

}  // namespace

std::vector<FindEntry> Win32FileSystem::Find(const std::string& pattern) {
  std::vector<FindEntry> entries;
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA(pattern.c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) return entries;
  do {
    FindEntry entry;
    entry.name.assign(data.cFileName, strnlen(data.cFileName, sizeof(data.cFileName)));
    entry.shortName.assign(data.cAlternateFileName, strnlen(data.cAlternateFileName, sizeof(data.cAlternateFileName)));
    entry.attributes = data.dwFileAttributes;
    // dwReserved0 holds the tag only on a reparse point; elsewhere it is
    // whatever the buffer held.
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) entry.reparseTag = data.dwReserved0;
    entries.push_back(entry);
  } while (FindNextFileA(search, &data));
  FindClose(search);
  return entries;
}

bool Win32FileSystem::CreateDir(const std::string& path) {
  return CreateDirectoryA(path.c_str(), nullptr) != FALSE;
}

bool Win32FileSystem::RemoveDir(const std::string& path) {
  return RemoveDirectoryA(path.c_str()) != FALSE;
}

bool Win32FileSystem::DeleteOneFile(const std::string& path) {
  return DeleteFileA(path.c_str()) != FALSE;
}

bool Win32FileSystem::SetAttributes(const std::string& path, uint32_t attributes) {
  return SetFileAttributesA(path.c_str(), attributes) != FALSE;
}

bool Win32FileSystem::Access(const std::string& path) {
  return _access(path.c_str(), 0) == 0;
}

std::string Win32FileSystem::ShortPathName(const std::string& path) {
  char buffer[kPathChars];
  DWORD length = GetShortPathNameA(path.c_str(), buffer, kPathChars);
  return FittingPath(buffer, length);
}

std::string Win32FileSystem::TempPath() {
  char buffer[kPathChars];
  DWORD length = GetTempPathA(kPathChars, buffer);
  return FittingPath(buffer, length);
}

std::string Win32FileSystem::ModuleFileName() {
  char buffer[kPathChars];
  // A name that does not fit is cut (and, before Windows Vista, left without
  // its zero); the length then equals the buffer size and reads as empty.
  DWORD length = GetModuleFileNameA(nullptr, buffer, kPathChars);
  return FittingPath(buffer, length);
}

std::string Win32FileSystem::SystemDirectory() {
  char buffer[kPathChars];
  UINT length = GetSystemDirectoryA(buffer, kPathChars);
  return FittingPath(buffer, length);
}

bool Win32FileSystem::FileVersion(const std::string& path, uint32_t* versionMS, uint32_t* versionLS) {
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
  if (size == 0) return false;
  std::vector<BYTE> block(size);
  if (!GetFileVersionInfoA(path.c_str(), 0, size, block.data())) return false;
  void* value = nullptr;
  UINT valueSize = 0;
  if (!VerQueryValueA(block.data(), "\\", &value, &valueSize)) return false;
  if (value == nullptr || valueSize < sizeof(VS_FIXEDFILEINFO)) return false;
  const VS_FIXEDFILEINFO* info = static_cast<const VS_FIXEDFILEINFO*>(value);
  *versionMS = info->dwFileVersionMS;
  *versionLS = info->dwFileVersionLS;
  return true;
}

std::unique_ptr<TextReader> Win32FileSystem::OpenText(const std::string& path) {
  FILE* file = fopen(path.c_str(), "r");
  if (file == nullptr) return nullptr;
  return std::make_unique<StdioReader>(file);
}

std::unique_ptr<TextWriter> Win32FileSystem::CreateCommitted(const std::string& path) {
  FILE* file = fopen(path.c_str(), "w+c");
  if (file == nullptr) return nullptr;
  return std::make_unique<CommittedWriter>(file);
}

std::unique_ptr<TextWriter> Win32FileSystem::CreateNewCommitted(const std::string& path) {
  // Created only when no file has the name, in one step: two runs that
  // pick the same name cannot both get it.
  int descriptor = _open(path.c_str(), _O_CREAT | _O_EXCL | _O_RDWR | _O_TEXT, _S_IREAD | _S_IWRITE);
  if (descriptor == -1) return nullptr;
  FILE* file = _fdopen(descriptor, "w+c");
  if (file == nullptr) {
    _close(descriptor);
    return nullptr;
  }
  return std::make_unique<CommittedWriter>(file);
}

uint32_t Win32FileSystem::WriteWholeFile(const std::string& path, const std::string& bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return GetLastError();
  uint32_t error = 0;
  size_t done = 0;
  while (error == 0 && done < bytes.size()) {
    DWORD written = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 20));
    if (!WriteFile(file, bytes.data() + done, chunk, &written, nullptr)) {
      error = GetLastError();
    } else if (written == 0) {
      error = ERROR_WRITE_FAULT;
    }
    done += written;
  }
  if (error == 0 && !FlushFileBuffers(file)) error = GetLastError();
  if (!CloseHandle(file) && error == 0) error = GetLastError();
  return error;
}

uint32_t Win32FileSystem::MoveReplacing(const std::string& from, const std::string& to) {
  if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return 0;
  return GetLastError();
}

}  // namespace win32
}  // namespace nv
