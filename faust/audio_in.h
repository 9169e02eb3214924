// SPDX-License-Identifier: GPL-3.0-or-later
// One audio source: a file played through its own chain of rack entries.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct VST;

inline constexpr int32_t kSourceStopped = 0;
inline constexpr int32_t kSourcePaused = 1;
inline constexpr int32_t kSourcePlaying = 2;

struct AUDIO_IN {
  std::atomic<int32_t> state{kSourceStopped};
  std::string file;
  std::shared_ptr<std::thread> thread;
  std::vector<std::shared_ptr<VST>> chain;  // changed only under workbenchLock
  std::atomic<bool> ended{false};  // played to its end since the last play

  /// Sets the state and wakes the source's thread at once.
  void SetState(int32_t next);
  /// Wakes the thread (after `quitting` was set, say).
  void Wake();
  /// A count of wake-ups; read it before looking at the state, then sleep on it, and no
  /// wake-up in between is missed.
  uint64_t Epoch();
  /// Waits up to `limit` for a wake-up after `epoch`.
  void Sleep(std::chrono::milliseconds limit, uint64_t epoch);

 private:
  std::mutex wakeLock_;
  std::condition_variable wake_;
  uint64_t wakeups_ = 0;
};

/// The body of a source's thread: decodes `file`, runs it through the chain in 512-frame
/// blocks and plays it, following `state`, until `quitting` is set.
void SourceThread(std::shared_ptr<AUDIO_IN> source, std::string file,
                  const std::atomic<bool>& quitting);

/// Creates a stopped source for `file` with its thread running.
std::shared_ptr<AUDIO_IN> StartSource(const std::string& file, const std::atomic<bool>& quitting);

/// Sets `quitting` for the sources' sake, wakes every source and joins its thread.
void StopAllSources(std::atomic<bool>& quitting);
