// SPDX-License-Identifier: GPL-3.0-or-later
#include "plexar/vst3/memory_stream.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace plexar::vst3 {

// Streams past this size are refused rather than letting a plug-in exhaust memory.
constexpr int64 kMaxStreamSize = std::numeric_limits<int32>::max();

tresult MemoryStream::queryInterface(const TUID iid, void** obj) {
  if (!obj) return kInvalidArgument;
  if (FUnknown::iid.Matches(iid) || IBStream::iid.Matches(iid)) {
    *obj = static_cast<IBStream*>(this);
  } else if (ISizeableStream::iid.Matches(iid)) {
    *obj = static_cast<ISizeableStream*>(this);
  } else {
    *obj = nullptr;
    return kNoInterface;
  }
  addRef();
  return kResultOk;
}

uint32 MemoryStream::release() {
  uint32 left = --refs_;
  if (left == 0) delete this;
  return left;
}

tresult MemoryStream::read(void* buffer, int32 numBytes, int32* numBytesRead) {
  if (numBytesRead) *numBytesRead = 0;
  if (numBytes < 0 || (numBytes > 0 && !buffer)) return kInvalidArgument;
  int64 size = static_cast<int64>(data_.size());
  int64 n = std::clamp<int64>(size - pos_, 0, numBytes);
  if (n > 0) std::memcpy(buffer, data_.data() + pos_, static_cast<size_t>(n));
  pos_ += n;
  if (numBytesRead) *numBytesRead = static_cast<int32>(n);
  return kResultOk;
}

tresult MemoryStream::write(void* buffer, int32 numBytes, int32* numBytesWritten) {
  if (numBytesWritten) *numBytesWritten = 0;
  if (numBytes < 0 || (numBytes > 0 && !buffer)) return kInvalidArgument;
  if (pos_ + numBytes > kMaxStreamSize) return kOutOfMemory;
  size_t end = static_cast<size_t>(pos_ + numBytes);
  if (end > data_.size()) data_.resize(end);
  if (numBytes > 0) std::memcpy(data_.data() + pos_, buffer, static_cast<size_t>(numBytes));
  pos_ += numBytes;
  if (numBytesWritten) *numBytesWritten = numBytes;
  return kResultOk;
}

tresult MemoryStream::seek(int64 pos, int32 mode, int64* result) {
  int64 base = 0;
  switch (mode) {
    case kIBSeekSet: base = 0; break;
    case kIBSeekCur: base = pos_; break;
    case kIBSeekEnd: base = static_cast<int64>(data_.size()); break;
    default: return kInvalidArgument;
  }
  int64 target = base + pos;
  if (target < 0 || target > kMaxStreamSize) return kInvalidArgument;
  pos_ = target;
  if (result) *result = pos_;
  return kResultOk;
}

tresult MemoryStream::tell(int64* pos) {
  if (!pos) return kInvalidArgument;
  *pos = pos_;
  return kResultOk;
}

tresult MemoryStream::getStreamSize(int64& size) {
  size = static_cast<int64>(data_.size());
  return kResultOk;
}

tresult MemoryStream::setStreamSize(int64 size) {
  if (size < 0 || size > kMaxStreamSize) return kInvalidArgument;
  data_.resize(static_cast<size_t>(size));
  pos_ = std::min(pos_, size);
  return kResultOk;
}

}  // namespace plexar::vst3
