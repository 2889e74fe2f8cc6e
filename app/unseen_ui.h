#pragma once
// The user interface of a run that nobody can see: started by a management
// agent as the system account, in session 0 or in a window station that is
// not visible. A message box there would wait for ever for an answer that
// never comes, so none is shown: its text goes to the run log (the default
// run log in the temporary folder, opened for the purpose, when none is
// open yet), and the file dialog is not offered. The status window, which
// waits for nobody, is passed through.

#include <string>

#include "platform/platform.h"

namespace nv {

struct RunContext;

class UnseenUi : public Ui {
 public:
  // real shows the status window; Attach names the run the messages belong
  // to, before the first of them.
  explicit UnseenUi(Ui& real) : real_(real) {}
  void Attach(RunContext& ctx) { ctx_ = &ctx; }

  // Writes text and "\n" to the run log; returns 0, as for a box that could
  // not be shown.
  int ShowMessageBox(Owner owner, WindowHandle window, const std::string& text, const std::string& caption,
                     uint32_t flags) override;
  // Nobody could pick a file: false.
  bool ShowOpenFileDialog(const OpenFileRequest& request, std::string* path) override;

  WindowHandle CreateStatusDialog(InstanceHandle instance, const std::string& initialText) override {
    return real_.CreateStatusDialog(instance, initialText);
  }
  void SetItemText(WindowHandle window, int id, const std::string& text) override {
    real_.SetItemText(window, id, text);
  }
  void Repaint(WindowHandle window) override { real_.Repaint(window); }
  void DestroyStatusDialog(WindowHandle window) override { real_.DestroyStatusDialog(window); }
  void ShowWaitCursor() override { real_.ShowWaitCursor(); }

 private:
  RunContext* ctx_ = nullptr;
  Ui& real_;
};

}  // namespace nv
