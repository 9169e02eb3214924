// SPDX-License-Identifier: GPL-3.0-or-later
#include "faust/host_notices.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "common/terminal_text.h"
#include "faust/rack.h"
#include "faust/workbench.h"
#include "platform/console.h"
#include "plexar/remote/remote_vst.h"

namespace {

struct Notice {
  const VST* record;  // compared with the rack's entries, never followed
  std::string why;
};

std::mutex lock;
std::condition_variable changed;
std::deque<Notice> notices;
bool stopping = false;
std::thread worker;
std::function<void()> redraw;

void Say(const std::string& line) {
  platform::ConsoleWrite("\r\x1b[2K" + line);
  if (redraw) redraw();
}

void Handle(const Notice& notice) {
  std::shared_ptr<VST> entry;
  size_t number = 0;
  {
    std::lock_guard guard(workbenchLock);
    for (size_t k = 0; k < vsts.size(); ++k) {
      if (vsts[k].get() == notice.record) entry = vsts[k], number = k + 1;
    }
  }
  // An entry still being loaded, or gone already: its loader says what happened.
  if (!entry) return;
  const std::string label = "VST #" + std::to_string(number) + " (" + common::TerminalSafeLine(entry->name) + ")";
  Say("\x1b[31m" + label + " " + notice.why + " and was bypassed.\x1b[0m\r\n");
  auto* remote = plexar::remote::AsRemote(entry->plugin);
  // The engine host served every compiled effect; all but the one it died on come back.
  if (!remote || remote->Kind() != plexar::remote::HostKind::kEngine || remote->EndedMidBlock()) return;
  if (plexar::Succeeded(remote->Reload())) Say("\x1b[34m" + label + " was compiled again.\x1b[0m\r\n");
}

void Run() {
  std::unique_lock guard(lock);
  for (;;) {
    changed.wait(guard, [] { return stopping || !notices.empty(); });
    if (stopping) return;
    Notice notice = std::move(notices.front());
    notices.pop_front();
    guard.unlock();
    Handle(notice);
    guard.lock();
  }
}

}  // namespace

void WatchHostEnd(VST& record) {
  auto* remote = plexar::remote::AsRemote(record.plugin);
  if (!remote) return;
  const VST* key = &record;
  remote->OnHostEnd([key](const std::string& why) {
    std::lock_guard guard(lock);
    if (stopping) return;
    if (!worker.joinable()) worker = std::thread(Run);
    notices.push_back({key, why});
    changed.notify_one();
  });
}

void SetNoticeRedraw(std::function<void()> call) { redraw = std::move(call); }

void MuteHostNotices() {
  {
    std::lock_guard guard(lock);
    stopping = true;
  }
  changed.notify_one();
}

void StopHostNotices() {
  MuteHostNotices();
  if (worker.joinable()) worker.join();
}
