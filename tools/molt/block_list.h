// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace MoltTools {

/// One entry of the updater's block list: "index,name,F,0,0" (the whole file) or
/// "index,name,P,offset,length", entries joined by "|".
struct BlockRequest {
  std::uint32_t index = 0;
  std::string name;
  bool whole = false;
  std::uint64_t offset = 0;
  std::uint64_t length = 0;
};

/// The entries in order; nothing when one of them is malformed. A name may hold commas:
/// the fields are taken from both ends.
std::optional<std::vector<BlockRequest>> ParseBlockList(std::string_view list);

}  // namespace MoltTools
