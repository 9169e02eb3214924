// SPDX-License-Identifier: GPL-3.0-or-later
// What happens when X goes wrong under the editors. GTK's own handling ends the process (with
// _exit, leaving the terminal raw) on any unexpected protocol error, such as a plug-in drawing
// into a window that was destroyed from outside, and on a lost connection, such as a closed
// VNC or forwarded display. Here protocol errors are only noted, and a lost connection, GTK's
// or a plug-in's, is made quiet and reported so the editors can be given up.
#pragma once

#include <functional>

namespace plexar::editor {

/// Takes over Xlib's error handlers. Call on the UI thread once GTK is set up; `lost` then
/// runs (on the thread that noticed, possibly a plug-in's) the first time a connection to the
/// X server breaks.
void HandleXErrors(std::function<void()> lost);

/// Watches a newly opened connection (GTK's, after the server came back).
void WatchXConnection(void* display);

}  // namespace plexar::editor
