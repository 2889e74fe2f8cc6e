// Message boxes and the common file-open dialog.

#include <windows.h>
#include <commdlg.h>

#include <cstring>
#include <vector>

#include "platform/win32/win32_platform.h"

namespace nv {
namespace win32 {

int Win32Ui::ShowMessageBox(Owner owner, WindowHandle window, const std::string& text, const std::string& caption,
                            uint32_t flags) {
  HWND ownerWindow = nullptr;
  switch (owner) {
    case Owner::None:
      ownerWindow = nullptr;
      break;
    case Owner::Desktop:
      ownerWindow = GetDesktopWindow();
      break;
    case Owner::TopWindow:
      ownerWindow = GetTopWindow(nullptr);
      break;
    case Owner::Window:
      ownerWindow = static_cast<HWND>(window);
      break;
  }
  return MessageBoxA(ownerWindow, text.c_str(), caption.c_str(), flags);
}

bool Win32Ui::ShowOpenFileDialog(const OpenFileRequest& request, std::string* path) {
  path->clear();
  // The filter is a list of zero-terminated texts that ends in an empty one;
  // the zeros added here end it even when the caller's text stops short.
  std::string filter = request.filter;
  filter.append(2, '\0');
  size_t bufferSize = request.bufferSize < MAXDWORD ? request.bufferSize : MAXDWORD;
  std::vector<char> file(bufferSize > 0 ? bufferSize : 1, '\0');

  OPENFILENAMEA dialog;
  memset(&dialog, 0, sizeof(dialog));
  dialog.lStructSize = sizeof(dialog);
  dialog.hwndOwner = GetDesktopWindow();
  dialog.hInstance = static_cast<HINSTANCE>(request.instance);
  dialog.lpstrFilter = request.filter.empty() ? nullptr : filter.c_str();
  dialog.nFilterIndex = request.filterIndex;
  dialog.lpstrFile = file.data();
  dialog.nMaxFile = static_cast<DWORD>(bufferSize);
  dialog.lpstrTitle = request.title.empty() ? nullptr : request.title.c_str();
  dialog.Flags = request.flags;
  dialog.lpstrInitialDir = nullptr;
  if (!GetOpenFileNameA(&dialog)) return false;
  path->assign(file.data(), strnlen(file.data(), file.size()));
  return true;
}

}  // namespace win32
}  // namespace nv
