// SPDX-License-Identifier: GPL-3.0-or-later
// The compiled effects' editor as another X client sees it: its window inside the frame, the
// widgets it describes, its pixels, and a pointer driven through XTest.
#pragma once

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <cairo.h>

#include <sstream>
#include <string>
#include <vector>

namespace faust_testing {

struct ShownWidget {
  int depth = 0;
  std::string kind, label;
  int x = 0, y = 0, w = 0, h = 0;
  int CentreX() const { return x + w / 2; }
  int CentreY() const { return y + h / 2; }
};

class EditorWindow {
 public:
  EditorWindow() : display_(XOpenDisplay(nullptr)) {
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
  }
  ~EditorWindow() {
    if (display_) XCloseDisplay(display_);
  }
  EditorWindow(const EditorWindow&) = delete;
  EditorWindow& operator=(const EditorWindow&) = delete;

  /// The first editor window below `top` (the frame's child area; by default the whole
  /// screen), or 0.
  Window Find(Window top = 0) {
    if (!display_) return 0;
    if (!top) top = DefaultRootWindow(display_);
    Window root = 0, up = 0, *children = nullptr;
    unsigned count = 0;
    Window found = 0;
    if (XQueryTree(display_, top, &root, &up, &children, &count)) {
      for (unsigned i = 0; i < count && !found; ++i) {
        found = Property(children[i]).empty() ? Find(children[i]) : children[i];
      }
      if (children) XFree(children);
    }
    return found;
  }

  /// The widgets the editor describes, in its order.
  std::vector<ShownWidget> Widgets(Window window) {
    std::vector<ShownWidget> widgets;
    std::istringstream lines(Property(window));
    for (std::string line; std::getline(lines, line);) {
      ShownWidget w;
      const size_t text = line.find_first_not_of(' ');
      w.depth = static_cast<int>(text) / 2;
      std::istringstream fields(line.substr(text));
      fields >> w.kind >> w.x >> w.y >> w.w >> w.h;
      std::getline(fields >> std::ws, w.label);
      widgets.push_back(w);
    }
    return widgets;
  }

  /// The 0xRRGGBB colour at a point of `window`, or -1.
  long Pixel(Window window, int x, int y) {
    XImage* image = XGetImage(display_, window, x, y, 1, 1, AllPlanes, ZPixmap);
    if (!image) return -1;
    const long pixel = static_cast<long>(XGetPixel(image, 0, 0) & 0xFFFFFF);
    XDestroyImage(image);
    return pixel;
  }

  /// How many pixels of a rectangle of `window` are dark, as drawn text is.
  int DarkPixels(Window window, int x, int y, int w, int h) {
    XImage* image = XGetImage(display_, window, x, y, static_cast<unsigned>(w),
                              static_cast<unsigned>(h), AllPlanes, ZPixmap);
    if (!image) return 0;
    int dark = 0;
    for (int row = 0; row < h; ++row) {
      for (int column = 0; column < w; ++column) dark += (XGetPixel(image, column, row) & 0xFF) < 0x80;
    }
    XDestroyImage(image);
    return dark;
  }

  /// A press of the first button at a point of `window`, a move to `(toX, toY)` in steps,
  /// and the release, as a person's hand would make them.
  void Drag(Window window, int x, int y, int toX, int toY) {
    MoveTo(window, x, y);
    XTestFakeButtonEvent(display_, 1, True, CurrentTime);
    XSync(display_, False);
    for (int step = 1; step <= 4; ++step) {
      MoveTo(window, x + (toX - x) * step / 4, y + (toY - y) * step / 4);
    }
    XTestFakeButtonEvent(display_, 1, False, CurrentTime);
    XSync(display_, False);
  }
  void Press(Window window, int x, int y) {
    MoveTo(window, x, y);
    XTestFakeButtonEvent(display_, 1, True, CurrentTime);
    XSync(display_, False);
  }
  void Release() {
    XTestFakeButtonEvent(display_, 1, False, CurrentTime);
    XSync(display_, False);
  }
  void Hover(Window window, int x, int y) { MoveTo(window, x, y); }
  void Click(Window window, int x, int y) {
    Press(window, x, y);
    Release();
  }

  /// The window's pixels as a PNG file.
  bool SavePng(Window window, const std::string& file) {
    XWindowAttributes a{};
    if (!XGetWindowAttributes(display_, window, &a)) return false;
    XImage* image = XGetImage(display_, window, 0, 0, static_cast<unsigned>(a.width),
                              static_cast<unsigned>(a.height), AllPlanes, ZPixmap);
    if (!image) return false;
    cairo_surface_t* png = cairo_image_surface_create(CAIRO_FORMAT_RGB24, a.width, a.height);
    auto* row = cairo_image_surface_get_data(png);
    const int stride = cairo_image_surface_get_stride(png);
    for (int y = 0; y < a.height; ++y) {
      auto* pixels = reinterpret_cast<uint32_t*>(row + y * stride);
      for (int x = 0; x < a.width; ++x) pixels[x] = static_cast<uint32_t>(XGetPixel(image, x, y) & 0xFFFFFF);
    }
    cairo_surface_mark_dirty(png);
    const bool written = cairo_surface_write_to_png(png, file.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(png);
    XDestroyImage(image);
    return written;
  }

  bool Open() const { return display_ != nullptr; }

 private:
  std::string Property(Window window) {
    const Atom property = XInternAtom(display_, "TESSARY_WIDGETS", False);
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, left = 0;
    unsigned char* data = nullptr;
    std::string text;
    if (XGetWindowProperty(display_, window, property, 0, 1 << 20, False, XA_STRING, &type, &format,
                           &count, &left, &data) == Success && data) {
      text.assign(reinterpret_cast<char*>(data), count);
    }
    if (data) XFree(data);
    return text;
  }
  void MoveTo(Window window, int x, int y) {
    int rootX = 0, rootY = 0;
    Window child = 0;
    XTranslateCoordinates(display_, window, DefaultRootWindow(display_), x, y, &rootX, &rootY, &child);
    XTestFakeMotionEvent(display_, -1, rootX, rootY, CurrentTime);
    XSync(display_, False);
  }

  Display* display_;
};

}  // namespace faust_testing
