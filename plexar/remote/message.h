// SPDX-License-Identifier: GPL-3.0-or-later
// Packing of request and reply bodies, and frames on the host socket. A reader never trusts
// what it reads: every length is checked against what is left and against the caps of the
// wire, and a short or oversized field turns the whole reader bad.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace plexar::remote {

class MessageWriter {
 public:
  MessageWriter& U32(uint32_t value) { return Raw(&value, sizeof value); }
  MessageWriter& I32(int32_t value) { return Raw(&value, sizeof value); }
  MessageWriter& F32(float value) { return Raw(&value, sizeof value); }
  MessageWriter& F64(double value) { return Raw(&value, sizeof value); }
  MessageWriter& Text(std::string_view text);
  MessageWriter& Bytes(const std::vector<uint8_t>& bytes);
  const std::vector<uint8_t>& Data() const { return data_; }

 private:
  MessageWriter& Raw(const void* data, size_t size);
  std::vector<uint8_t> data_;
};

class MessageReader {
 public:
  explicit MessageReader(const std::vector<uint8_t>& data) : data_(data) {}
  uint32_t U32();
  int32_t I32();
  float F32();
  double F64();
  /// Texts are capped at `kMaxTextBytes`; longer ones make the reader bad.
  std::string Text();
  std::vector<uint8_t> Bytes();
  /// A count of list entries, bad when beyond `kMaxListEntries`.
  uint32_t Count();
  bool Good() const { return good_; }

 private:
  bool Take(void* out, size_t size);
  const std::vector<uint8_t>& data_;
  size_t at_ = 0;
  bool good_ = true;
};

/// What a frame exchange came to.
enum class WireResult { kOk, kClosed, kTimedOut, kCancelled, kBad };

/// Sends one frame, with `fd` attached when it is not -1.
WireResult SendFrame(int socket, const std::vector<uint8_t>& body, int fd = -1);

/// Receives one frame before `deadline`; a frame that brings a descriptor stores it in `*fd`
/// (when `fd` is null it is closed). `cancel` is a descriptor that ends the wait when it
/// becomes readable, or -1.
WireResult ReceiveFrame(int socket, std::vector<uint8_t>* body,
                        std::chrono::steady_clock::time_point deadline, int cancel = -1,
                        int* fd = nullptr);

}  // namespace plexar::remote
