// SPDX-License-Identifier: GPL-3.0-or-later
// The drawing of the test plug-ins' editors: an X11 window of their own inside the host's
// window, on their own display connection, filled with one colour.
#pragma once

#include <X11/Xlib.h>

namespace plexar::testplug {

class X11Panel {
 public:
  bool Open(unsigned long parent, int width, int height) {
    display_ = XOpenDisplay(nullptr);
    if (!display_) return false;
    window_ = XCreateSimpleWindow(display_, parent, 0, 0, static_cast<unsigned>(width),
                                  static_cast<unsigned>(height), 0, 0, BlackPixel(display_, DefaultScreen(display_)));
    XSelectInput(display_, window_, ExposureMask);
    XMapWindow(display_, window_);
    XFlush(display_);
    return true;
  }
  /// Fills the window with an 0xRRGGBB colour (a TrueColor visual is assumed, as Xvfb has).
  void Fill(unsigned long rgb) {
    if (!display_) return;
    GC gc = XCreateGC(display_, window_, 0, nullptr);
    XSetForeground(display_, gc, rgb);
    XFillRectangle(display_, window_, gc, 0, 0, 4096, 4096);
    XFreeGC(display_, gc);
    XFlush(display_);
  }
  void Resize(int width, int height) {
    if (!display_) return;
    XResizeWindow(display_, window_, static_cast<unsigned>(width), static_cast<unsigned>(height));
    XFlush(display_);
  }
  /// Reads and drops pending events (the host's run loop calls this when the fd is readable).
  void Drain() {
    while (display_ && XPending(display_)) {
      XEvent event;
      XNextEvent(display_, &event);
    }
  }
  int Fd() const { return display_ ? ConnectionNumber(display_) : -1; }
  void Close() {
    if (!display_) return;
    XDestroyWindow(display_, window_);
    XCloseDisplay(display_);
    display_ = nullptr;
  }
  bool IsOpen() const { return display_ != nullptr; }

 private:
  Display* display_ = nullptr;
  Window window_ = 0;
};

}  // namespace plexar::testplug
