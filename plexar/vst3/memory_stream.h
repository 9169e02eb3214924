// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstdint>
#include <span>
#include <vector>

#include "plexar/vst3/base.h"

namespace plexar::vst3 {

/// A growable in-memory byte stream handed to getState/setState. Created with one reference;
/// a plug-in that keeps it alive beyond the call is allowed to.
class MemoryStream final : public IBStream, public ISizeableStream {
 public:
  MemoryStream() = default;
  explicit MemoryStream(std::span<const uint8_t> bytes) : data_(bytes.begin(), bytes.end()) {}

  tresult queryInterface(const TUID iid, void** obj) override;
  uint32 addRef() override { return ++refs_; }
  uint32 release() override;

  tresult read(void* buffer, int32 numBytes, int32* numBytesRead) override;
  tresult write(void* buffer, int32 numBytes, int32* numBytesWritten) override;
  tresult seek(int64 pos, int32 mode, int64* result) override;
  tresult tell(int64* pos) override;
  tresult getStreamSize(int64& size) override;
  tresult setStreamSize(int64 size) override;

  const std::vector<uint8_t>& bytes() const { return data_; }
  void Rewind() { pos_ = 0; }

 private:
  ~MemoryStream() = default;

  std::atomic<uint32> refs_{1};
  std::vector<uint8_t> data_;
  int64 pos_ = 0;
};

}  // namespace plexar::vst3
