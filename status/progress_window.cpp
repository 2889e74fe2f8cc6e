#include "status/progress_window.h"

#include "app/run_context.h"

namespace nv {

WindowHandle CreateProgressWindow(RunContext& ctx) {
  ctx.statusWindow = ctx.platform.ui.CreateStatusDialog(ctx.instance, ctx.statusText);
  return ctx.statusWindow;
}

void SetStatus(RunContext& ctx, const std::string& text) {
  ctx.statusText = text;
  if (ctx.statusWindow == nullptr) return;
  ctx.platform.ui.SetItemText(ctx.statusWindow, kStatusTextId, ctx.statusText);
  ctx.platform.ui.Repaint(ctx.statusWindow);
}

void SetStep(RunContext& ctx, int current, int total) {
  if (ctx.statusWindow == nullptr) return;
  ctx.platform.ui.SetItemText(ctx.statusWindow, kStepTextId,
                              "step " + std::to_string(current) + " of " + std::to_string(total));
}

void SetStepText(RunContext& ctx, const std::string& text) {
  if (ctx.statusWindow == nullptr) return;
  ctx.platform.ui.SetItemText(ctx.statusWindow, kStepTextId, text);
}

void DestroyProgressWindow(RunContext& ctx) {
  if (ctx.statusWindow == nullptr) return;
  ctx.platform.ui.DestroyStatusDialog(ctx.statusWindow);
  ctx.statusWindow = nullptr;
}

void ShowWaitCursor(RunContext& ctx) { ctx.platform.ui.ShowWaitCursor(); }

}  // namespace nv
