// Message boxes, the common file-open dialog and the status window.

#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>

#include <cstring>
#include <vector>

#include "platform/win32/win32_platform.h"
#include "resources/resource.h"

namespace nv {
namespace win32 {
namespace {

// The looping animation of Shell32.dll shown in the status window.
constexpr UINT kShellAnimation = 161;

// The status window's dialog procedure. Returning FALSE is a dialog
// procedure's way of asking for the default processing, which the dialog
// manager then does itself; calling DefWindowProc from here would process
// those messages twice.
INT_PTR CALLBACK StatusDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      const std::string* text = reinterpret_cast<const std::string*>(lParam);
      SetDlgItemTextA(window, IDC_STATUS_TEXT, text != nullptr ? text->c_str() : "");
      // Loaded for every window and kept for the life of the process: the
      // animation control reads its frames from the module while it plays.
      HMODULE shell = LoadLibraryA("Shell32.dll");
      if (shell == nullptr) {
        MessageBoxA(window, "Unable to load library.", "ANI", MB_OK);
        return FALSE;
      }
      HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(window, GWLP_HINSTANCE));
      HWND animation = CreateWindowExA(0, "SysAnimate32", nullptr,
                                       WS_CHILD | WS_VISIBLE | ACS_CENTER | ACS_TRANSPARENT, 175, 0, 300, 40,
                                       window, nullptr, instance, nullptr);
      if (animation != nullptr &&
          SendMessageA(animation, ACM_OPENA, reinterpret_cast<WPARAM>(shell), kShellAnimation) != 0) {
        // For ever, from the first frame to the last.
        SendMessageA(animation, ACM_PLAY, static_cast<WPARAM>(-1), MAKELPARAM(0, 0xFFFF));
      }
      return FALSE;  // no default focus
    }
    case WM_NCACTIVATE:
      // As a dialog procedure's answer: activation counts as handled, so the
      // frame is not redrawn for it, while a deactivation (FALSE) still gets
      // the default processing and is never refused.
      return static_cast<INT_PTR>(wParam);
    default:
      return FALSE;
  }
}

}  // namespace

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

WindowHandle Win32Ui::CreateStatusDialog(InstanceHandle instance, const std::string& initialText) {
  // The animation control's window class.
  INITCOMMONCONTROLSEX controls;
  controls.dwSize = sizeof(controls);
  controls.dwICC = ICC_ANIMATE_CLASS;
  InitCommonControlsEx(&controls);

  HWND window = CreateDialogParamA(static_cast<HINSTANCE>(instance), MAKEINTRESOURCEA(IDD_PROGRESS), nullptr,
                                   StatusDialogProc, reinterpret_cast<LPARAM>(&initialText));
  if (window == nullptr) return nullptr;
  UpdateWindow(window);
  ShowWindow(window, SW_SHOWNORMAL);
  // The update before showing finds the window still hidden and paints
  // nothing; with no message loop in the run, the window would otherwise
  // stay unpainted until the next text change.
  UpdateWindow(window);
  return window;
}

void Win32Ui::SetItemText(WindowHandle window, int id, const std::string& text) {
  SetDlgItemTextA(static_cast<HWND>(window), id, text.c_str());
}

void Win32Ui::Repaint(WindowHandle window) {
  // A static invalidates itself when its text changes; UpdateWindow paints
  // whatever is invalid in the window and its children at once, without
  // erasing and redrawing the parts that did not change.
  UpdateWindow(static_cast<HWND>(window));
}

void Win32Ui::DestroyStatusDialog(WindowHandle window) { DestroyWindow(static_cast<HWND>(window)); }

void Win32Ui::ShowWaitCursor() { SetCursor(LoadCursorA(nullptr, IDC_WAIT)); }

}  // namespace win32
}  // namespace nv
