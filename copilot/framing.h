// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>
#include <vector>

/// The largest body a peer may announce; anything larger ends the connection.
constexpr long long kMaxFrameBody = 64ll << 20;

/// "Content-Length: N\r\n\r\n" followed by the body.
std::string MakeFrame(std::string_view body);

/// Moves every complete frame body from the front of `buffer` into `bodies`, keeping an
/// incomplete frame for later. Bytes before a frame's header go with it. Returns false when a
/// frame announces a length that is not a number, is negative or too large: the stream can no
/// longer be trusted.
bool ExtractFrames(std::string& buffer, std::vector<std::string>& bodies);
