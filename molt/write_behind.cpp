// SPDX-License-Identifier: GPL-3.0-or-later
#include "molt/write_behind.h"

#include <algorithm>
#include <cstring>

namespace Molt {
namespace {

// Writes of 1 MiB cost little more per byte than larger ones; eight of them let the
// reader run ahead when the disk stalls for a moment.
constexpr std::size_t kPieceSize = 1 << 20;
constexpr std::size_t kPieces = 8;

}  // namespace

WriteBehind::WriteBehind(ReplacementFile& out) : out_(out), pieces_(kPieces) {
  for (std::size_t i = 0; i < kPieces; ++i) {
    pieces_[i].resize(kPieceSize);
    free_.push_back(i);
  }
  writer_ = std::thread([this] { Run(); });
}

WriteBehind::~WriteBehind() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  writer_.join();
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
  return !failed_;
}

void WriteBehind::Run() {
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
    free_.push_back(next.piece);
    changed_.notify_all();
  }
}

}  // namespace Molt
