// SPDX-License-Identifier: GPL-3.0-or-later
// One editor frame: a GTK window with the menu bar and a native child area whose X11 window
// holds the plug-in's own view. UI thread only.
#pragma once

#include <gtk/gtk.h>

#include <cstdint>
#include <map>
#include <vector>

#include "plexar/automation.h"
#include "plexar/editor/plugin_view.h"

namespace plexar::editor {

class Frame {
 public:
  /// Null when the plug-in has no view for X11; otherwise the frame is shown with the view in
  /// it and laid out.
  static Frame* Open(PluginView* view, HWND owner);

  /// Detaches the view and destroys the window; deletes the frame.
  void Close();
  void Present();
  /// Sizes the child area to the view and the window around it.
  void Layout();
  /// Brings the check marks of programs, units and the switches up to date.
  void SyncChecks();
  void SetTopMost(bool on);
  bool TopMost() const { return topMost_; }
  void SetCheckedProgram(int index) { checkedProgram_ = index; }

  HWND Window() const;
  unsigned long ChildWindow() const { return child_; }
  VST* Object() const { return view_->Object(); }
  GtkWidget* Widget() const { return window_; }
  /// The menu item of a command, or null.
  GtkWidget* MenuItem(uint32_t command) const;

 private:
  explicit Frame(PluginView* view) : view_(view) {}
  ~Frame() = default;
  void BuildMenu(GtkWidget* bar);
  GtkWidget* AddItem(GtkWidget* menu, const char* label, uint32_t command, bool check);
  void SetChecked(uint32_t command, bool on);
  void StartIdle();
  static void OnActivate(GtkMenuItem* item, gpointer frame);
  static gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer frame);
  static gboolean OnIdle(gpointer frame);
  static gboolean OnDraw(GtkWidget* widget, cairo_t* cr, gpointer);

  PluginView* view_;
  GtkWidget* window_ = nullptr;
  GtkWidget* area_ = nullptr;
  unsigned long child_ = 0;
  guint idleTimer_ = 0;
  bool topMost_ = false;
  bool syncing_ = false;
  bool laying_ = false;
  int checkedProgram_ = -1;
  std::map<uint32_t, GtkWidget*> items_;
};

}  // namespace plexar::editor
