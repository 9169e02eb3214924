// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include "molt/bytes.h"
#include "molt/replacement_file.h"

namespace Molt {

/// Writes a file's new content on a thread of its own, in the order it is filled, so that
/// the caller can read and hash the next piece while the last one goes to the disk. A third
/// thread flushes what is written every few MiB, so that the flush before the file is put
/// in place has little left to do. The caller fills pieces through Room and Filled (or
/// Append) and calls Finish once.
class WriteBehind {
 public:
  /// `out` must outlive this object.
  explicit WriteBehind(ReplacementFile& out);
  /// Without Finish, what is still queued is dropped.
  ~WriteBehind();
  WriteBehind(const WriteBehind&) = delete;
  WriteBehind& operator=(const WriteBehind&) = delete;

  /// Free space at the end of the piece being filled, never empty; waits while every
  /// piece is queued.
  std::span<std::uint8_t> Room();
  /// The first `count` bytes of the last Room are content now.
  void Filled(std::size_t count);
  /// Room, a copy and Filled, as often as `bytes` needs.
  void Append(std::span<const std::uint8_t> bytes);
  /// Whether a write has failed; what comes after it is not written.
  bool failed() const;
  /// Writes what is left and waits for it; true when every byte was written.
  bool Finish();

 private:
  struct Queued {
    std::size_t piece;
    std::size_t size;
  };
  void QueueCurrent();
  void Write();
  void Flush();

  ReplacementFile& out_;
  std::vector<Bytes> pieces_;
  // Filled by the caller only; its index is in neither list below while it is.
  bool haveCurrent_ = false;
  std::size_t current_ = 0;
  std::size_t currentSize_ = 0;

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::size_t> free_;
  std::deque<Queued> queued_;
  bool writing_ = false;
  bool failed_ = false;
  bool stop_ = false;
  std::uint64_t unflushed_ = 0;
  bool flushWanted_ = false;
  bool flushing_ = false;
  std::thread writer_;
  std::thread flusher_;
};

}  // namespace Molt
