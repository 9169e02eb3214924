// SPDX-License-Identifier: GPL-3.0-or-later
#include "plexar/editor/parameter_table.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "plexar/vst3/controller.h"
#include "plexar/vst3/text16.h"

namespace plexar::editor {

std::string FormatValue(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.3f", value);
  return text;
}

std::string UnitsOf(const ParameterRecord& param) {
  vst3::ParameterInfo info{};
  if (param.native.size() != sizeof info) return {};
  std::memcpy(&info, param.native.data(), sizeof info);
  return vst3::FromUtf16(info.units, 128);
}

void ParameterTable::Fill(const std::vector<ParameterRecord>& params, bool withUnits) {
  rows_.clear();
  for (const auto& p : params) {
    if (p.name.find("MIDI CC") != std::string::npos) continue;
    rows_.push_back({p.id, p.name, FormatValue(p.value), withUnits ? UnitsOf(p) : std::string()});
  }
  Sort();
}

void ParameterTable::ClickHeader(int column) {
  if (column != kIdColumn && column != kNameColumn) return;
  sortKey_ = std::abs(sortKey_) == column ? -sortKey_ : column;
  Sort();
}

void ParameterTable::Sort() {
  const bool descending = sortKey_ < 0;
  const bool byName = std::abs(sortKey_) == kNameColumn;
  std::stable_sort(rows_.begin(), rows_.end(), [&](const ParameterRow& a, const ParameterRow& b) {
    const ParameterRow& x = descending ? b : a;
    const ParameterRow& y = descending ? a : b;
    if (byName) return x.name < y.name;
    // Ids are shown unsigned ("%u"), so they sort that way too.
    return static_cast<uint32_t>(x.id) < static_cast<uint32_t>(y.id);
  });
}

int ParameterTable::Find(int32_t id) const {
  for (size_t i = 0; i < rows_.size(); ++i) {
    if (rows_[i].id == id) return static_cast<int>(i);
  }
  return -1;
}

bool ParameterTable::SetValue(int32_t id, double value) {
  const int row = Find(id);
  if (row < 0) return false;
  rows_[static_cast<size_t>(row)].value = FormatValue(value);
  return true;
}

bool ParameterTable::SetShown(int32_t id, const std::string& text, const std::string& units) {
  const int row = Find(id);
  if (row < 0) return false;
  rows_[static_cast<size_t>(row)].value = text;
  if (!units.empty()) rows_[static_cast<size_t>(row)].units = units;
  return true;
}

}  // namespace plexar::editor
