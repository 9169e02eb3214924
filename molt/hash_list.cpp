// SPDX-License-Identifier: GPL-3.0-or-later
#include "molt/hash_list.h"

#include <pugixml.hpp>
#include <sstream>

namespace Molt {

std::string WriteHashList(const std::vector<HashListItem>& items) {
  pugi::xml_document document;
  pugi::xml_node root = document.append_child("files");
  for (const HashListItem& item : items) {
    pugi::xml_node file = root.append_child("f");
    file.append_attribute("n") = item.n.c_str();
    file.append_attribute("h") = item.h.c_str();
  }
  std::ostringstream text;
  document.save(text, "  ", pugi::format_default, pugi::encoding_utf8);
  return text.str();
}

std::optional<std::vector<HashListItem>> ReadHashList(std::span<const std::uint8_t> xml) {
  pugi::xml_document document;
  if (!document.load_buffer(xml.data(), xml.size(), pugi::parse_default, pugi::encoding_utf8)) {
    return std::nullopt;
  }
  pugi::xml_node root = document.document_element();
  if (!root) return std::nullopt;
  std::vector<HashListItem> items;
  for (pugi::xml_node child : root.children()) {
    if (child.type() != pugi::node_element) continue;
    items.push_back({child.attribute("n").as_string(), child.attribute("h").as_string()});
  }
  return items;
}

}  // namespace Molt
