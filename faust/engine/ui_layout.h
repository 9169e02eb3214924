// SPDX-License-Identifier: GPL-3.0-or-later
// Where each widget of a program's interface sits in the editor: boxes side by side or
// stacked, tab groups showing one page at a time.
#pragma once

#include "faust/engine/ui_tree.h"

namespace faust_engine {

namespace layout {
constexpr int kPad = 8;          // inside a group, around its contents
constexpr int kGap = 8;          // between neighbours
constexpr int kGroupLabel = 18;  // a named group's caption
constexpr int kTabHeight = 26;
constexpr int kStatusHeight = 22;  // the line showing tooltips
constexpr int kCharWidth = 7;    // an estimate for the 12-pixel sans font
constexpr int kTrackInset = 10;  // a slider track's ends from its box's sides
constexpr int kVerticalTrackInset = 26;
constexpr int kEntryButton = 24;  // a number entry's - and + at its ends
constexpr int kKnobTravel = 200;  // pixels of drag for a knob's whole range
}  // namespace layout

/// Lays the tree out from (0, 0) and returns its size in `width` and `height`.
void LayOut(Widget& root, int* width, int* height);

/// The widget a point falls on (a control, a meter or a tab group's header), or null. Only
/// the shown page of a tab group counts.
Widget* WidgetAt(Widget& root, int x, int y);

/// The tab of `group` under a point, or -1.
int TabAt(const Widget& group, int x, int y);

/// The slider position (0...1) a point on a slider's track stands for.
double TrackPosition(const Widget& slider, int x, int y);

}  // namespace faust_engine
