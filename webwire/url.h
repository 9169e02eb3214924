// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Webwire {

/// True when `text` begins with "http://" or "https://" in any letter case.
bool IsFullUrl(std::string_view text);

/// A full URL taken apart.
struct url_parts {
  bool secure = false;
  std::string host;
  std::uint16_t port = 0;  // the one written in the URL, else the scheme's own
  std::string target;      // path and query, at least "/"
};

/// Splits an "http://" or "https://" URL; nothing when it cannot be parsed.
std::optional<url_parts> ParseUrl(std::string_view url);

/// "http(s)://host:port" for a server name, with IPv6 literals in brackets; nothing when the
/// name could smuggle another URL part (slashes, '@', blanks, control characters).
std::optional<std::string> MakeOrigin(std::string_view server, bool secure, std::uint16_t port);

/// An HTTP method name: one token, no blanks or separators.
bool IsValidVerb(std::string_view verb);

/// The header lines in `headers` one per entry, each entry split at line breaks, with empty
/// lines and lines without a colon left out. A later line replaces an earlier one of the
/// same name, whatever the letter case.
std::vector<std::string> HeaderLines(const std::vector<std::string>& headers);

/// Whether `lines` (as HeaderLines returns them) already names header `name`.
bool HasHeader(const std::vector<std::string>& lines, std::string_view name);

}  // namespace Webwire
