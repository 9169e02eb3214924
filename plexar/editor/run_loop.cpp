// SPDX-License-Identifier: GPL-3.0-or-later
#include "plexar/editor/run_loop.h"

#include <glib-unix.h>
#include <glib.h>

#include <algorithm>

namespace plexar::editor {
namespace {

using vst3::kInvalidArgument;
using vst3::kResultOk;

// Each GLib source holds a reference to its handler until the source is destroyed, so a
// handler that unregisters itself inside its own call stays alive until the call returns.
struct Call {
  vst3::FUnknown* handler;
  int fd;
};

void DropCall(gpointer data) {
  auto* call = static_cast<Call*>(data);
  call->handler->release();
  delete call;
}

gboolean OnFd(gint fd, GIOCondition, gpointer data) {
  static_cast<RunLoop::IEventHandler*>(static_cast<Call*>(data)->handler)->onFDIsSet(fd);
  return G_SOURCE_CONTINUE;
}

gboolean OnTimer(gpointer data) {
  static_cast<RunLoop::ITimerHandler*>(static_cast<Call*>(data)->handler)->onTimer();
  return G_SOURCE_CONTINUE;
}

}  // namespace

vst3::tresult RunLoop::registerEventHandler(IEventHandler* handler, int fd) {
  if (!handler || fd < 0) return kInvalidArgument;
  handler->addRef();
  const unsigned id = g_unix_fd_add_full(G_PRIORITY_DEFAULT, fd,
                                         static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR),
                                         OnFd, new Call{handler, fd}, DropCall);
  std::lock_guard guard(mutex_);
  sources_.push_back({id, handler});
  return kResultOk;
}

vst3::tresult RunLoop::registerTimer(ITimerHandler* handler, vst3::uint64 milliseconds) {
  if (!handler) return kInvalidArgument;
  handler->addRef();
  const auto interval = static_cast<guint>(std::max<vst3::uint64>(1, std::min<vst3::uint64>(milliseconds, G_MAXUINT)));
  const unsigned id = g_timeout_add_full(G_PRIORITY_DEFAULT, interval, OnTimer,
                                         new Call{handler, -1}, DropCall);
  std::lock_guard guard(mutex_);
  sources_.push_back({id, handler});
  return kResultOk;
}

vst3::tresult RunLoop::unregisterEventHandler(IEventHandler* handler) {
  if (!handler) return kInvalidArgument;
  Remove(handler);
  return kResultOk;
}

vst3::tresult RunLoop::unregisterTimer(ITimerHandler* handler) {
  if (!handler) return kInvalidArgument;
  Remove(handler);
  return kResultOk;
}

void RunLoop::Remove(vst3::FUnknown* handler) {
  std::vector<unsigned> ids;
  {
    std::lock_guard guard(mutex_);
    for (auto it = sources_.begin(); it != sources_.end();) {
      if (it->handler == handler) {
        ids.push_back(it->id);
        it = sources_.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (unsigned id : ids) g_source_remove(id);
}

void RunLoop::Clear() {
  std::vector<Source> all;
  {
    std::lock_guard guard(mutex_);
    all.swap(sources_);
  }
  for (const Source& s : all) g_source_remove(s.id);
}

}  // namespace plexar::editor
