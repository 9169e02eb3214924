// SPDX-License-Identifier: GPL-3.0-or-later
#include "plexar/editor/ui_thread.h"


#include <gdk/gdkx.h>
#include <gtk/gtk.h>
#include <poll.h>

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

#include "plexar/editor/x_connection.h"

namespace plexar::editor {
namespace {

// kEnded: stopped at exit, never started again. kLost: the X server went away; the thread
// runs on, and the next start tries the display again.
enum class State { kStopped, kRunning, kFailed, kLost, kEnded };

struct Job {
  std::function<void()> work;
  // Set for `RunOnUi`: the caller waits for `done`.
  std::mutex* mutex = nullptr;
  std::condition_variable* cv = nullptr;
  bool* done = nullptr;
};

gboolean RunJob(gpointer data) {
  std::unique_ptr<Job> job(static_cast<Job*>(data));
  if (job->work) job->work();
  if (job->done) {
    std::lock_guard guard(*job->mutex);
    *job->done = true;
    job->cv->notify_all();
  }
  return G_SOURCE_REMOVE;
}

class UiThread;
UiThread& Ui();

class UiThread {
 public:
  bool Start() {
    std::unique_lock lock(mutex_);
    if (state_ == State::kRunning) return true;
    if (state_ == State::kLost) {
      lock.unlock();
      return Reopen();
    }
    if (state_ != State::kStopped) return false;
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) return false;
    bool answered = false, ok = false;
    thread_ = std::thread([&] { Main(&answered, &ok); });
    cv_.wait(lock, [&] { return answered; });
    if (!ok) {
      lock.unlock();
      thread_.join();
      lock.lock();
      // GTK cannot be set up a second time once its display failed.
      state_ = State::kFailed;
      return false;
    }
    state_ = State::kRunning;
    // The UI thread ends before the process does, with every window closed.
    std::atexit([] { Ui().Stop(); });
    return true;
  }

  bool Lost() {
    std::lock_guard guard(mutex_);
    return state_ == State::kLost;
  }

  // From any thread, possibly deep inside an Xlib call: from now on GTK gets no events (it
  // would draw on a connection that is gone), and the editors are given up on the UI
  // thread's next turn.
  void NoticeLoss() {
    if (connectionLost_.exchange(true)) return;
    Post(new Job{[this] { GiveUp(); }});
  }

  bool OnThread() const { return uiThreadId_.load() == std::this_thread::get_id(); }

  bool ConnectionLost() const { return connectionLost_.load(); }

  // Always queued, also from the UI thread itself: work posted from deep inside a GTK or
  // Xlib call must not run there.
  void Post(Job* job) {
    GSource* source = g_idle_source_new();
    g_source_set_priority(source, G_PRIORITY_DEFAULT);
    g_source_set_callback(source, RunJob, job, nullptr);
    g_source_attach(source, nullptr);
    g_source_unref(source);
  }

  // Posts only while the thread runs (also without a display): what is posted then runs.
  bool PostIfRunning(Job* job) {
    std::lock_guard guard(mutex_);
    if (state_ != State::kRunning && state_ != State::kLost) return false;
    Post(job);
    return true;
  }

  void SetShutdown(std::function<void()> work) {
    std::lock_guard guard(mutex_);
    shutdown_ = std::move(work);
  }

 private:
  // True once the server hung up on GTK's connection, even before Xlib noticed: GTK would
  // draw first, on surfaces that cannot be made.
  static bool HungUp() {
    GdkDisplay* display = gdk_display_get_default();
    if (!display) return false;
    struct pollfd connection = {ConnectionNumber(gdk_x11_display_get_xdisplay(display)), POLLRDHUP, 0};
    return poll(&connection, 1, 0) > 0 && (connection.revents & (POLLRDHUP | POLLHUP | POLLERR));
  }

  static void FilterEvent(GdkEvent* event, gpointer) {
    UiThread& ui = Ui();
    if (!ui.connectionLost_.load() && HungUp()) ui.NoticeLoss();
    GdkWindow* window = event->any.window;
    if (ui.connectionLost_.load() || (window && ui.deadDisplays_.count(gdk_window_get_display(window))))
      return;
    gtk_main_do_event(event);
  }

