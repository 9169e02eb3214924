// SPDX-License-Identifier: GPL-3.0-or-later
// The editor's test run: a worker selects each program in turn and plays notes 60 to 71
// through the plug-in's MIDI queue while a "Testing..." box is shown. UI thread only.
#pragma once

#include "plexar/vst.h"

namespace plexar::editor {

/// Starts the test run of `object`, or raises its box when one runs.
void StartTestRun(VST* object);
/// Stops the object's test run and joins its worker; nothing when none runs.
void StopTestRun(VST* object);
void StopAllTestRuns();

}  // namespace plexar::editor
