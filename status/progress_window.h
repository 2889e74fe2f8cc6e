#pragma once
// The status window: a small captionless popup with the status text (static
// 1001) and the step text (static 1002). The run shows it in interactive
// mode and during an engine upgrade; nothing in the run waits for it.

#include <string>

#include "platform/platform.h"

namespace nv {

struct RunContext;

constexpr int kStatusTextId = 1001;
constexpr int kStepTextId = 1002;

// Creates the window from dialog 101 with the run's current statusText and
// shows it; the handle (null when it could not be created) becomes
// ctx.statusWindow.
WindowHandle CreateProgressWindow(RunContext& ctx);

// statusText = text, copied into static 1001, and an immediate repaint.
// Without a window only statusText changes.
void SetStatus(RunContext& ctx, const std::string& text);

// "step <current> of <total>" into static 1002 (no repaint of its own).
void SetStep(RunContext& ctx, int current, int total);

// A fixed text into static 1002 (no repaint of its own).
void SetStepText(RunContext& ctx, const std::string& text);

// Destroys the window, if any, and clears ctx.statusWindow.
void DestroyProgressWindow(RunContext& ctx);

// The system's wait cursor becomes the current cursor.
void ShowWaitCursor(RunContext& ctx);

}  // namespace nv
