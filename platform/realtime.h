// SPDX-License-Identifier: GPL-3.0-or-later
// Real-time scheduling for the threads that feed the sound device, so that sound does not
// wait behind a busy machine (a build beside it). Only where the system and the user's
// limits allow it (root, CAP_SYS_NICE, or `ulimit -r` above the priority used); elsewhere the
// threads go on at normal priority.
#pragma once

namespace platform {

/// Moves the calling thread to real-time scheduling; processes it starts do not inherit it.
/// False, and nothing changed, when the system refuses.
bool RaiseThreadToRealTime();
/// Moves the calling thread back to normal scheduling.
void LowerThreadFromRealTime();
/// True between a successful raise and the next lowering, on the calling thread.
bool ThreadIsRealTime();

}  // namespace platform
