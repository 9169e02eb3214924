// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace faust {

/// A sound output taking interleaved 16-bit stereo frames at 48,000 Hz. `Play` is called from
/// one thread at a time; `Interrupt` may be called from any thread while `Play` runs.
class PcmDevice {
 public:
  /// `Play` result when `Interrupt` cut it short.
  static constexpr int kInterrupted = -4;  // -EINTR

  virtual ~PcmDevice() = default;
  /// Hands `frames` frames to the device, waiting while it has no room. 0 when all were
  /// taken, `kInterrupted`, or another negative errno value when the device failed (the
  /// frames not yet taken are lost).
  virtual int Play(const void* frames, size_t count) = 0;
  /// Makes the running and every later `Play` return `kInterrupted` at once.
  virtual void Interrupt() = 0;
  /// Stops the sound at once, dropping whatever the device still holds.
  virtual void Drop() = 0;
  /// Waits until what the device holds has been played; only while no `Play` runs.
  virtual void Drain() {}
  /// Frames taken by `Play` that have not been heard yet; called from `Play`'s thread. 0 for
  /// a device that plays what it takes before `Play` returns, or that cannot tell.
  virtual size_t Held() { return 0; }
};

/// Bytes per frame: two 16-bit samples.
inline constexpr size_t kFrameBytes = 4;

/// Opens the ALSA playback device `name` ("default", "hw:0", a PCM of the ALSA
/// configuration, ...). Null with a negative errno value in `*error` when it cannot be opened
/// or does not take 48 kHz stereo S16_LE.
std::unique_ptr<PcmDevice> OpenAlsaPcm(const std::string& name, int* error);

/// Underruns ALSA reported to this process's outputs (the device ran dry while playing).
uint64_t AlsaUnderruns();

}  // namespace faust
