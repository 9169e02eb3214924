// SPDX-License-Identifier: GPL-3.0-or-later
#include "webwire/data_writer.h"

namespace Webwire {

int memory_data_writer::write(const std::uint8_t* data, unsigned count) {
  bytes.insert(bytes.end(), data, data + count);
  return static_cast<int>(count);
}

}  // namespace Webwire
