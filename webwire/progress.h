// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>

namespace Webwire {

/// Reports a transfer: bytes sent or received so far, the expected total (-1 when the server
/// gave no length) and a flag that is always 0. A negative result stops the transfer.
/// Called on the thread that made the call, between pieces of the transfer.
using progress_callback =
    std::function<int(std::uint64_t done, std::int64_t total, std::int64_t flag)>;

}  // namespace Webwire
