// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

/// Takes complete HTTP replies off the front of `buffer` and appends their bodies to
/// `bodies`: framed by Content-Length or chunked (the chunks joined into one body). Returns
/// false for a reply that is neither, or whose length or chunk size cannot be read: the
/// stream can no longer be followed.
bool ExtractReplies(std::string& buffer, std::vector<std::string>& bodies);
