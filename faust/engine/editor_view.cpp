// SPDX-License-Identifier: GPL-3.0-or-later
#include "faust/engine/editor_view.h"

#include <X11/Xatom.h>
#include <cairo-xlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>

#include "faust/engine/ui_layout.h"

namespace faust_engine {

namespace {

constexpr int kSmallestWidth = 240, kSmallestHeight = 40;
constexpr long kEvents = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                         LeaveWindowMask | StructureNotifyMask;

bool HasTooltips(const Widget& w) {
  if (!w.tooltip.empty()) return true;
  return std::any_of(w.children.begin(), w.children.end(), HasTooltips);
}

void ForEach(Widget& w, const std::function<void(Widget&)>& visit) {
  visit(w);
  for (Widget& child : w.children) ForEach(child, visit);
}

void DescribeInto(const Widget& w, int depth, std::string& out) {
  char box[64];
  std::snprintf(box, sizeof box, " %d %d %d %d ", w.box.x, w.box.y, w.box.w, w.box.h);
  out += std::string(static_cast<size_t>(depth) * 2, ' ') + KindName(w.kind) + box + w.label + "\n";
  for (const Widget& child : w.children) DescribeInto(child, depth + 1, out);
}

}  // namespace

EditorView::EditorView(EditorModel* model) : model_(model), root_(model->Interface().root) {
  model_->Hold();
  LayOut(root_, &width_, &height_);
  // Room for the line that says a program has no controls.
  width_ = std::max(width_, kSmallestWidth);
  height_ = std::max(height_, kSmallestHeight);
  hasTooltips_ = HasTooltips(root_);
  if (hasTooltips_) height_ += layout::kStatusHeight;
}

EditorView::~EditorView() {
  Close();
  model_->LetGo();
}

tresult EditorView::isPlatformTypeSupported(FIDString type) {
  return type && std::strcmp(type, kPlatformTypeX11EmbedWindowID) == 0 ? kResultTrue : kResultFalse;
}

tresult EditorView::attached(void* parent, FIDString type) {
  if (isPlatformTypeSupported(type) != kResultTrue || !parent || display_) return kResultFalse;
  // A connection of its own: the host's toolkit keeps its own, and the two never mix.
  display_ = XOpenDisplay(nullptr);
  if (!display_) return kResultFalse;
  const int screen = DefaultScreen(display_);
  window_ = XCreateSimpleWindow(display_, reinterpret_cast<Window>(parent), 0, 0,
                                static_cast<unsigned>(width_), static_cast<unsigned>(height_), 0, 0,
                                WhitePixel(display_, screen));
  XStoreName(display_, window_, root_.label.c_str());
  XSelectInput(display_, window_, kEvents);
  surface_ = cairo_xlib_surface_create(display_, window_, DefaultVisual(display_, screen), width_, height_);
  Describe();
  XMapWindow(display_, window_);
  XFlush(display_);
  void* loop = nullptr;
  if (frame_ && frame_->queryInterface(linux_ui::IRunLoop::iid.data(), &loop) == kResultOk && loop) {
    runLoop_ = static_cast<linux_ui::IRunLoop*>(loop);
    runLoop_->registerEventHandler(this, ConnectionNumber(display_));
    runLoop_->registerTimer(this, kTimerMs);
  }
  return kResultOk;
}

tresult EditorView::removed() {
  Close();
  return kResultOk;
}

void EditorView::Close() {
  if (runLoop_) {
    runLoop_->unregisterTimer(this);
    runLoop_->unregisterEventHandler(this);
    runLoop_->release();
    runLoop_ = nullptr;
  }
  if (held_ && held_->param >= 0) model_->EndEdit(held_->param);
  held_ = nullptr;
  hovered_ = nullptr;
  if (surface_) cairo_surface_destroy(surface_);
  surface_ = nullptr;
  if (display_) {
    XDestroyWindow(display_, window_);
    XCloseDisplay(display_);
  }
  display_ = nullptr;
  window_ = 0;
  shown_.clear();
}

tresult EditorView::getSize(ViewRect* size) {
  if (!size) return kInvalidArgument;
  *size = {0, 0, width_, height_};
  return kResultOk;
}

// The layout has one size; a host that gives more room gets the editor in its corner.
tresult EditorView::onSize(ViewRect* size) {
  if (!size) return kInvalidArgument;
  return kResultOk;
}

tresult EditorView::checkSizeConstraint(ViewRect* rect) {
  if (!rect) return kInvalidArgument;
  rect->right = rect->left + width_;
  rect->bottom = rect->top + height_;
  return kResultOk;
}

tresult EditorView::setFrame(IPlugFrame* frame) {
  frame_ = frame;
  return kResultOk;
}

tresult EditorView::onWheel(float distance) {
  Widget* w = pointerX_ >= 0 ? WidgetAt(root_, pointerX_, pointerY_) : nullptr;
  if (!w || distance == 0) return kResultFalse;
  Step(*w, distance > 0 ? 1 : -1);
  return kResultOk;
}

void EditorView::onTimer() {
  if (display_ && Snapshot() != shown_) Redraw();
}

void EditorView::onFDIsSet(int) {
  while (display_ && XPending(display_) > 0) {
    XEvent event;
    XNextEvent(display_, &event);
    Handle(event);
  }
}

void EditorView::Handle(const XEvent& event) {
  switch (event.type) {
    case Expose:
      if (event.xexpose.count == 0) Redraw();
      return;
    case ButtonPress:
      pointerX_ = event.xbutton.x, pointerY_ = event.xbutton.y;
      if (event.xbutton.button == Button1) return Press(event.xbutton.x, event.xbutton.y);
      if (event.xbutton.button == Button4 || event.xbutton.button == Button5) {
        if (Widget* w = WidgetAt(root_, event.xbutton.x, event.xbutton.y)) {
          Step(*w, event.xbutton.button == Button4 ? 1 : -1);
        }
      }
      return;
    case ButtonRelease:
      if (event.xbutton.button == Button1) Release();
      return;
    case MotionNotify:
      pointerX_ = event.xmotion.x, pointerY_ = event.xmotion.y;
      if (held_) return Drag(event.xmotion.x, event.xmotion.y);
      return Hover(event.xmotion.x, event.xmotion.y);
    case LeaveNotify:
      if (!held_) Hover(-1, -1);
      return;
    default: return;
  }
}

void EditorView::Press(int x, int y) {
  Widget* w = WidgetAt(root_, x, y);
  if (!w) return;
  if (w->kind == WidgetKind::TGroup) {
    if (int tab = TabAt(*w, x, y); tab >= 0 && tab != w->shownTab) {
      w->shownTab = tab;
      Redraw();
    }
    return;
  }
  if (w->param < 0) return;  // meters only show
  switch (w->kind) {
    case WidgetKind::HSlider:
    case WidgetKind::VSlider:
      model_->BeginEdit(w->param);
      held_ = w;
      SetPosition(*w, TrackPosition(*w, x, y));
      return;
    case WidgetKind::NumEntry:
      if (x < w->box.x + layout::kEntryButton) return Step(*w, -1);
      if (x >= w->box.x + w->box.w - layout::kEntryButton) return Step(*w, 1);
      [[fallthrough]];
    case WidgetKind::Knob:
      model_->BeginEdit(w->param);
      held_ = w, heldY_ = y, heldPosition_ = Position(*w);
      return;
    case WidgetKind::CheckBox:
      model_->BeginEdit(w->param);
      model_->Edit(w->param, model_->ControlValue(w->param) >= 0.5 ? 0.0 : 1.0);
      model_->EndEdit(w->param);
      Redraw();
      return;
    case WidgetKind::Button:
      // Held while pressed, as the program's button means.
      model_->BeginEdit(w->param);
      model_->Edit(w->param, 1.0);
      held_ = w;
      Redraw();
      return;
    default: return;
  }
}

void EditorView::Drag(int x, int y) {
  if (!held_ || held_->kind == WidgetKind::Button) return;
  if (held_->kind == WidgetKind::HSlider || held_->kind == WidgetKind::VSlider) {
    return SetPosition(*held_, TrackPosition(*held_, x, y));
  }
  SetPosition(*held_, heldPosition_ + double(heldY_ - y) / layout::kKnobTravel);
}

void EditorView::Release() {
  if (!held_) return;
  Widget* w = held_;
  held_ = nullptr;
  if (w->kind == WidgetKind::Button) model_->Edit(w->param, 0.0);
  model_->EndEdit(w->param);
  Redraw();
}

// One step of the control's own, or a hundredth of its travel when it has none.
void EditorView::Step(Widget& w, int direction) {
  if (w.param < 0 || w.kind == WidgetKind::CheckBox || w.kind == WidgetKind::Button) return;
  const double plain = model_->ToPlain(w.param, model_->ControlValue(w.param));
  double position = w.Position(plain) + direction * 0.01;
  if (w.step > 0 && !w.log) position = w.Position(plain + direction * w.step);
  model_->BeginEdit(w.param);
  SetPosition(w, position);
  model_->EndEdit(w.param);
}

void EditorView::SetPosition(Widget& w, double position) {
  double plain = w.Plain(std::clamp(position, 0.0, 1.0));
  if (w.step > 0) plain = std::clamp(w.min + std::round((plain - w.min) / w.step) * w.step, w.min, w.max);
  model_->Edit(w.param, model_->ToNormalized(w.param, plain));
  Redraw();
}

void EditorView::Hover(int x, int y) {
  const Widget* w = x >= 0 ? WidgetAt(root_, x, y) : nullptr;
  if (w == hovered_) return;
  hovered_ = w;
  if (hasTooltips_) Redraw();
}

void EditorView::Redraw() {
  if (!surface_) return;
  shown_ = Snapshot();
  cairo_t* cr = cairo_create(surface_);
  DrawEditor(cr, root_, *this, width_, height_, hovered_ ? hovered_->tooltip : std::string());
  cairo_destroy(cr);
  cairo_surface_flush(surface_);
  XFlush(display_);
}

void EditorView::Describe() {
  std::string text;
  DescribeInto(root_, 0, text);
  const Atom property = XInternAtom(display_, kWidgetsProperty, False);
  XChangeProperty(display_, window_, property, XA_STRING, 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
}

std::vector<double> EditorView::Snapshot() {
  std::vector<double> values;
  ForEach(root_, [&](Widget& w) {
    if (w.param >= 0) values.push_back(model_->ControlValue(w.param));
    if (w.meter >= 0) values.push_back(model_->MeterValue(w.meter));
    if (w.kind == WidgetKind::TGroup) values.push_back(w.shownTab);
  });
  return values;
}

double EditorView::Position(const Widget& w) {
  if (w.meter >= 0) return w.Position(model_->MeterValue(w.meter));
  if (w.param < 0) return 0;
  const double value = model_->ControlValue(w.param);
  if (w.kind == WidgetKind::CheckBox || w.kind == WidgetKind::Button) return value;
  return w.Position(model_->ToPlain(w.param, value));
}

std::string EditorView::Text(const Widget& w) {
  if (w.param >= 0) return model_->ControlText(w.param, model_->ControlValue(w.param));
  char text[64];
  std::snprintf(text, sizeof text, "%.2f", w.meter >= 0 ? model_->MeterValue(w.meter) : 0.0);
  return w.unit.empty() ? text : text + (" " + w.unit);
}

IPlugView* NewEditorView(EditorModel* model) { return new EditorView(model); }

}  // namespace faust_engine
