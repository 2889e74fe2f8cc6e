// Message boxes and the file-open dialog, answered by a second thread that
// finds the window by its title and presses a button (Wine's null display
// driver keeps real windows without a screen); the status window.

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
#include <dlgs.h>

#include "platform/win32/test_support.h"
#include "platform/win32/win32_platform.h"
#include "resources/resource.h"

namespace nv {
namespace win32 {
namespace {

struct Answer {
  std::string title;      // the window to look for
  int button = IDOK;      // the command to send it
  std::string fileName;   // typed into a file dialog's name box first
  bool found = false;
  HWND owner = nullptr;
  std::string texts;      // the texts of its controls, one per line
  HWND window = nullptr;
};

BOOL CALLBACK MatchTitle(HWND window, LPARAM parameter) {
  Answer* answer = reinterpret_cast<Answer*>(parameter);
  char title[256] = {};
  GetWindowTextA(window, title, sizeof(title));
  if (answer->title != title || GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId()) return TRUE;
  answer->window = window;
  return FALSE;
}

BOOL CALLBACK CollectText(HWND child, LPARAM parameter) {
  char text[512] = {};
  GetWindowTextA(child, text, sizeof(text));
  reinterpret_cast<Answer*>(parameter)->texts += std::string(text) + "\n";
  return TRUE;
}

DWORD WINAPI Respond(void* parameter) {
  Answer* answer = static_cast<Answer*>(parameter);
  for (int tries = 0; tries < 600 && answer->window == nullptr; ++tries) {
    EnumWindows(MatchTitle, reinterpret_cast<LPARAM>(answer));
    if (answer->window == nullptr) Sleep(50);
  }
  if (answer->window == nullptr) return 1;
  Sleep(100);  // let the dialog finish its set-up
  answer->found = true;
  answer->owner = GetWindow(answer->window, GW_OWNER);
  EnumChildWindows(answer->window, CollectText, reinterpret_cast<LPARAM>(answer));
  if (!answer->fileName.empty()) {
    SetDlgItemTextA(answer->window, cmb13, answer->fileName.c_str());
    SetDlgItemTextA(answer->window, edt1, answer->fileName.c_str());
  }
  PostMessageA(answer->window, WM_COMMAND, MAKEWPARAM(answer->button, BN_CLICKED), 0);
  return 0;
}

// Runs show() on this thread while a second thread answers the window.
template <typename Show>
void WithAnswer(Answer* answer, Show show) {
  HANDLE thread = CreateThread(nullptr, 0, Respond, answer, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  show();
  WaitForSingleObject(thread, 30000);
  CloseHandle(thread);
}

TEST(Win32UiTest, MessageBoxReturnsTheButtonPressedAndHasTheOwnerAskedFor) {
  Win32Ui ui;
  HWND ownerWindow = CreateWindowExA(0, "STATIC", "nv owner", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                     GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(ownerWindow, nullptr);

  Answer no;
  no.title = "Norvasoft Installer";
  no.button = IDNO;
  int result = 0;
  WithAnswer(&no, [&] {
    result = ui.ShowMessageBox(Owner::Window, ownerWindow, "Restart now?", "Norvasoft Installer",
                               MB_YESNO | MB_ICONQUESTION);
  });
  EXPECT_TRUE(no.found);
  EXPECT_EQ(result, IDNO);
  EXPECT_EQ(no.owner, ownerWindow);
  EXPECT_NE(no.texts.find("Restart now?\n"), std::string::npos) << no.texts;

  Answer ok;
  ok.title = "Error";
  WithAnswer(&ok, [&] { result = ui.ShowMessageBox(Owner::None, ownerWindow, "Unowned", "Error", MB_OK); });
  EXPECT_TRUE(ok.found);
  EXPECT_EQ(result, IDOK);
  EXPECT_EQ(ok.owner, nullptr);

  DestroyWindow(ownerWindow);
}

TEST(Win32UiTest, OpenFileDialogGivesThePathOnOkAndNothingOnCancel) {
  testing::ScratchFolder dir("dialog");
  std::string chosen = dir / "picked.xml";
  ASSERT_TRUE(testing::WriteBytes(chosen, "<PRODUCT1></PRODUCT1>"));

  Win32Ui ui;
  OpenFileRequest request;
  request.instance = GetModuleHandleA(nullptr);
  request.filter = std::string("XML Files (*.xml)\0*.xml\0", 24);
  request.filterIndex = 1;
  request.bufferSize = 260;
  request.title = "Locate the response file";
  request.flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_EXPLORER;

  Answer pick;
  pick.title = request.title;
  pick.fileName = chosen;
  std::string path = "stale";
  bool picked = false;
  WithAnswer(&pick, [&] { picked = ui.ShowOpenFileDialog(request, &path); });
  EXPECT_TRUE(pick.found);
  EXPECT_TRUE(picked);
  EXPECT_EQ(_stricmp(path.c_str(), chosen.c_str()), 0) << path;

  Answer cancel;
  cancel.title = request.title;
  cancel.button = IDCANCEL;
  path = "stale";
  WithAnswer(&cancel, [&] { picked = ui.ShowOpenFileDialog(request, &path); });
  EXPECT_TRUE(cancel.found);
  EXPECT_FALSE(picked);
  EXPECT_EQ(path, "");
}

std::string ItemText(HWND window, int id) {
  char text[512] = {};
  GetDlgItemTextA(window, id, text, sizeof(text));
  return text;
}

// The tests carry the program's resources, so the dialog template is the
// program's own.
TEST(Win32UiTest, StatusDialogShowsItsTextsPlaysTheAnimationAndGoesAway) {
  Win32Ui ui;
  const std::string upgrading = "Norvasoft Installer is configuring the Windows Installer. Please wait...";
  HWND window = static_cast<HWND>(ui.CreateStatusDialog(GetModuleHandleA(nullptr), upgrading));
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(IsWindowVisible(window));
  EXPECT_EQ(GetWindow(window, GW_OWNER), nullptr);
  EXPECT_EQ(ItemText(window, IDC_STATUS_TEXT), upgrading);
  EXPECT_EQ(ItemText(window, IDC_STEP_TEXT), "");

  HWND animation = FindWindowExA(window, nullptr, "SysAnimate32", nullptr);
  ASSERT_NE(animation, nullptr);
  const DWORD style = static_cast<DWORD>(GetWindowLongPtrA(animation, GWL_STYLE));
  const DWORD wanted = WS_CHILD | WS_VISIBLE | ACS_CENTER | ACS_TRANSPARENT;
  EXPECT_EQ(style & wanted, wanted);
  RECT place;
  GetWindowRect(animation, &place);
  MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&place), 2);
  EXPECT_EQ((std::vector<LONG>{place.left, place.top, place.right - place.left, place.bottom - place.top}),
            (std::vector<LONG>{175, 0, 300, 40}));

  // Playing needs an open animation: a control without one refuses.
  EXPECT_NE(SendMessageA(animation, ACM_PLAY, static_cast<WPARAM>(-1), MAKELPARAM(0, 0xFFFF)), 0)
      << "Shell32's animation was not opened";

  // Texts as given, ANSI bytes included.
  const std::string item = "Norvasoft Installer is configuring Caf\xE9 Suite. Please wait...";
  ui.SetItemText(window, IDC_STATUS_TEXT, item);
  ui.SetItemText(window, IDC_STEP_TEXT, "step 3 of 5");
  EXPECT_EQ(ItemText(window, IDC_STATUS_TEXT), item);
  EXPECT_EQ(ItemText(window, IDC_STEP_TEXT), "step 3 of 5");

  // A repaint paints the invalid statics at once, without a message loop.
  HWND step = GetDlgItem(window, IDC_STEP_TEXT);
  InvalidateRect(step, nullptr, TRUE);
  InvalidateRect(window, nullptr, TRUE);
  ui.Repaint(window);
  EXPECT_FALSE(GetUpdateRect(step, nullptr, FALSE));
  EXPECT_FALSE(GetUpdateRect(window, nullptr, FALSE));

  // Activation changes: a deactivation is never refused.
  EXPECT_NE(SendMessageA(window, WM_NCACTIVATE, FALSE, 0), 0);

  ui.DestroyStatusDialog(window);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_FALSE(IsWindow(animation));
}

TEST(Win32UiTest, WaitCursorIsTheSystemHourglass) {
  Win32Ui ui;
  HCURSOR before = GetCursor();
  ui.ShowWaitCursor();
  EXPECT_EQ(GetCursor(), LoadCursorA(nullptr, IDC_WAIT));
  SetCursor(before);
}

}  // namespace
}  // namespace win32
}  // namespace nv
