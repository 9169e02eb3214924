// SPDX-License-Identifier: GPL-3.0-or-later
// The hash list as XML: a root element with one child element per file, its relative name
// in the attribute "n" and its SHA-256 as hexadecimal text in "h".
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "molt/bytes.h"

namespace Molt {

struct HashListItem {
  std::string n;
  std::string h;
};

/// The document for `items`.
std::string WriteHashList(const std::vector<HashListItem>& items);

/// The root's child elements in order (a missing attribute reads as empty text); nothing
/// when the bytes are no XML document.
std::optional<std::vector<HashListItem>> ReadHashList(std::span<const std::uint8_t> xml);

}  // namespace Molt
