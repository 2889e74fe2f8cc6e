// The shell: file operations, special folders and shell links.

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstring>

#include "platform/win32/late_bound.h"
#include "platform/win32/win32_platform.h"

namespace nv {
namespace win32 {
namespace {

// SHFileOperationA takes lists of paths, each ending in a zero and the list
// in a second one. The program passes single paths, cut to this length.
constexpr size_t kOperationPathChars = 260;
constexpr size_t kOperationBufferChars = kOperationPathChars + 2;

void FillPathList(const std::string& path, char (&buffer)[kOperationBufferChars]) {
  memset(buffer, 0, sizeof(buffer));
  size_t length = strnlen(path.c_str(), kOperationPathChars);
  memcpy(buffer, path.data(), length);
}

// The folder a 32-bit process would be given. Windows hands a 32-bit
// process on 64-bit Windows "Program Files (x86)" for CSIDL_PROGRAM_FILES;
// the 64-bit build asks for that folder by its own number to get the same.
int FolderAsThe32BitProgramSeesIt(int csidl) {
#ifdef _WIN64
  if ((csidl & ~CSIDL_FLAG_MASK) == CSIDL_PROGRAM_FILES) {
    return (csidl & CSIDL_FLAG_MASK) | CSIDL_PROGRAM_FILESX86;
  }
#endif
  return csidl;
}

// The two special-folder queries are newer than the shell of Windows 95 and
// NT 4.0 without the desktop update: they are bound when first needed, so
// that the program still loads there far enough to say it cannot run.
using FolderLocationFn = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPITEMIDLIST*);
using SpecialFolderPathFn = BOOL(WINAPI*)(HWND, char*, int, BOOL);

class Win32ShellLink : public ShellLink {
 public:
  Win32ShellLink(IShellLinkA* link, IPersistFile* file) : link_(link), file_(file) {}
  ~Win32ShellLink() override {
    file_->Release();
    link_->Release();
  }
  Win32ShellLink(const Win32ShellLink&) = delete;
  Win32ShellLink& operator=(const Win32ShellLink&) = delete;

  HResult SetPath(const std::string& target) override { return link_->SetPath(target.c_str()); }

  HResult SetDescription(const std::string& description) override {
    return link_->SetDescription(description.c_str());
  }

  HResult Save(const std::u16string& linkFile) override {
    static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide text is UTF-16");
    return file_->Save(reinterpret_cast<const wchar_t*>(linkFile.c_str()), TRUE);
  }

 private:
  IShellLinkA* link_;
  IPersistFile* file_;
};

}  // namespace

int Win32Shell::FileOperation(uint32_t operation, const std::string& from, const std::string& to,
                              uint16_t flags) {
  char fromList[kOperationBufferChars];
  char toList[kOperationBufferChars];
  FillPathList(from, fromList);
  FillPathList(to, toList);

  SHFILEOPSTRUCTA request;
  memset(&request, 0, sizeof(request));
  request.hwnd = nullptr;
  request.wFunc = operation;
  request.pFrom = fromList;
  request.pTo = toList;
  request.fFlags = flags;
  request.hNameMappings = nullptr;
  request.lpszProgressTitle = nullptr;
  const int result = SHFileOperationA(&request);
  // A cancelled operation may still report success; what it left behind is
  // then partial, never something to build on.
  if (result == 0 && request.fAnyOperationsAborted) return ERROR_CANCELLED;
  return result;
}

std::string Win32Shell::FolderLocationPath(int csidl) {
  // Balanced only when this call did the initialising: an apartment of
  // another kind on this thread is left as it is.
  HRESULT initialised = CoInitialize(nullptr);
  std::string path;
  static const FolderLocationFn folderLocation = LateBound<FolderLocationFn>("shell32.dll", "SHGetFolderLocation");
  IMalloc* allocator = nullptr;
  if (folderLocation != nullptr && SUCCEEDED(SHGetMalloc(&allocator)) && allocator != nullptr) {
    LPITEMIDLIST items = nullptr;
    if (SUCCEEDED(folderLocation(nullptr, FolderAsThe32BitProgramSeesIt(csidl), nullptr, 0, &items)) &&
        items != nullptr) {
      char buffer[MAX_PATH] = {};
      if (SHGetPathFromIDListA(items, buffer)) path.assign(buffer, strnlen(buffer, sizeof(buffer)));
      allocator->Free(items);
    }
    allocator->Release();
  }
  if (SUCCEEDED(initialised)) CoUninitialize();
  return path;
}

bool Win32Shell::SpecialFolderPath(int csidl, std::string* path) {
  path->clear();
  static const SpecialFolderPathFn specialFolderPath =
      LateBound<SpecialFolderPathFn>("shell32.dll", "SHGetSpecialFolderPathA");
  char buffer[MAX_PATH] = {};
  if (specialFolderPath == nullptr ||
      !specialFolderPath(nullptr, buffer, FolderAsThe32BitProgramSeesIt(csidl), FALSE)) {
    return false;
  }
  path->assign(buffer, strnlen(buffer, sizeof(buffer)));
  return true;
}

HResult Win32Shell::CreateShellLink(std::unique_ptr<ShellLink>* link) {
  link->reset();
  // Left initialised: the link is used after this call returns, on this
  // thread.
  CoInitialize(nullptr);
  IShellLinkA* shellLink = nullptr;
  HRESULT result = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                    reinterpret_cast<void**>(&shellLink));
  if (FAILED(result)) return result;
  if (shellLink == nullptr) return E_FAIL;
  IPersistFile* file = nullptr;
  result = shellLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
  if (FAILED(result) || file == nullptr) {
    shellLink->Release();
    return FAILED(result) ? result : E_FAIL;
  }
  *link = std::make_unique<Win32ShellLink>(shellLink, file);
  return result;
}

}  // namespace win32
}  // namespace nv
