// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string_view>

namespace Webwire {

/// A body held in one memory block.
struct data_block {
  std::uint64_t size = 0;
  const std::uint8_t* data = nullptr;
};

/// Source of a request body. Owned by the caller for the duration of one OpenRequest call;
/// the client never deletes one, hence the protected destructor.
class data_provider {
 public:
  /// Total number of body bytes.
  virtual std::uint64_t size() = 0;
  /// Copies up to `count` next bytes into `buffer`; 0 at the end.
  virtual std::uint64_t read(std::uint8_t* buffer, std::uint64_t count) = 0;
  /// True when the body is one memory block: then block() is sent whole and read() unused.
  virtual bool whole() = 0;
  virtual data_block block() = 0;

 protected:
  ~data_provider() = default;
};

/// A body in caller-owned memory, which must outlive the request's OpenRequest call.
class memory_data_provider : public data_provider {
 public:
  memory_data_provider() = default;
  memory_data_provider(const void* data, std::uint64_t size)
      : size_(size), data_(static_cast<const std::uint8_t*>(data)) {}
  explicit memory_data_provider(std::string_view text)
      : memory_data_provider(text.data(), text.size()) {}

  std::uint64_t size() override { return size_; }
  std::uint64_t read(std::uint8_t* buffer, std::uint64_t count) override;
  bool whole() override { return true; }
  data_block block() override { return {size_, data_}; }

 private:
  std::uint64_t size_ = 0;
  const std::uint8_t* data_ = nullptr;
  std::uint64_t position_ = 0;
};

}  // namespace Webwire
