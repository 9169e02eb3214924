// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string_view>

namespace platform {

/// Writes to standard output as one piece. Several threads print (the prompt loop, the
/// back-end's receive thread); each call's bytes stay together and calls keep their order.
void ConsoleWrite(std::string_view text);

/// The same for standard error.
void ConsoleWriteError(std::string_view text);

}  // namespace platform
