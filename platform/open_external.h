// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace platform {

/// Opens an http or https address in the desktop's browser through xdg-open, without waiting
/// for it. False when the address is not such an address, xdg-open is not installed, or it
/// could not be started.
bool OpenAddress(const std::string& address);

}  // namespace platform
