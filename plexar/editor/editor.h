// SPDX-License-Identifier: GPL-3.0-or-later
// The editor frame and the parameter list of a plug-in object. Callable from any thread: the
// work runs on the UI thread (see ui_thread.h). Without an X server every call fails at once.
#pragma once

#include <cstdint>
#include <filesystem>

#include "plexar/automation.h"
#include "plexar/editor/plugin_view.h"

namespace plexar {
class VST;
}

namespace plexar::editor {

/// True when editors can be shown (an X server answers); starts the UI thread, or starts it
/// again on a display that came back.
bool EditorsAvailable();
/// True when the X server the editors were on went away (their windows are closed) and has
/// not been found again.
bool DisplayGone();

/// Opens the frame around `view`: S_OK, S_FALSE when it is already open (it is raised),
/// E_FAIL without a display or a view. `modal` waits until the frame is closed.
HRESULT ShowFrame(PluginView* view, HWND owner, bool modal);
/// Closes the object's frame if it has one; waits for it.
void CloseFrame(VST* object);
/// The object's frame window (an X11 window id), or null.
HWND FrameWindow(VST* object);
/// Lays the frame out again around the view's size (after the plug-in asked for a new one).
void Relayout(VST* object);

/// Opens the parameter list of `object`; `modal` waits until it is closed. E_FAIL without a
/// display; S_FALSE when it is already open (it is raised).
HRESULT ShowParameterList(VST* object, HWND owner, bool modal);
/// Closes the object's parameter list if it has one.
void CloseParameterList(VST* object);

}  // namespace plexar::editor

namespace plexar {

/// Executes one command of the editor's menu (commands.h) for `object`. `file` stands in for
/// the file dialog of the state commands. Returns 0.
int32_t FileCmd(VST* object, HWND frame, uint32_t message, uintptr_t command, intptr_t owner,
                const std::filesystem::path* file = nullptr);

}  // namespace plexar
