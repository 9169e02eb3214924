// SPDX-License-Identifier: GPL-3.0-or-later
#include "plexar/records.h"

#include <cstdio>
#include <pugixml.hpp>
#include <sstream>

#include "common/base64.h"

namespace plexar {
namespace {

std::string Format(const char* pattern, double value) {
  char text[64];
  std::snprintf(text, sizeof text, pattern, value);
  return text;
}

std::string FormatInt(int32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%i", value);
  return text;
}

void AddText(pugi::xml_node parent, const char* name, const std::string& text) {
  parent.append_child(name).text().set(text.c_str());
}

std::string Print(const pugi::xml_document& doc) {
  std::ostringstream out;
  doc.print(out, "", pugi::format_raw | pugi::format_no_declaration);
  return out.str();
}

// Base64 broken into lines of 64 characters, as the record's readers expect.
std::string WrappedBase64(const std::vector<uint8_t>& bytes) {
  std::string flat = common::EncodeBase64(
      std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  std::string wrapped;
  for (size_t i = 0; i < flat.size(); i += 64) {
    wrapped += flat.substr(i, 64);
    wrapped += '\n';
  }
  return wrapped;
}

}  // namespace

std::string ProgramRecord::ToXml() const {
  pugi::xml_document doc;
  auto e = doc.append_child("e");
  AddText(e, "n", name);
  AddText(e, "id", FormatInt(id));
  AddText(e, "local_file", local_file.string());
  return Print(doc);
}

std::string ParameterRecord::ToXml() const {
  pugi::xml_document doc;
  auto e = doc.append_child("e");
  AddText(e, "n", name);
  AddText(e, "d", shortName);
  AddText(e, "v", Format("%f", value));
  AddText(e, "v2f", Format("%f", value2));
  AddText(e, "i", FormatInt(id));
  if (!native.empty()) AddText(e, "v3", WrappedBase64(native));
  return Print(doc);
}

VSTBUFFER::VSTBUFFER(int32_t channels, int32_t bits, int32_t frames)
    : channels_(channels < 0 ? 0 : channels), bits_(bits), frames_(frames < 0 ? 0 : frames) {
  size_t bytes = static_cast<size_t>(frames_) * static_cast<size_t>(bits_ == 64 ? 8 : 4);
  for (int32_t k = 0; k < channels_; ++k) {
    data_.push_back(std::make_unique<uint8_t[]>(bytes));  // value-initialised: zeroed
  }
}

}  // namespace plexar
