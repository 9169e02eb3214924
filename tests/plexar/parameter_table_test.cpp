// SPDX-License-Identifier: GPL-3.0-or-later
#include "plexar/editor/parameter_table.h"

#include <gtest/gtest.h>

namespace plexar::editor {
namespace {

std::vector<int32_t> Ids(const ParameterTable& table) {
  std::vector<int32_t> ids;
  for (const auto& row : table.Rows()) ids.push_back(row.id);
  return ids;
}

TEST(ParameterTableTest, SkipsMidiCcAnywhereAndSortsByTheClickedColumn) {
  std::vector<ParameterRecord> params(5);
  const char* names[] = {"b", "Mod MIDI CC 1 Ch 2", "c", "a", "MIDI CC 7"};
  const int32_t ids[] = {5, 6, -1, 2, 9};  // -1 is 4294967295 shown unsigned
  for (size_t i = 0; i < params.size(); ++i) params[i].name = names[i], params[i].id = ids[i];
  params[0].value = 0.12345;
  ParameterTable table;
  table.Fill(params, false);
  EXPECT_EQ(Ids(table), (std::vector<int32_t>{2, 5, -1}));
  EXPECT_EQ(table.Rows()[1].value, "0.123");

  struct Step {
    int column;
    int key;
    std::vector<int32_t> ids;
  };
  const Step steps[] = {
      {kNameColumn, 2, {2, 5, -1}},   // a b c
      {kNameColumn, -2, {-1, 5, 2}},  // c b a
      {kIdColumn, 1, {2, 5, -1}},
      {kIdColumn, -1, {-1, 5, 2}},
      {3, -1, {-1, 5, 2}},            // the Value column does not sort
  };
  for (const Step& step : steps) {
    table.ClickHeader(step.column);
    EXPECT_EQ(table.SortKey(), step.key);
    EXPECT_EQ(Ids(table), step.ids) << step.column;
  }
  // A refill keeps the order the user chose.
  table.Fill(params, false);
  EXPECT_EQ(Ids(table), (std::vector<int32_t>{-1, 5, 2}));
  EXPECT_TRUE(table.SetValue(5, 1));
  EXPECT_EQ(table.Rows()[1].value, "1.000");
  EXPECT_FALSE(table.SetValue(6, 1));  // a skipped parameter has no row
}

}  // namespace
}  // namespace plexar::editor
