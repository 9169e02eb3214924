// SPDX-License-Identifier: GPL-3.0-or-later
// Drawing a laid-out interface with cairo.
#pragma once

#include <cairo.h>

#include <string>

#include "faust/engine/ui_tree.h"

namespace faust_engine {

/// What the drawing shows of each widget.
class WidgetValues {
 public:
  /// A control's or meter's position in its range, 0...1 (log widgets by ratio).
  virtual double Position(const Widget& w) = 0;
  /// The value as the effect shows it, with its unit.
  virtual std::string Text(const Widget& w) = 0;

 protected:
  ~WidgetValues() = default;
};

/// The whole editor: the tree, then `status` (a tooltip) on the line below it when the tree
/// leaves room for one.
void DrawEditor(cairo_t* cr, const Widget& root, WidgetValues& values, int width, int height,
                const std::string& status);

}  // namespace faust_engine
