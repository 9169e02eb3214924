// SPDX-License-Identifier: GPL-3.0-or-later
// A Faust program's user interface as the program describes it: groups and the widgets in
// them, in the order and with the metadata of the program's code.
#pragma once

#include <string>
#include <vector>

class dsp;

namespace faust_engine {

enum class WidgetKind {
  HGroup, VGroup, TGroup, HSlider, VSlider, Knob, NumEntry, CheckBox, Button, HBar, VBar
};

struct Rect {
  int x = 0, y = 0, w = 0, h = 0;
  bool Holds(int px, int py) const { return px >= x && py >= y && px < x + w && py < y + h; }
};

struct Widget {
  WidgetKind kind = WidgetKind::VGroup;
  std::string label;
  std::string unit;     // [unit:...]
  std::string tooltip;  // [tooltip:...]
  bool log = false;     // [scale:log], on a range above zero
  int param = -1;       // the parameter a control sets: its place among the controls
  int meter = -1;       // a bargraph's place among the meters
  double min = 0, max = 1, step = 0;
  std::vector<Widget> children;
  // Set by the layout.
  Rect box;
  std::vector<Rect> tabs;  // a tab group's tab headers, one per child
  int shownTab = 0;

  bool IsGroup() const { return kind <= WidgetKind::TGroup; }
  /// The slider or meter's position (0...1) for a plain value, and back; log widgets spread
  /// their range by ratios.
  double Position(double plain) const;
  double Plain(double position) const;
};

struct UiTree {
  Widget root;
  /// Where the instance keeps each bargraph's value, in meter order.
  std::vector<float*> meterZones;
};

/// The instance's interface; controls are numbered as `CollectControls` numbers them.
UiTree CollectUi(dsp& instance);

/// The kind's name for descriptions of the tree: "hslider", "knob", "tgroup", ...
const char* KindName(WidgetKind kind);

}  // namespace faust_engine