  void Main(bool* answered, bool* ok) {
    uiThreadId_ = std::this_thread::get_id();
    // Plug-in editors on Linux are X11 windows, also under Wayland (through XWayland).
    gdk_set_allowed_backends("x11");
    const bool ready = gtk_init_check(nullptr, nullptr);
    if (ready) {
      HandleXErrors([] { Ui().NoticeLoss(); });
      WatchXConnection(gdk_x11_display_get_xdisplay(gdk_display_get_default()));
      gdk_event_handler_set(&FilterEvent, nullptr, nullptr);
    }
    GMainLoop* loop = ready ? g_main_loop_new(nullptr, FALSE) : nullptr;
    {
      std::lock_guard guard(mutex_);
      loop_ = loop;
      *ok = ready;
      *answered = true;
      cv_.notify_all();
    }
    if (!loop) return;
    g_main_loop_run(loop);
    g_main_loop_unref(loop);
  }

  // The server is gone: every window is closed (calls on the broken connection return at
  // once). The thread goes on, waiting for a display to come back.
  void GiveUp() {
    std::function<void()> shutdown;
    {
      std::lock_guard guard(mutex_);
      if (state_ != State::kRunning) return;
      state_ = State::kLost;
      shutdown = shutdown_;
    }
    deadDisplays_.insert(gdk_display_get_default());
    if (shutdown) shutdown();
  }

  // Opens DISPLAY again, on the UI thread; GTK's windows go there from then on.
  bool Reopen() {
    bool opened = false;
    auto* job = new Job{[&] {
      GdkDisplay* display = gdk_display_open(std::getenv("DISPLAY"));
      if (!display) return;
      gdk_display_manager_set_default_display(gdk_display_manager_get(), display);
      WatchXConnection(gdk_x11_display_get_xdisplay(display));
      connectionLost_ = false;
      opened = true;
    }};
    std::mutex mutex;
    std::condition_variable cv;
    bool done = false;
    job->mutex = &mutex, job->cv = &cv, job->done = &done;
    if (OnThread()) {
      RunJob(job);
    } else if (!PostIfRunning(job)) {
      delete job;
      return false;
    }
    {
      std::unique_lock lock(mutex);
      cv.wait(lock, [&] { return done; });
    }
    std::lock_guard guard(mutex_);
    if (opened && state_ == State::kLost) state_ = State::kRunning;
    return state_ == State::kRunning;
  }

  void Stop() {
    std::function<void()> shutdown;
    {
      std::lock_guard guard(mutex_);
      if (state_ != State::kRunning && state_ != State::kLost) return;
      // Other threads stop handing work over now; the shutdown work itself runs in place.
      state_ = State::kEnded;
      shutdown = shutdown_;
    }
    GMainLoop* loop = loop_;
    auto* job = new Job{[shutdown, loop] {
      if (shutdown) shutdown();
      g_main_loop_quit(loop);
    }};
    Post(job);
    thread_.join();
  }

  std::mutex mutex_;
  std::condition_variable cv_;
  State state_ = State::kStopped;
  std::thread thread_;
  std::atomic<std::thread::id> uiThreadId_{};
  GMainLoop* loop_ = nullptr;
  std::function<void()> shutdown_;
  std::atomic<bool> connectionLost_{false};
  std::set<GdkDisplay*> deadDisplays_;  // UI thread only
};

// Never destroyed: plug-in objects released during exit still ask it whether it runs.
UiThread& Ui() {
  static auto* ui = new UiThread;
  return *ui;
}

}  // namespace

bool StartUi() { return Ui().Start(); }

bool OnUiThread() { return Ui().OnThread(); }

bool RunOnUi(const std::function<void()>& work) {
  UiThread& ui = Ui();
  if (ui.OnThread()) {
    work();
    return true;
  }
  std::mutex mutex;
  std::condition_variable cv;
  bool done = false;
  auto* job = new Job{work, &mutex, &cv, &done};
  if (!ui.PostIfRunning(job)) {
    delete job;
    return false;
  }
  std::unique_lock lock(mutex);
  cv.wait(lock, [&] { return done; });
  return true;
}

void PostToUi(std::function<void()> work) {
  auto* job = new Job{std::move(work)};
  if (!Ui().PostIfRunning(job)) delete job;
}

bool DisplayLost() { return Ui().Lost(); }

bool ConnectionLost() { return Ui().ConnectionLost(); }

void SetUiShutdown(std::function<void()> work) { Ui().SetShutdown(std::move(work)); }

}  // namespace plexar::editor
