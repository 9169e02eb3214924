// SPDX-License-Identifier: GPL-3.0-or-later
#include "webwire/data_provider.h"

#include <algorithm>
#include <cstring>

namespace Webwire {

std::uint64_t memory_data_provider::read(std::uint8_t* buffer, std::uint64_t count) {
  const std::uint64_t n = std::min(size_ - position_, count);
  if (n > 0) std::memcpy(buffer, data_ + position_, n);
  position_ += n;
  return n;
}

}  // namespace Webwire
