// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Webwire {

/// Sink of a response body. Owned by the caller for the duration of one ReadResponse call.
class data_writer {
 public:
  /// Accepts `count` bytes; any other return value than `count` stops the read.
  virtual int write(const std::uint8_t* data, unsigned count) = 0;
  /// Bytes accepted so far.
  virtual std::uint64_t size() = 0;

 protected:
  ~data_writer() = default;
};

/// Collects the body in memory.
class memory_data_writer : public data_writer {
 public:
  int write(const std::uint8_t* data, unsigned count) override;
  std::uint64_t size() override { return bytes.size(); }

  /// The bytes so far as text (no terminator needed).
  std::string text() const { return std::string(bytes.begin(), bytes.end()); }

  std::vector<std::uint8_t> bytes;
};

}  // namespace Webwire
