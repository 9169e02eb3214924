// SPDX-License-Identifier: GPL-3.0-or-later
#include "faust/engine/ui_layout.h"

#include <algorithm>

namespace faust_engine {

using namespace layout;

namespace {

int TextWidth(const std::string& text) { return static_cast<int>(text.size()) * kCharWidth; }

int Caption(const Widget& group, bool root) { return root || group.label.empty() ? 0 : kGroupLabel; }

int TabWidth(const Widget& page) { return TextWidth(page.label) + 20; }

// The natural size of each widget, into its box.
void Measure(Widget& w, bool root) {
  Rect& b = w.box;
  switch (w.kind) {
    case WidgetKind::HSlider: b.w = 240, b.h = 48; return;
    case WidgetKind::VSlider: b.w = std::max(70, TextWidth(w.label) + 8), b.h = 200; return;
    case WidgetKind::Knob: b.w = std::max(84, TextWidth(w.label) + 8), b.h = 110; return;
    case WidgetKind::NumEntry: b.w = std::max(160, TextWidth(w.label) + 8), b.h = 48; return;
    case WidgetKind::CheckBox: b.w = std::max(120, TextWidth(w.label) + 32), b.h = 28; return;
    case WidgetKind::Button: b.w = std::max(90, TextWidth(w.label) + 24), b.h = 32; return;
    case WidgetKind::HBar: b.w = 240, b.h = 44; return;
    case WidgetKind::VBar: b.w = std::max(56, TextWidth(w.label) + 8), b.h = 200; return;
    default: break;
  }
  int width = 0, height = 0;
  for (Widget& child : w.children) {
    Measure(child, false);
    if (w.kind == WidgetKind::HGroup) {
      width += child.box.w + (width ? kGap : 0);
      height = std::max(height, child.box.h);
    } else {
      width = std::max(width, child.box.w);
      if (w.kind == WidgetKind::VGroup) height += child.box.h + (height ? kGap : 0);
      else height = std::max(height, child.box.h);
    }
  }
  if (w.kind == WidgetKind::TGroup) {
    int tabs = 0;
    for (const Widget& page : w.children) tabs += TabWidth(page);
    width = std::max(width, tabs);
    height += kTabHeight + kGap;
  }
  b.w = std::max(width, TextWidth(w.label)) + 2 * kPad;
  b.h = height + 2 * kPad + Caption(w, root);
}

bool Stretches(const Widget& child, WidgetKind across) {
  if (child.IsGroup()) return true;
  if (across == WidgetKind::HGroup) return child.kind == WidgetKind::VSlider || child.kind == WidgetKind::VBar;
  return child.kind == WidgetKind::HSlider || child.kind == WidgetKind::HBar ||
         child.kind == WidgetKind::NumEntry;
}

void Place(Widget& w, int x, int y, int width, int height, bool root) {
  w.box = {x, y, width, height};
  if (!w.IsGroup()) return;
  const int left = x + kPad, top = y + kPad + Caption(w, root);
  const int innerW = width - 2 * kPad, innerH = y + height - kPad - top;
  w.tabs.clear();
  if (w.kind == WidgetKind::TGroup) {
    int tx = left;
    for (const Widget& page : w.children) {
      w.tabs.push_back({tx, top, TabWidth(page), kTabHeight});
      tx += TabWidth(page);
    }
    const int pageTop = top + kTabHeight + kGap;
    for (Widget& page : w.children) Place(page, left, pageTop, innerW, y + height - kPad - pageTop, false);
    w.shownTab = std::clamp(w.shownTab, 0, std::max(static_cast<int>(w.children.size()) - 1, 0));
    return;
  }
  int at = w.kind == WidgetKind::HGroup ? left : top;
  for (Widget& child : w.children) {
    if (w.kind == WidgetKind::HGroup) {
      const int h = Stretches(child, w.kind) ? innerH : child.box.h;
      Place(child, at, top, child.box.w, h, false);
      at += child.box.w + kGap;
    } else {
      const int cw = Stretches(child, w.kind) ? innerW : child.box.w;
      Place(child, left, at, cw, child.box.h, false);
      at += child.box.h + kGap;
    }
  }
}

}  // namespace

void LayOut(Widget& root, int* width, int* height) {
  Measure(root, true);
  Place(root, 0, 0, root.box.w, root.box.h, true);
  *width = root.box.w;
  *height = root.box.h;
}

int TabAt(const Widget& group, int x, int y) {
  for (size_t i = 0; i < group.tabs.size(); ++i) {
    if (group.tabs[i].Holds(x, y)) return static_cast<int>(i);
  }
  return -1;
}

Widget* WidgetAt(Widget& w, int x, int y) {
  if (!w.box.Holds(x, y)) return nullptr;
  if (!w.IsGroup()) return &w;
  if (w.kind == WidgetKind::TGroup) {
    if (TabAt(w, x, y) >= 0) return &w;
    if (w.children.empty()) return nullptr;
    return WidgetAt(w.children[static_cast<size_t>(w.shownTab)], x, y);
  }
  for (Widget& child : w.children) {
    if (Widget* found = WidgetAt(child, x, y)) return found;
  }
  return nullptr;
}

double TrackPosition(const Widget& s, int x, int y) {
  if (s.kind == WidgetKind::VSlider) {
    const int top = s.box.y + kVerticalTrackInset, bottom = s.box.y + s.box.h - kVerticalTrackInset;
    return bottom > top ? std::clamp(double(bottom - y) / (bottom - top), 0.0, 1.0) : 0.0;
  }
  const int left = s.box.x + kTrackInset, right = s.box.x + s.box.w - kTrackInset;
  return right > left ? std::clamp(double(x - left) / (right - left), 0.0, 1.0) : 0.0;
}

}  // namespace faust_engine
