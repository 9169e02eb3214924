// SPDX-License-Identifier: GPL-3.0-or-later
// What happens when a rack entry's host ends: one red line naming the entry, and for the
// compiled effects of the engine host, which serves them all, a new engine host that compiles
// them again. Told by the host supervisor, done on a thread of its own so that no lock of the
// workbench is ever taken while a host's lock is held.
#pragma once

#include <functional>

struct VST;

/// Has `record`'s plug-in tell when its host ends; nothing for a plug-in hosted here.
void WatchHostEnd(VST& record);

/// Redraws the prompt after a notice; set by the shell.
void SetNoticeRedraw(std::function<void()> redraw);

/// Hosts ended from now on go unannounced: the program is ending them itself.
void MuteHostNotices();

/// Ends the notice thread; for the end of the program, after `MuteHostNotices`.
void StopHostNotices();
