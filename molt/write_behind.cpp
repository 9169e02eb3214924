// SPDX-License-Identifier: GPL-3.0-or-later
#include "molt/write_behind.h"

#include <algorithm>
#include <cstring>

namespace Molt {
namespace {

// Writes of about 1 MiB cost little more per byte than larger ones; eight pieces let the
// reader run ahead when the disk stalls for a moment. Not a whole MiB: writes of whole,
// aligned MiB measured twice as slow on a virtual machine, the kernel then caching the file
// in large folios taken from memory the host has to hand back first.
constexpr std::size_t kPieceSize = (1 << 20) - 4096;
constexpr std::size_t kPieces = 8;
// The disk's own cache is emptied at each flush; in steps this size it costs the writing
// little, where the whole file at the end costs about 0.5 ms per MiB.
constexpr std::uint64_t kFlushStep = 16ull << 20;

}  // namespace

WriteBehind::WriteBehind(ReplacementFile& out) : out_(out), pieces_(kPieces) {
  for (std::size_t i = 0; i < kPieces; ++i) {
    pieces_[i].resize(kPieceSize);
    free_.push_back(i);
  }
  writer_ = std::thread([this] { Write(); });
  flusher_ = std::thread([this] { Flush(); });
}

WriteBehind::~WriteBehind() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  writer_.join();
  flusher_.join();
}

std::span<std::uint8_t> WriteBehind::Room() {
  if (!haveCurrent_) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !free_.empty(); });
    current_ = free_.back();
    free_.pop_back();
    currentSize_ = 0;
    haveCurrent_ = true;
  }
  return std::span<std::uint8_t>(pieces_[current_]).subspan(currentSize_);
}

void WriteBehind::Filled(std::size_t count) {
  currentSize_ += count;
  if (currentSize_ == kPieceSize) QueueCurrent();
}

void WriteBehind::Append(std::span<const std::uint8_t> bytes) {
  while (!bytes.empty()) {
    const std::span<std::uint8_t> room = Room();
    const std::size_t count = std::min(room.size(), bytes.size());
    std::memcpy(room.data(), bytes.data(), count);
    Filled(count);
    bytes = bytes.subspan(count);
  }
}

void WriteBehind::QueueCurrent() {
  if (!haveCurrent_) return;
  haveCurrent_ = false;
  {
    std::lock_guard lock(mutex_);
    queued_.push_back({current_, currentSize_});
  }
  changed_.notify_all();
}

bool WriteBehind::failed() const {
  std::lock_guard lock(mutex_);
  return failed_;
}

bool WriteBehind::Finish() {
  if (haveCurrent_ && currentSize_ > 0) QueueCurrent();
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return queued_.empty() && !writing_; });
  // A flush not yet begun would only delay Commit's own.
  flushWanted_ = false;
  changed_.wait(lock, [this] { return !flushing_; });
  return !failed_;
}

void WriteBehind::Write() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return stop_ || !queued_.empty(); });
    if (stop_) return;
    const Queued next = queued_.front();
    queued_.pop_front();
    writing_ = true;
    const bool skip = failed_;
    lock.unlock();
    const bool written = skip || out_.Write(std::span(pieces_[next.piece]).first(next.size));
    lock.lock();
    writing_ = false;
    failed_ = failed_ || !written;
    if (!failed_) unflushed_ += next.size;
    if (unflushed_ >= kFlushStep && !flushing_) {
      unflushed_ = 0;
      flushWanted_ = true;
    }
    free_.push_back(next.piece);
    changed_.notify_all();
  }
}

void WriteBehind::Flush() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return stop_ || flushWanted_; });
    if (stop_) return;
    flushWanted_ = false;
    flushing_ = true;
    lock.unlock();
    out_.FlushSoFar();
    lock.lock();
    flushing_ = false;
    changed_.notify_all();
  }
}

}  // namespace Molt
