// SPDX-License-Identifier: GPL-3.0-or-later
// The open frames and parameter lists by plug-in object, and the waits of modal callers.
// The lookups are for the UI thread only.
#pragma once

#include "plexar/vst.h"

namespace plexar::editor {

class Frame;
class ParameterDialog;

Frame* FindFrame(VST* object);
ParameterDialog* FindList(VST* object);
void AddList(VST* object, ParameterDialog* dialog);
/// Forgets the list and wakes a modal caller waiting for it.
void RemoveList(VST* object);

/// Blocks until `window` (a frame or list of the registry) is gone; pumps the main loop when
/// called on the UI thread.
void WaitUntilClosed(const void* window);

}  // namespace plexar::editor
