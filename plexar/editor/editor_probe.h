// SPDX-License-Identifier: GPL-3.0-or-later
// What tests and tools drive and read in open editor windows, in place of a person with a
// mouse: the widgets are driven through their own signals on the UI thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "plexar/editor/parameter_table.h"
#include "plexar/vst.h"

namespace plexar::editor {

/// The X11 window of the frame's child area (the view's parent), or 0 without a frame.
unsigned long FrameChildWindow(VST* object);
std::string FrameTitle(VST* object);
/// The titles of every window the UI thread shows (frames, lists, dialogs).
std::vector<std::string> WindowTitles();
/// Activates the frame's menu item of `command`, as a click would; false without one.
bool ActivateMenuItem(VST* object, uint32_t command);
/// 1 checked, 0 not, -1 no such check item.
int MenuItemChecked(VST* object, uint32_t command);

/// The X11 window of the parameter list, or 0 without one.
unsigned long ParameterListWindow(VST* object);
/// Destroys the list's window from outside the list, as a parent's end or other code can.
bool DestroyParameterListWidget(VST* object);
/// The rows the parameter list shows, in order; empty without a list.
std::vector<ParameterRow> ShownParameters(VST* object);
/// A click on the header of the list's ID (kIdColumn) or Name (kNameColumn) column.
bool ClickParameterHeader(VST* object, int column);
/// OK in the value dialog of parameter `id` with `text` typed.
bool EnterParameterValue(VST* object, int32_t id, const std::string& text);

}  // namespace plexar::editor
