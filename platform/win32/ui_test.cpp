// Message boxes and the file-open dialog, answered by a second thread that
// finds the window by its title and presses a button (Wine's null display
// driver keeps real windows without a screen).

#include <gtest/gtest.h>

#include <windows.h>
#include <commdlg.h>
#include <dlgs.h>

#include "platform/win32/test_support.h"
#include "platform/win32/win32_platform.h"

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

}  // namespace
}  // namespace win32
}  // namespace nv
