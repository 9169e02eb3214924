// SPDX-License-Identifier: GPL-3.0-or-later
// The rows of the parameter list and their order, apart from the widgets that show them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "plexar/records.h"

namespace plexar::editor {

struct ParameterRow {
  int32_t id = 0;
  std::string name;
  std::string value;  // the plug-in's display text, or the normalised value as "%.3f"
  std::string units;
};

/// Column numbers of the header clicks that sort.
enum ParameterColumn : int { kIdColumn = 1, kNameColumn = 2 };

class ParameterTable {
 public:
  /// Takes the rows from `params`, leaving out names containing "MIDI CC" (VST 3 plug-ins
  /// list one parameter per controller and channel), and sorts them by the current key.
  void Fill(const std::vector<ParameterRecord>& params, bool withUnits);
  /// Sorts by the clicked column, or reverses the order when it already sorts by it.
  void ClickHeader(int column);
  /// Row of a parameter, or -1.
  int Find(int32_t id) const;
  /// Writes the value into the row of `id`; false when no row shows it.
  bool SetValue(int32_t id, double value);
  /// Shows the plug-in's own text and unit for the row of `id`; false when no row shows it.
  bool SetShown(int32_t id, const std::string& text, const std::string& units);

  const std::vector<ParameterRow>& Rows() const { return rows_; }
  /// ±1 by id, ±2 by name; negative is descending.
  int SortKey() const { return sortKey_; }

 private:
  void Sort();
  int sortKey_ = kIdColumn;
  std::vector<ParameterRow> rows_;
};

std::string FormatValue(double value);
/// The units of a VST 3 parameter from its native description; empty for VST 2.
std::string UnitsOf(const ParameterRecord& param);

}  // namespace plexar::editor
