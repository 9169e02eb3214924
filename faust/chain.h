// SPDX-License-Identifier: GPL-3.0-or-later
// Running a block through a source's plug-in chain, and the conversion to 16-bit samples.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

struct VST;

namespace faust {

inline constexpr int32_t kBlockFrames = 512;
inline constexpr double kPcmScale = 32767.5;

/// Runs one block of `kBlockFrames` left and right samples through every entry of `chain` in
/// order, in place. Entries without buffers are skipped; a one-input plug-in gets the left
/// side, a one-output plug-in feeds both. The caller holds `workbenchLock`.
void RunChain(const std::vector<std::shared_ptr<VST>>& chain, float* left, float* right);

/// Appends 16-bit samples: each float clipped to [-1, 1], times 32767.5, cut toward zero.
void AppendPcm16(const float* samples, size_t count, std::vector<int16_t>* pcm);

}  // namespace faust
