// SPDX-License-Identifier: GPL-3.0-or-later
#include "plexar/editor/test_run.h"

#include <gtk/gtk.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

#include "plexar/editor/commands.h"
#include "plexar/editor/editor.h"
#include "plexar/editor/ui_thread.h"

namespace plexar::editor {
namespace {

constexpr int kFirstNote = 60;
constexpr int kLastNote = 71;
constexpr auto kNoteLength = std::chrono::milliseconds(250);

struct TestRun {
  GtkWidget* box = nullptr;
  std::thread worker;
  std::mutex mutex;
  std::condition_variable cv;
  bool stop = false;

  // False when the run was stopped during the wait.
  bool Wait() {
    std::unique_lock lock(mutex);
    return !cv.wait_for(lock, kNoteLength, [this] { return stop; });
  }
};

std::map<VST*, TestRun*>& Runs() {
  static auto* runs = new std::map<VST*, TestRun*>;
  return *runs;
}

void PlayNote(VST* object, int note, int velocity) {
  MIDI record{};
  record.bytes[0] = 0x90;
  record.bytes[1] = static_cast<uint8_t>(note);
  record.bytes[2] = static_cast<uint8_t>(velocity);
  object->AddMidi(&record, 1, 0);
}

// Programs are selected on the UI thread (editors are idled there); the worker only posts the
// selection, so it never waits for the UI thread that will join it.
void Work(VST* object, TestRun* run) {
  BstrArray programs;
  object->GetNames(kProgramNames, &programs);
  for (size_t p = 0; p < std::max<size_t>(programs.size(), 1); ++p) {
    const auto command = kProgramFirst + static_cast<uint32_t>(p);
    PostToUi([object, command] {
      if (Runs().count(object)) FileCmd(object, nullptr, 0, command, 0);
    });
    for (int note = kFirstNote; note <= kLastNote; ++note) {
      PlayNote(object, note, 127);
      const bool more = run->Wait();
      PlayNote(object, note, 0);
      if (!more) return;
    }
  }
}

}  // namespace

void StartTestRun(VST* object) {
  if (auto it = Runs().find(object); it != Runs().end()) {
    gtk_window_present(GTK_WINDOW(it->second->box));
    return;
  }
  auto* run = new TestRun;
  run->box = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_INFO, GTK_BUTTONS_OK, "Testing...");
  gtk_window_set_title(GTK_WINDOW(run->box), "VST");
  g_signal_connect(run->box, "response", G_CALLBACK(+[](GtkDialog*, gint, gpointer o) {
    StopTestRun(static_cast<VST*>(o));
  }), object);
  Runs()[object] = run;
  run->worker = std::thread(Work, object, run);
  gtk_widget_show_all(run->box);
}

void StopTestRun(VST* object) {
  auto it = Runs().find(object);
  if (it == Runs().end()) return;
  TestRun* run = it->second;
  Runs().erase(it);
  {
    std::lock_guard guard(run->mutex);
    run->stop = true;
  }
  run->cv.notify_all();
  run->worker.join();
  gtk_widget_destroy(run->box);
  delete run;
}

}  // namespace plexar::editor

namespace plexar::editor {

void StopAllTestRuns() {
  while (!Runs().empty()) StopTestRun(Runs().begin()->first);
}

}  // namespace plexar::editor
