// SPDX-License-Identifier: GPL-3.0-or-later
// Linux::IRunLoop on the GLib main loop of the UI thread: VST 3 views on Linux hand their
// X connection's file descriptor and their timers to the host and draw only from those calls.
#pragma once

#include <mutex>
#include <vector>

#include "plexar/vst3/com_object.h"
#include "plexar/vst3/view.h"

namespace plexar::editor {

class RunLoop final : public vst3::ComObject<vst3::linux_ui::IRunLoop> {
 public:
  using IEventHandler = vst3::linux_ui::IEventHandler;
  using ITimerHandler = vst3::linux_ui::ITimerHandler;

  vst3::tresult registerEventHandler(IEventHandler* handler, int fd) override;
  vst3::tresult unregisterEventHandler(IEventHandler* handler) override;
  vst3::tresult registerTimer(ITimerHandler* handler, vst3::uint64 milliseconds) override;
  vst3::tresult unregisterTimer(ITimerHandler* handler) override;
  /// Removes every handler still registered (the view is gone; its module may go next).
  void Clear();

 private:
  ~RunLoop() override { Clear(); }
  struct Source {
    unsigned id;
    vst3::FUnknown* handler;
  };
  void Remove(vst3::FUnknown* handler);
  std::mutex mutex_;
  std::vector<Source> sources_;
};

}  // namespace plexar::editor
