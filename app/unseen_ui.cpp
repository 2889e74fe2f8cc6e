#include "app/unseen_ui.h"

#include "app/run_context.h"
#include "status/run_log.h"

namespace nv {

int UnseenUi::ShowMessageBox(Owner, WindowHandle, const std::string& text, const std::string&, uint32_t) {
  // A message before the run log exists (the version check, the help text,
  // an invalid switch) opens the default one, where the agent's log
  // collection finds it.
  if (ctx_ == nullptr) return 0;
  if (!ctx_->log.opened) OpenRunLog(*ctx_);
  WriteRunLog(*ctx_, text + "\n");
  return 0;
}

bool UnseenUi::ShowOpenFileDialog(const OpenFileRequest&, std::string* path) {
  path->clear();
  return false;
}

}  // namespace nv
