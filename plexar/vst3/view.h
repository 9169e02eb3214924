// SPDX-License-Identifier: GPL-3.0-or-later
// VST 3 binary interface: the plug-in view, its frame and context menus.
#pragma once

#include "plexar/vst3/base.h"

namespace plexar::vst3 {

struct ViewRect {
  int32 left;
  int32 top;
  int32 right;
  int32 bottom;
};

class IPlugFrame;

class IPlugView : public FUnknown {
 public:
  static constexpr Uid iid = MakeUid(0x5BC32507, 0xD06049EA, 0xA6151B52, 0x2B755B29);
  virtual tresult isPlatformTypeSupported(FIDString type) = 0;
  virtual tresult attached(void* parent, FIDString type) = 0;
  virtual tresult removed() = 0;
  virtual tresult onWheel(float distance) = 0;
  virtual tresult onKeyDown(char16 key, int16 keyCode, int16 modifiers) = 0;
  virtual tresult onKeyUp(char16 key, int16 keyCode, int16 modifiers) = 0;
  virtual tresult getSize(ViewRect* size) = 0;
  virtual tresult onSize(ViewRect* newSize) = 0;
  virtual tresult onFocus(TBool state) = 0;
  virtual tresult setFrame(IPlugFrame* frame) = 0;
  virtual tresult canResize() = 0;
  virtual tresult checkSizeConstraint(ViewRect* rect) = 0;
};

class IPlugFrame : public FUnknown {
 public:
  static constexpr Uid iid = MakeUid(0x367FAF01, 0xAFA94693, 0x8D4DA2A0, 0xED0882A3);
  virtual tresult resizeView(IPlugView* view, ViewRect* newSize) = 0;
};

struct IContextMenuItem {
  enum Flags : int32 { kIsSeparator = 1, kIsDisabled = 2, kIsChecked = 4, kIsGroupStart = 0xA,
                       kIsGroupEnd = 0x11 };
  char16 name[128];
  int32 tag;
  int32 flags;
};

class IContextMenuTarget : public FUnknown {
 public:
  static constexpr Uid iid = MakeUid(0x3CDF2E75, 0x85D34144, 0xBF86D36B, 0xD7C4894D);
  virtual tresult executeMenuItem(int32 tag) = 0;
};

class IContextMenu : public FUnknown {
 public:
  static constexpr Uid iid = MakeUid(0x2E93C863, 0x0C9C4588, 0x97DBECF5, 0xAD17817D);
  using Item = IContextMenuItem;
  virtual int32 getItemCount() = 0;
  virtual tresult getItem(int32 index, Item& item, IContextMenuTarget** target) = 0;
  virtual tresult addItem(const Item& item, IContextMenuTarget* target) = 0;
  virtual tresult removeItem(const Item& item, IContextMenuTarget* target) = 0;
  virtual tresult popup(int32 x, int32 y) = 0;
};

namespace linux_ui {

using FileDescriptor = int;
using TimerInterval = uint64;

class IEventHandler : public FUnknown {
 public:
  static constexpr Uid iid = MakeUid(0x561E65C9, 0x13A0496F, 0x813A2C35, 0x654D7983);
  virtual void onFDIsSet(FileDescriptor fd) = 0;
};

class ITimerHandler : public FUnknown {
 public:
  static constexpr Uid iid = MakeUid(0x10BDD94F, 0x41424774, 0x821FAD8F, 0xECA72CA9);
  virtual void onTimer() = 0;
};

/// Offered by the host through the plug frame: Linux has no common UI loop, so views hand
/// their file descriptors and timers to the host's.
class IRunLoop : public FUnknown {
 public:
  static constexpr Uid iid = MakeUid(0x18C35366, 0x97764F1A, 0x9C5B8385, 0x7A871389);
  virtual tresult registerEventHandler(IEventHandler* handler, FileDescriptor fd) = 0;
  virtual tresult unregisterEventHandler(IEventHandler* handler) = 0;
  virtual tresult registerTimer(ITimerHandler* handler, TimerInterval milliseconds) = 0;
  virtual tresult unregisterTimer(ITimerHandler* handler) = 0;
};

}  // namespace linux_ui

static_assert(sizeof(ViewRect) == 16);
static_assert(sizeof(IContextMenuItem) == 264 && offsetof(IContextMenuItem, tag) == 256 &&
              offsetof(IContextMenuItem, flags) == 260);

}  // namespace plexar::vst3
