// SPDX-License-Identifier: GPL-3.0-or-later
#include "plexar/remote/block_region.h"

#include <fcntl.h>
#include <linux/futex.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

namespace plexar::remote {

BlockRegion::~BlockRegion() {
  if (memory_) munmap(memory_, bytes_);
  if (fd_ >= 0) close(fd_);
}

namespace {

bool ValidCounts(int32_t inputs, int32_t outputs, int32_t frames) {
  return inputs >= 0 && outputs >= 0 && inputs <= kMaxChannels && outputs <= kMaxChannels &&
         frames > 0 && frames <= kMaxFrames;
}

}  // namespace

bool BlockRegion::Create(int32_t inputs, int32_t outputs, int32_t frames) {
  if (!ValidCounts(inputs, outputs, frames)) return false;
  int fd = memfd_create("tessary-block", MFD_CLOEXEC | MFD_ALLOW_SEALING);
  if (fd < 0) return false;
  const size_t bytes = RegionBytes(inputs, outputs, frames);
  // Sealed at its size, so the host cannot shrink it under us and make our reads fault.
  if (ftruncate(fd, static_cast<off_t>(bytes)) != 0 ||
      fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_SEAL) != 0) {
    close(fd);
    return false;
  }
  return Attach(fd, inputs, outputs, frames);
}

bool BlockRegion::Attach(int fd, int32_t inputs, int32_t outputs, int32_t frames) {
  const size_t bytes = RegionBytes(inputs, outputs, frames);
  struct stat info {};
  if (!ValidCounts(inputs, outputs, frames) || fstat(fd, &info) != 0 ||
      static_cast<size_t>(info.st_size) != bytes) {
    close(fd);
    return false;
  }
  void* memory = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (memory == MAP_FAILED) {
    close(fd);
    return false;
  }
  memory_ = memory, bytes_ = bytes, fd_ = fd;
  inputs_ = inputs, outputs_ = outputs, frames_ = frames;
  return true;
}

float* BlockRegion::Input(int32_t k) const {
  return reinterpret_cast<float*>(static_cast<uint8_t*>(memory_) + kChannelsOffset) +
         static_cast<size_t>(k) * static_cast<size_t>(frames_);
}

float* BlockRegion::Output(int32_t k) const { return Input(inputs_ + k); }

bool FutexWaitChange(std::atomic<uint32_t>* word, uint32_t seen, std::chrono::nanoseconds timeout) {
  const auto until = std::chrono::steady_clock::now() + timeout;
  while (word->load(std::memory_order_acquire) == seen) {
    timespec wait{}, *limit = nullptr;
    if (timeout.count() >= 0) {
      auto left = until - std::chrono::steady_clock::now();
      if (left.count() <= 0) return false;
      wait.tv_sec = static_cast<time_t>(left.count() / 1000000000);
      wait.tv_nsec = static_cast<long>(left.count() % 1000000000);
      limit = &wait;
    }
    // Not the private variant: the word is shared with another process.
    syscall(SYS_futex, reinterpret_cast<uint32_t*>(word), FUTEX_WAIT, seen, limit, nullptr, 0);
  }
  return true;
}

void FutexWaitOnce(std::atomic<uint32_t>* word, uint32_t seen, std::chrono::nanoseconds timeout) {
  timespec wait{static_cast<time_t>(timeout.count() / 1000000000), static_cast<long>(timeout.count() % 1000000000)};
  syscall(SYS_futex, reinterpret_cast<uint32_t*>(word), FUTEX_WAIT, seen, &wait, nullptr, 0);
}

void FutexWake(std::atomic<uint32_t>* word) {
  syscall(SYS_futex, reinterpret_cast<uint32_t*>(word), FUTEX_WAKE, INT_MAX, nullptr, nullptr, 0);
}

}  // namespace plexar::remote
