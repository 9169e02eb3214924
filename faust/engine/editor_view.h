// SPDX-License-Identifier: GPL-3.0-or-later
// The editor of a compiled effect: a VST 3 view for X11 built from the program's own
// interface, drawn with cairo on an X11 window of its own inside the host's. It draws and
// takes input only from the host's run loop, like every Linux view.
#pragma once

#include <X11/Xlib.h>
#include <cairo.h>

#include <string>
#include <vector>

#include "faust/engine/editor_draw.h"
#include "faust/engine/editor_model.h"
#include "plexar/vst3/com_object.h"
#include "plexar/vst3/view.h"

namespace faust_engine {

using namespace plexar::vst3;

/// The X11 window property that describes the laid-out widgets, one line each: indentation
/// for depth, the kind, the box ("x y w h") and the label. Other programs (and tests) read
/// the editor's structure from it.
inline constexpr char kWidgetsProperty[] = "TESSARY_WIDGETS";

class EditorView final
    : public ComObject<IPlugView, linux_ui::ITimerHandler, linux_ui::IEventHandler>,
      private WidgetValues {
 public:
  /// Meters are read and values compared this often: about 30 times a second.
  static constexpr uint64 kTimerMs = 33;

  explicit EditorView(EditorModel* model);

  tresult isPlatformTypeSupported(FIDString type) override;
  tresult attached(void* parent, FIDString type) override;
  tresult removed() override;
  tresult onWheel(float distance) override;
  tresult onKeyDown(char16, int16, int16) override { return kResultFalse; }
  tresult onKeyUp(char16, int16, int16) override { return kResultFalse; }
  tresult getSize(ViewRect* size) override;
  tresult onSize(ViewRect* newSize) override;
  tresult onFocus(TBool) override { return kResultOk; }
  tresult setFrame(IPlugFrame* frame) override;
  tresult canResize() override { return kResultFalse; }
  tresult checkSizeConstraint(ViewRect* rect) override;

  void onTimer() override;
  void onFDIsSet(int fd) override;

 private:
  ~EditorView() override;
  void Close();
  void Handle(const XEvent& event);
  void Press(int x, int y);
  void Drag(int x, int y);
  void Release();
  void Step(Widget& w, int direction);
  void SetPosition(Widget& w, double position);
  void Hover(int x, int y);
  void Redraw();
  void Describe();
  /// Every value and meter the drawing shows, to tell when it is out of date.
  std::vector<double> Snapshot();
  double Position(const Widget& w) override;
  std::string Text(const Widget& w) override;

  EditorModel* model_;
  Widget root_;
  int width_ = 0, height_ = 0;
  bool hasTooltips_ = false;
  IPlugFrame* frame_ = nullptr;
  linux_ui::IRunLoop* runLoop_ = nullptr;
  Display* display_ = nullptr;
  Window window_ = 0;
  cairo_surface_t* surface_ = nullptr;
  std::vector<double> shown_;
  Widget* held_ = nullptr;  // the control the pointer is moving, or the button held down
  int heldY_ = 0;
  double heldPosition_ = 0;
  const Widget* hovered_ = nullptr;
  int pointerX_ = -1, pointerY_ = -1;
};

}  // namespace faust_engine
