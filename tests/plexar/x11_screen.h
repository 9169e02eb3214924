// SPDX-License-Identifier: GPL-3.0-or-later
// Reading back what is on the test X server: pixels and sizes of windows, with Xlib.
#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <set>

namespace plexar::testing {

class X11Screen {
 public:
  X11Screen() {
    // A window that went away answers BadWindow; the reads below report that as failure.
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    display_ = XOpenDisplay(nullptr);
  }
  ~X11Screen() {
    if (display_) XCloseDisplay(display_);
  }
  X11Screen(const X11Screen&) = delete;
  X11Screen& operator=(const X11Screen&) = delete;

  bool Open() const { return display_ != nullptr; }

  /// The 0xRRGGBB colour at (x, y) of `window`, or -1.
  long Pixel(unsigned long window, int x, int y) {
    XImage* image = XGetImage(display_, window, x, y, 1, 1, AllPlanes, ZPixmap);
    if (!image) return -1;
    const long pixel = static_cast<long>(XGetPixel(image, 0, 0) & 0xFFFFFF);
    XDestroyImage(image);
    return pixel;
  }

  /// How many different colours `window` shows; 0 when it cannot be read.
  size_t Colours(unsigned long window) {
    int width = 0, height = 0;
    if (!Size(window, &width, &height)) return 0;
    XImage* image = XGetImage(display_, window, 0, 0, static_cast<unsigned>(width),
                              static_cast<unsigned>(height), AllPlanes, ZPixmap);
    if (!image) return 0;
    std::set<unsigned long> seen;
    for (int y = 0; y < height; y += 2) {
      for (int x = 0; x < width; x += 2) seen.insert(XGetPixel(image, x, y) & 0xFFFFFF);
    }
    XDestroyImage(image);
    return seen.size();
  }

  bool Size(unsigned long window, int* width, int* height) {
    XWindowAttributes attributes{};
    XSync(display_, False);
    if (!XGetWindowAttributes(display_, window, &attributes)) return false;
    *width = attributes.width;
    *height = attributes.height;
    return true;
  }

  bool Exists(unsigned long window) {
    int width = 0, height = 0;
    return Size(window, &width, &height);
  }

 private:
  Display* display_ = nullptr;
};

}  // namespace plexar::testing
