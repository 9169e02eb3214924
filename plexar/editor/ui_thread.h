// SPDX-License-Identifier: GPL-3.0-or-later
// The one thread that owns the GTK main loop. Every editor window, dialog and plug-in view call
// runs on it; other threads hand it work with `RunOnUi` (waits) or `PostToUi` (does not).
// It starts on first use, only when an X server answers, and is joined at exit.
#pragma once

#include <functional>

namespace plexar::editor {

/// Starts the UI thread if needed. False at once without `DISPLAY`, and when the X server does
/// not answer; nothing else changes then.
bool StartUi();
/// True on the UI thread.
bool OnUiThread();
/// Runs `work` on the UI thread and waits for it; runs it in place on the UI thread itself.
/// False (and `work` not run) when the UI thread is not running.
bool RunOnUi(const std::function<void()>& work);
/// Queues `work` for the UI thread; dropped when the UI thread is not running.
void PostToUi(std::function<void()> work);
/// Work run on the UI thread just before it ends (closing what is still open), also when the
/// X server went away.
void SetUiShutdown(std::function<void()> work);
/// True after the X server went away, until a start finds it (or another) again.
bool DisplayLost();
/// True from the moment a connection to the X server broke until a display is found again:
/// nothing should draw then.
bool ConnectionLost();

}  // namespace plexar::editor
