// SPDX-License-Identifier: GPL-3.0-or-later
#include "plexar/editor/ui_thread.h"

#include <gtk/gtk.h>

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>

namespace plexar::editor {
namespace {

// kEnded: stopped at exit, never started again.
enum class State { kStopped, kRunning, kFailed, kEnded };

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

  bool Running() {
    std::lock_guard guard(mutex_);
    return state_ == State::kRunning;
  }

  bool OnThread() const { return uiThreadId_.load() == std::this_thread::get_id(); }

  void Post(Job* job) { g_main_context_invoke_full(nullptr, G_PRIORITY_DEFAULT, RunJob, job, nullptr); }

  void SetShutdown(std::function<void()> work) {
    std::lock_guard guard(mutex_);
    shutdown_ = std::move(work);
  }

 private:
  void Main(bool* answered, bool* ok) {
    uiThreadId_ = std::this_thread::get_id();
    // Plug-in editors on Linux are X11 windows, also under Wayland (through XWayland).
    gdk_set_allowed_backends("x11");
    const bool ready = gtk_init_check(nullptr, nullptr);
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

  void Stop() {
    std::function<void()> shutdown;
    {
      std::lock_guard guard(mutex_);
      if (state_ != State::kRunning) return;
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
  if (!ui.Running()) return false;
  std::mutex mutex;
  std::condition_variable cv;
  bool done = false;
  ui.Post(new Job{work, &mutex, &cv, &done});
  std::unique_lock lock(mutex);
  cv.wait(lock, [&] { return done; });
  return true;
}

void PostToUi(std::function<void()> work) {
  UiThread& ui = Ui();
  if (!ui.Running()) return;
  ui.Post(new Job{std::move(work)});
}

void SetUiShutdown(std::function<void()> work) { Ui().SetShutdown(std::move(work)); }

}  // namespace plexar::editor
