// SPDX-License-Identifier: GPL-3.0-or-later
// What the benchmark asks the clock PCM (alsa_clock_pcm.cpp) about the sound it played.
#pragma once

#include <cstdint>

extern "C" {
/// From now on, watches for the first frame whose left sample is above `above`.
void TessaryClockWatch(int above);
/// When that frame was heard, in steady-clock nanoseconds; 0 while it has not been.
int64_t TessaryClockHeardNs();
/// The times the device ran dry while playing.
uint64_t TessaryClockUnderruns();
}
