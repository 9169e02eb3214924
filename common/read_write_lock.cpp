// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/read_write_lock.h"

#include "common/debug.h"

namespace common {

void ReaderMutex::Wait() { lock_->WaitReader(); }

bool ReaderMutex::Release() { return lock_->ReleaseReader(); }

bool ReadWriteLock::GateFreeFor(std::thread::id self) const {
  return gateDepth_ == 0 || gateOwner_ == self;
}

bool ReadWriteLock::OthersReading(std::thread::id self) const {
  for (const auto& [thread, reader] : readers_)
    if (thread != self && reader.depth > 0) return true;
  return false;
}

bool ReadWriteLock::WriterBlocks(std::thread::id self) const {
  return writing_ && gateOwner_ != self;
}

void ReadWriteLock::WaitFor(std::unique_lock<std::mutex>& guard, const char* timeoutLine,
                            const auto& ready) {
  if (timeout_.count() < 0) {
    changed_.wait(guard, ready);
    return;
  }
  // The time-out only reports; giving up would let a writer and a reader in together.
  while (!changed_.wait_for(guard, timeout_, ready)) {
    guard.unlock();
    DebugLine(timeoutLine);
    guard.lock();
  }
}

ReaderMutex ReadWriteLock::LockRead(bool keepGate) {
  std::unique_lock guard(mutex_);
  const auto self = std::this_thread::get_id();
  Reader& reader = readers_[self];
  // A thread that already reads would otherwise wait at the gate for a writer that in turn
  // waits for this thread's read to end.
  if (keepGate || reader.depth == 0) changed_.wait(guard, [&] { return GateFreeFor(self); });
  if (keepGate) {
    gateOwner_ = self;
    ++gateDepth_;
  }
  return ReaderMutex(*this);
}

void ReadWriteLock::LockWrite() {
  LockRead(true);
  std::unique_lock guard(mutex_);
  const auto self = std::this_thread::get_id();
  WaitFor(guard, "LockWrite debug timeout!", [&] { return !OthersReading(self); });
  writing_ = true;
}

void ReadWriteLock::UnlockWrite() {
  std::lock_guard guard(mutex_);
  if (gateDepth_ == 0 || gateOwner_ != std::this_thread::get_id()) return;
  if (--gateDepth_ > 0) return;
  gateOwner_ = {};
  writing_ = false;
  changed_.notify_all();
}

void ReadWriteLock::WaitReader() {
  std::unique_lock guard(mutex_);
  const auto self = std::this_thread::get_id();
  WaitFor(guard, "LockRead debug timeout!", [&] { return !WriterBlocks(self); });
  ++readers_[self].depth;
}

void ReadWriteLock::AcquireRead() {
  std::unique_lock guard(mutex_);
  const auto self = std::this_thread::get_id();
  // Past a free gate no writer is inside, and one that is waiting waits for this reader.
  if (readers_[self].depth == 0)
    WaitFor(guard, "LockRead debug timeout!", [&] { return GateFreeFor(self); });
  ++readers_[self].depth;  // looked up again: `ForgetReaders` may have run meanwhile
}

bool ReadWriteLock::ReleaseReader() {
  std::lock_guard guard(mutex_);
  auto it = readers_.find(std::this_thread::get_id());
  if (it == readers_.end() || it->second.depth == 0) return false;
  if (--it->second.depth == 0) changed_.notify_all();
  return true;
}

void ReadWriteLock::ForgetReaders() {
  std::lock_guard guard(mutex_);
  std::erase_if(readers_, [](const auto& entry) { return entry.second.depth == 0; });
}

void ReadWriteLock::SetDebugTimeout(std::chrono::milliseconds timeout) {
  std::lock_guard guard(mutex_);
  timeout_ = timeout;
}

size_t ReadWriteLock::ReaderCount() const {
  std::lock_guard guard(mutex_);
  return readers_.size();
}

ReadGuard::ReadGuard(ReadWriteLock& lock) : mutex_(ReaderMutex(lock)) { lock.AcquireRead(); }

ReadGuard::~ReadGuard() { mutex_.Release(); }

}  // namespace common
