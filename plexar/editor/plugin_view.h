// SPDX-License-Identifier: GPL-3.0-or-later
// What the editor frame needs from a plug-in format to show the plug-in's own view. Every
// call comes on the UI thread.
#pragma once

namespace plexar {
class VST;
}

namespace plexar::editor {

class PluginView {
 public:
  /// Gets the view ready before any window exists; false when the plug-in has none for X11.
  virtual bool PrepareView() = 0;
  /// Hands the native child window (an X11 window id) to the plug-in.
  virtual bool AttachView(unsigned long window) = 0;
  /// The view's size in pixels; false when the plug-in does not say.
  virtual bool ViewSize(int* width, int* height) = 0;
  /// After the frame was laid out around the view.
  virtual void ViewPlaced(int width, int height) = 0;
  /// Milliseconds between `IdleView` calls; 0 for none.
  virtual int IdleInterval() = 0;
  virtual void IdleView() = 0;
  /// The frame is closing: tell the sinks, detach and release the view, mark it closed.
  virtual void DetachView() = 0;
  virtual VST* Object() = 0;
  /// Offers a menu command to the plug-in first; true when it took it.
  virtual bool TakeCommand(unsigned command) { (void)command; return false; }

 protected:
  ~PluginView() = default;
};

}  // namespace plexar::editor
