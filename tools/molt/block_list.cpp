// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/molt/block_list.h"

#include <charconv>

namespace MoltTools {
namespace {

template <class Number>
bool ReadNumber(std::string_view text, Number& number) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  return !text.empty() && error == std::errc() && end == text.data() + text.size();
}

std::optional<BlockRequest> ParseEntry(std::string_view entry) {
  const std::size_t first = entry.find(',');
  const std::size_t last = entry.rfind(',');
  if (first == std::string_view::npos) return std::nullopt;
  const std::size_t middle = entry.rfind(',', last - 1);
  const std::size_t kind = middle == std::string_view::npos ? middle : entry.rfind(',', middle - 1);
  if (kind == std::string_view::npos || kind <= first) return std::nullopt;
  BlockRequest request;
  request.name = std::string(entry.substr(first + 1, kind - first - 1));
  const std::string_view type = entry.substr(kind + 1, middle - kind - 1);
  if (!ReadNumber(entry.substr(0, first), request.index) ||
      !ReadNumber(entry.substr(middle + 1, last - middle - 1), request.offset) ||
      !ReadNumber(entry.substr(last + 1), request.length) || request.name.empty()) {
    return std::nullopt;
  }
  if (type == "F") {
    request.whole = true;
  } else if (type != "P") {
    return std::nullopt;
  }
  return request;
}

}  // namespace

std::optional<std::vector<BlockRequest>> ParseBlockList(std::string_view list) {
  std::vector<BlockRequest> requests;
  std::size_t start = 0;
  while (start <= list.size()) {
    const std::size_t end = std::min(list.find('|', start), list.size());
    auto request = ParseEntry(list.substr(start, end - start));
    if (!request) return std::nullopt;
    requests.push_back(std::move(*request));
    start = end + 1;
  }
  return requests;
}

}  // namespace MoltTools
