// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/read_write_lock.h"
#include "faust/event.h"
#include "faust/pcm_device.h"
#include "faust/processor_load.h"

namespace faust {

/// The PCM device a wave output plays on: TESSARY_AUDIO_DEVICE, or "default".
std::string WaveOutputDeviceName();

/// One sound output of a playing source: 16-bit stereo at 48,000 Hz.
///
/// Threads: the owning source's thread constructs it, calls `Open` and `Write` and destroys
/// it; the writer thread (`thrx`) hands the queued buffers to the device and takes them back.
/// The queue is only touched under `queueLock`, taken for writing by both; no lock is held
/// while waiting for room or for the device.
///
/// Flow: the first `Depth() - 1` buffers only queue; the next one starts the device with all
/// of them (the pre-roll); from then on each buffer goes to the device at once, and a write
/// that leaves `Depth()` or more queued makes the next one wait (at most `roomWait`) for
/// the device to catch up. A buffer holds at most `kBufferFrames` (a longer write is queued in
/// pieces) and stays queued until the device has played it, not merely taken it, so what is
/// ahead of the speaker is bounded in time, whatever the writer's packets are.
///
/// Depth: `maxQueued` buffers (about 53 ms) keep a change heard soon. A machine that ran the
/// output `kLateWake` or more late (the writer thread woke that late, or a buffer came that
/// long after the writer made room for it) may hold the sound longer than the queue lasts: a
/// virtual machine's host may stop one of its processors for 100 ms. Every output of the
/// process then keeps `kDeepQueued` (about 117 ms) instead. On a virtual machine it does so
/// too while the processors are all busy (less than `kBusyIdleShare` of their time idle,
/// looked at every `kLoadLook` while sound plays): that is when such a host stalls, and the
/// first stall would otherwise be heard. After `kCalmBeforeShallow` without either, outputs
/// go back to `maxQueued`.
class WOUT {
 public:
  using DeviceOpener = std::function<std::unique_ptr<PcmDevice>(int* error)>;
  static constexpr size_t maxQueued = 5;
  static constexpr size_t kDeepQueued = 11;
  static constexpr std::chrono::milliseconds kLateWake{20};
  static constexpr std::chrono::milliseconds kLoadLook{1000};
  static constexpr double kBusyIdleShare = 0.1;
  static constexpr std::chrono::seconds kCalmBeforeShallow{30};
  static constexpr size_t kBufferFrames = 512;
  static constexpr std::chrono::milliseconds kRoomWait{10000};
  static constexpr std::chrono::milliseconds kExitWait{1000};
  // A buffer the device took but has not played this long after its own length is counted
  // as played, so that a device whose clock stopped cannot hold the source for ever.
  static constexpr std::chrono::milliseconds kPlayStall{2000};

  /// An output on the ALSA device `WaveOutputDeviceName()` names.
  WOUT();
  /// An output on whatever `opener` opens (tests use this for devices of their own); it keeps
  /// `maxQueued` buffers unless `learnsStalls`, when it deepens as the class comment says,
  /// reading the processors' time from `statFile` (none: a busy machine is no sign).
  explicit WOUT(DeviceOpener opener, std::chrono::milliseconds roomWait = kRoomWait,
                bool learnsStalls = false, std::string statFile = {});
  /// Stops the sound at once (queued sound is dropped, not played out), ends the writer
  /// thread and frees every buffer.
  ~WOUT();
  WOUT(const WOUT&) = delete;
  WOUT& operator=(const WOUT&) = delete;

  /// Opens the device and starts the writer thread. False when the device could not be
  /// opened (the error is in `LastResult`); a failure to start the thread throws
  /// std::system_error and leaves the output closed.
  bool Open();

  /// Queues a copy of `bytes` bytes of interleaved frames; `data` may be reused at once.
  /// False, with nothing queued and no wait, when the output is not open or `bytes` is not
  /// a whole number of frames. May wait up to `roomWait` for room for each `kBufferFrames`
  /// (see the class comment).
  bool Write(const void* data, size_t bytes);
  /// Waits, like `Write` would, until there is room for a buffer. A writer that prepares
  /// each buffer just in time calls this first, so the buffer does not wait once made.
  void WaitForRoom();

  /// Starts the device with whatever the pre-roll holds, so the end of a sound shorter than
  /// the pre-roll is played rather than dropped with the output.
  void StartPlaying();
  /// After the last `Write` and once `QueuedBuffers` is 0: waits until the device has played
  /// everything, so closing the output does not cut the end of the sound.
  void Drain();

  /// The result of the last device call: 0, or a negative errno value.
  int LastResult() const { return lastResult.load(); }
  bool IsOpen() const { return device != nullptr; }
  /// Buffers not yet played (queued, or taken by the device and not yet heard).
  size_t QueuedBuffers();
  /// How many buffers this output keeps ahead of the speaker now.
  size_t Depth();

  /// Whether outputs keep the deep queue now: one of this process saw the machine stall or
  /// busy, less than `kCalmBeforeShallow` ago (see the class comment).
  static bool MachineStalls();
  /// Forgets that, so that outputs go back to `maxQueued` (for tests, and as a fresh start).
  static void ForgetMachineStalls();

 private:
  using Clock = std::chrono::steady_clock;
  struct WHDR {
    std::vector<std::byte> bytes;
    bool given = false;  // handed to the writer thread for the device
    bool taken = false;  // the device has taken it (or failed to); it is playing
    size_t frames = 0;   // of `bytes` that the device took
    Clock::time_point takenAt;
  };

  void thrx();
  std::chrono::milliseconds PlayGivenBuffers();
  std::chrono::milliseconds RetirePlayed();
  void Queue(const std::byte* data, size_t bytes, bool roomTimedOut);
  std::unique_ptr<WHDR> NewBuffer(const std::byte* data, size_t bytes);
  void GiveToDevice(WHDR& buffer);
  void NoteWake(Clock::duration late);
  void LookAtMachine();
  void NoteAsking();
  void DeepenLocked();

  DeviceOpener opener_;
  const std::chrono::milliseconds roomWait_;
  const bool learnsStalls_;
  ProcessorLoad load_;  // only the writer thread looks, like the time below
  Clock::time_point nextLoadLook_{};

  std::atomic<int> lastResult{0};
  std::unique_ptr<PcmDevice> device;
  Event doneEvent{false, false};
  Event exitedEvent{false, false};
  Event roomEvent{true, true};
  std::atomic<bool> stop{false};
  common::ReadWriteLock queueLock;
  std::deque<std::unique_ptr<WHDR>> queue;
  // Buffers the device gave back, kept for reuse so a steady stream allocates nothing.
  std::vector<std::unique_ptr<WHDR>> spare_;
  bool started = false;
  size_t depth_;  // under `queueLock`, like the two below
  bool waitingForRoom_ = false;                   // a write found the queue full
  std::optional<Clock::time_point> roomGivenAt_;  // when the writer made room for it
  size_t framesInDevice_ = 0;  // of the taken buffers still queued; only the writer uses it
  std::thread writer_;
};

}  // namespace faust
