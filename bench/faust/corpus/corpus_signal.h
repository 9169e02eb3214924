// SPDX-License-Identifier: GPL-3.0-or-later
// What both routes of the corpus comparison feed a program: the same noise, 48 kHz,
// 512-frame blocks.
#pragma once

#include <cstdint>
#include <vector>

namespace corpus {

inline constexpr int kRate = 48000;
inline constexpr int kBlock = 512;

/// Half-scale noise, a different sequence for each input channel.
inline std::vector<float> Input(int channel, int frames) {
  std::vector<float> v(frames);
  uint32_t seed = 1 + static_cast<uint32_t>(channel);
  for (float& x : v) {
    seed = seed * 1664525u + 1013904223u;
    x = 0.5f * (static_cast<float>(seed >> 8) / 8388608.0f - 1.0f);
  }
  return v;
}

}  // namespace corpus
