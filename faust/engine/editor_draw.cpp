// SPDX-License-Identifier: GPL-3.0-or-later
#include "faust/engine/editor_draw.h"

#include <algorithm>
#include <cmath>

#include "faust/engine/ui_layout.h"

namespace faust_engine {

using namespace layout;

namespace {

struct Colour {
  double r, g, b;
};
constexpr Colour kBackground{0.93, 0.94, 0.95}, kPanel{0.89, 0.90, 0.92}, kLine{0.66, 0.70, 0.74},
    kText{0.15, 0.18, 0.21}, kTrack{0.78, 0.81, 0.84}, kAccent{0.12, 0.47, 0.85},
    kMeter{0.16, 0.66, 0.36}, kWhite{1, 1, 1};

void Set(cairo_t* cr, Colour c) { cairo_set_source_rgb(cr, c.r, c.g, c.b); }

void RoundRect(cairo_t* cr, double x, double y, double w, double h, double r) {
  r = std::min({r, w / 2, h / 2});
  cairo_new_sub_path(cr);
  cairo_arc(cr, x + w - r, y + r, r, -M_PI / 2, 0);
  cairo_arc(cr, x + w - r, y + h - r, r, 0, M_PI / 2);
  cairo_arc(cr, x + r, y + h - r, r, M_PI / 2, M_PI);
  cairo_arc(cr, x + r, y + r, r, M_PI, 3 * M_PI / 2);
  cairo_close_path(cr);
}

enum class Align { Left, Centre, Right };

// Text with its baseline at y; cut short with an ellipsis to fit `room` pixels.
void Text(cairo_t* cr, const std::string& text, double x, double y, double room, Align align,
          Colour colour = kText) {
  std::string shown = text;
  cairo_text_extents_t e;
  cairo_text_extents(cr, shown.c_str(), &e);
  while (e.x_advance > room && shown.size() > 1) {
    shown.erase(shown.size() - (shown.size() > 3 && shown.compare(shown.size() - 3, 3, "...") == 0 ? 4 : 1));
    shown += "...";
    cairo_text_extents(cr, shown.c_str(), &e);
    if (shown == "...") break;
  }
  double at = x;
  if (align == Align::Centre) at = x + (room - e.x_advance) / 2;
  if (align == Align::Right) at = x + room - e.x_advance;
  Set(cr, colour);
  cairo_move_to(cr, at, y);
  cairo_show_text(cr, shown.c_str());
  cairo_new_path(cr);  // the text leaves a current point the next arc would join
}

void HorizontalTrack(cairo_t* cr, const Rect& b, double y, double position, Colour fill) {
  const double left = b.x + kTrackInset, width = b.w - 2 * kTrackInset;
  RoundRect(cr, left, y - 3, width, 6, 3);
  Set(cr, kTrack);
  cairo_fill(cr);
  RoundRect(cr, left, y - 3, width * position, 6, 3);
  Set(cr, fill);
  cairo_fill(cr);
}

void VerticalTrack(cairo_t* cr, const Rect& b, double x, double position, Colour fill) {
  const double top = b.y + kVerticalTrackInset, height = b.h - 2 * kVerticalTrackInset;
  RoundRect(cr, x - 3, top, 6, height, 3);
  Set(cr, kTrack);
  cairo_fill(cr);
  RoundRect(cr, x - 3, top + height * (1 - position), 6, height * position, 3);
  Set(cr, fill);
  cairo_fill(cr);
}

void Thumb(cairo_t* cr, double x, double y) {
  cairo_arc(cr, x, y, 7, 0, 2 * M_PI);
  Set(cr, kWhite);
  cairo_fill_preserve(cr);
  Set(cr, kAccent);
  cairo_set_line_width(cr, 2);
  cairo_stroke(cr);
}

void Knob(cairo_t* cr, const Widget& w, double position) {
  const Rect& b = w.box;
  const double cx = b.x + b.w / 2.0, cy = b.y + 52, r = 26;
  const double start = 0.75 * M_PI, sweep = 1.5 * M_PI;
  cairo_set_line_width(cr, 5);
  Set(cr, kTrack);
  cairo_arc(cr, cx, cy, r, start, start + sweep);
  cairo_stroke(cr);
  Set(cr, kAccent);
  cairo_arc(cr, cx, cy, r, start, start + sweep * position);
  cairo_stroke(cr);
  const double angle = start + sweep * position;
  cairo_set_line_width(cr, 3);
  cairo_move_to(cr, cx + 8 * std::cos(angle), cy + 8 * std::sin(angle));
  cairo_line_to(cr, cx + (r - 6) * std::cos(angle), cy + (r - 6) * std::sin(angle));
  Set(cr, kText);
  cairo_stroke(cr);
}

void NumEntry(cairo_t* cr, const Widget& w, const std::string& text) {
  const Rect& b = w.box;
  const double top = b.y + 20, height = 26;
  RoundRect(cr, b.x + 0.5, top + 0.5, b.w - 1, height, 4);
  Set(cr, kWhite);
  cairo_fill_preserve(cr);
  Set(cr, kLine);
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
  Text(cr, "-", b.x, top + 18, kEntryButton, Align::Centre, kAccent);
  Text(cr, "+", b.x + b.w - kEntryButton, top + 18, kEntryButton, Align::Centre, kAccent);
  Text(cr, text, b.x + kEntryButton, top + 18, b.w - 2 * kEntryButton, Align::Centre);
}

void Control(cairo_t* cr, const Widget& w, WidgetValues& values) {
  const Rect& b = w.box;
  const double position = values.Position(w);
  switch (w.kind) {
    case WidgetKind::HSlider:
    case WidgetKind::HBar: {
      Text(cr, w.label, b.x + kTrackInset, b.y + 16, b.w / 2.0 - kTrackInset, Align::Left);
      Text(cr, values.Text(w), b.x + b.w / 2.0, b.y + 16, b.w / 2.0 - kTrackInset, Align::Right);
      const bool meter = w.kind == WidgetKind::HBar;
      HorizontalTrack(cr, b, b.y + 32, position, meter ? kMeter : kAccent);
      if (!meter) Thumb(cr, b.x + kTrackInset + (b.w - 2 * kTrackInset) * position, b.y + 32);
      return;
    }
    case WidgetKind::VSlider:
    case WidgetKind::VBar: {
      Text(cr, w.label, b.x, b.y + 16, b.w, Align::Centre);
      Text(cr, values.Text(w), b.x, b.y + b.h - 6, b.w, Align::Centre);
      const bool meter = w.kind == WidgetKind::VBar;
      const double x = b.x + b.w / 2.0;
      VerticalTrack(cr, b, x, position, meter ? kMeter : kAccent);
      if (!meter) Thumb(cr, x, b.y + b.h - kVerticalTrackInset - (b.h - 2 * kVerticalTrackInset) * position);
      return;
    }
    case WidgetKind::Knob:
      Text(cr, w.label, b.x, b.y + 16, b.w, Align::Centre);
      Knob(cr, w, position);
      Text(cr, values.Text(w), b.x, b.y + b.h - 6, b.w, Align::Centre);
      return;
    case WidgetKind::NumEntry:
      Text(cr, w.label, b.x, b.y + 14, b.w, Align::Left);
      NumEntry(cr, w, values.Text(w));
      return;
    case WidgetKind::CheckBox: {
      const double top = b.y + (b.h - 16) / 2.0;
      RoundRect(cr, b.x + 2.5, top + 0.5, 16, 16, 3);
      Set(cr, position >= 0.5 ? kAccent : kWhite);
      cairo_fill_preserve(cr);
      Set(cr, position >= 0.5 ? kAccent : kLine);
      cairo_set_line_width(cr, 1);
      cairo_stroke(cr);
      if (position >= 0.5) {
        Set(cr, kWhite);
        cairo_set_line_width(cr, 2);
        cairo_move_to(cr, b.x + 6, top + 9);
        cairo_line_to(cr, b.x + 9.5, top + 12.5);
        cairo_line_to(cr, b.x + 15, top + 5);
        cairo_stroke(cr);
      }
      Text(cr, w.label, b.x + 26, top + 13, b.w - 26, Align::Left);
      return;
    }
    case WidgetKind::Button: {
      const bool down = position >= 0.5;
      RoundRect(cr, b.x + 0.5, b.y + 0.5, b.w - 1, b.h - 1, 5);
      Set(cr, down ? kAccent : kWhite);
      cairo_fill_preserve(cr);
      Set(cr, down ? kAccent : kLine);
      cairo_set_line_width(cr, 1);
      cairo_stroke(cr);
      Text(cr, w.label, b.x + 4, b.y + b.h / 2.0 + 4, b.w - 8, Align::Centre, down ? kWhite : kText);
      return;
    }
    default: return;
  }
}

void Tree(cairo_t* cr, const Widget& w, WidgetValues& values, bool root) {
  if (!w.IsGroup()) return Control(cr, w, values);
  const Rect& b = w.box;
  if (!root) {
    RoundRect(cr, b.x + 0.5, b.y + 0.5, b.w - 1, b.h - 1, 6);
    Set(cr, kPanel);
    cairo_fill_preserve(cr);
    Set(cr, kLine);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
    if (!w.label.empty()) Text(cr, w.label, b.x + kPad, b.y + kPad + 11, b.w - 2 * kPad, Align::Left);
  }
  if (w.kind != WidgetKind::TGroup) {
    for (const Widget& child : w.children) Tree(cr, child, values, false);
    return;
  }
  for (size_t i = 0; i < w.tabs.size(); ++i) {
    const Rect& t = w.tabs[i];
    const bool shown = static_cast<int>(i) == w.shownTab;
    RoundRect(cr, t.x + 0.5, t.y + 0.5, t.w - 1, t.h, 5);
    Set(cr, shown ? kAccent : kBackground);
    cairo_fill_preserve(cr);
    Set(cr, shown ? kAccent : kLine);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
    Text(cr, w.children[i].label, t.x, t.y + 17, t.w, Align::Centre, shown ? kWhite : kText);
  }
  if (!w.children.empty()) Tree(cr, w.children[static_cast<size_t>(w.shownTab)], values, false);
}

}  // namespace

void DrawEditor(cairo_t* cr, const Widget& root, WidgetValues& values, int width, int height,
                const std::string& status) {
  cairo_push_group(cr);
  Set(cr, kBackground);
  cairo_paint(cr);
  cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, 12);
  Tree(cr, root, values, true);
  if (root.children.empty()) Text(cr, "This effect has no controls.", kPad, 24, width - 2 * kPad, Align::Left);
  if (height - root.box.h >= kStatusHeight) {
    Text(cr, status, kPad, height - 7, width - 2 * kPad, Align::Left);
  }
  cairo_pop_group_to_source(cr);
  cairo_paint(cr);
}

}  // namespace faust_engine
