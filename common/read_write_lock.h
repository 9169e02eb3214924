// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

namespace common {

class ReadWriteLock;

/// The calling thread's reader mutex of one lock, as `ReadWriteLock::LockRead` hands it out.
/// Like a Windows mutex it belongs to a thread and counts recursive acquisitions: `Wait` and
/// `Release` act on the calling thread's own mutex, so a handle passed to another thread
/// cannot release a lock it does not hold.
class ReaderMutex {
 public:
  /// Takes the mutex; blocks while a writer holds the lock (unless the writer is this thread).
  void Wait();
  /// Gives one acquisition back. False when the calling thread does not own the mutex.
  bool Release();

 private:
  friend class ReadWriteLock;
  friend class ReadGuard;
  explicit ReaderMutex(ReadWriteLock& lock) : lock_(&lock) {}
  ReadWriteLock* lock_;
};

/// Many readers or one writer. Readers of different threads run together; a writer waits
/// until no other thread reads and keeps new readers out until it is done.
///
/// A thread may read several times over, may take the write lock while it reads (an upgrade),
/// and may read or write again while it writes. An upgrade while another thread is already
/// waiting to write deadlocks (the writer waits for the read, the upgrade for the writer's
/// gate), so upgrade only where no other writer can come.
///
/// Protocols, which `ReadGuard`, `WriteGuard` and `RunWriteLocked` follow:
///   read:  `m = LockRead(false); m.Wait(); ...read...; m.Release();`
///   write: `LockWrite(); ...write...; UnlockWrite();`
/// A reader mutex obtained from `LockRead` cannot be taken while a writer is inside, so a
/// reader that was overtaken by a writer between `LockRead` and `Wait` waits for the write.
///
/// Any number of threads may read; there is no cap on the reader table.
class ReadWriteLock {
 public:
  ReadWriteLock() = default;
  ~ReadWriteLock() = default;
  ReadWriteLock(const ReadWriteLock&) = delete;
  ReadWriteLock& operator=(const ReadWriteLock&) = delete;

  /// Passes the gate (waiting for a writer to finish) and registers the calling thread as a
  /// reader. With `keepGate` the gate stays held and must be released by `UnlockWrite`.
  /// A thread that already reads passes at once, so nested reads never wait for a writer
  /// that is itself waiting for them.
  ReaderMutex LockRead(bool keepGate);

  /// Returns with the gate held and no other thread reading.
  void LockWrite();

  /// Ends a write begun by `LockWrite` (or a `LockRead(true)`): releases the gate.
  void UnlockWrite();

  /// Drops the reader table. Callers make sure nobody is reading; a thread that reads right
  /// now keeps its entry all the same, so that a following writer still waits for it.
  void ForgetReaders();

  /// Waits longer than this report "LockRead debug timeout!" or "LockWrite debug timeout!"
  /// on standard error when TESSARY_DEBUG is set, and go on waiting. Negative: no limit
  /// (the default).
  void SetDebugTimeout(std::chrono::milliseconds timeout);

  /// Number of threads in the reader table (for diagnostics and tests).
  size_t ReaderCount() const;

 private:
  friend class ReaderMutex;
  friend class ReadGuard;

  struct Reader {
    uint32_t depth = 0;  // recursive acquisitions by the owning thread
  };

  bool GateFreeFor(std::thread::id self) const;
  bool OthersReading(std::thread::id self) const;
  bool WriterBlocks(std::thread::id self) const;
  void WaitFor(std::unique_lock<std::mutex>& guard, const char* timeoutLine, const auto& ready);
  void WaitReader();
  bool ReleaseReader();
  // `LockRead(false)` and `Wait` in one step, for `ReadGuard`.
  void AcquireRead();

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::thread::id gateOwner_;
  uint32_t gateDepth_ = 0;
  // Set by `LockWrite` until the gate is released completely. While it is set every reader
  // mutex counts as held by the writer, which keeps out a reader that passed the gate just
  // before the writer took it and had not yet taken its mutex.
  bool writing_ = false;
  std::map<std::thread::id, Reader> readers_;
  std::chrono::milliseconds timeout_{-1};
};

/// The whole read protocol for one scope.
class ReadGuard {
 public:
  explicit ReadGuard(ReadWriteLock& lock);
  ~ReadGuard();
  ReadGuard(const ReadGuard&) = delete;
  ReadGuard& operator=(const ReadGuard&) = delete;

 private:
  ReaderMutex mutex_;
};

/// `LockWrite` / `UnlockWrite` for one scope.
class WriteGuard {
 public:
  explicit WriteGuard(ReadWriteLock& lock) : lock_(lock) { lock_.LockWrite(); }
  ~WriteGuard() { lock_.UnlockWrite(); }
  WriteGuard(const WriteGuard&) = delete;
  WriteGuard& operator=(const WriteGuard&) = delete;

 private:
  ReadWriteLock& lock_;
};

/// Runs `f` under the write lock and returns its result.
template <class F>
auto RunWriteLocked(ReadWriteLock& lock, F&& f) {
  WriteGuard guard(lock);
  return std::forward<F>(f)();
}

}  // namespace common
