// SPDX-License-Identifier: GPL-3.0-or-later
// The registry of open windows and the entry points that move editor work onto the UI thread.
#include "plexar/editor/editor.h"

#include <condition_variable>
#include <map>
#include <mutex>
#include <set>

#include "plexar/editor/frame.h"
#include "plexar/editor/parameter_dialog.h"
#include "plexar/editor/registry.h"
#include "plexar/editor/test_run.h"
#include "plexar/editor/ui_thread.h"

namespace plexar::editor {
namespace {

// UI thread only.
std::map<VST*, Frame*>& Frames() {
  static auto* frames = new std::map<VST*, Frame*>;
  return *frames;
}
std::map<VST*, ParameterDialog*>& Lists() {
  static auto* lists = new std::map<VST*, ParameterDialog*>;
  return *lists;
}

// What modal callers on other threads wait for.
struct Open {
  std::mutex mutex;
  std::condition_variable cv;
  std::set<const void*> windows;
};
Open& OpenWindows() {
  static auto* open = new Open;
  return *open;
}

void MarkOpen(const void* window, bool open) {
  Open& o = OpenWindows();
  std::lock_guard guard(o.mutex);
  if (open) {
    o.windows.insert(window);
  } else {
    o.windows.erase(window);
    o.cv.notify_all();
  }
}

// At exit every window still open is closed on the UI thread, so plug-ins see their views
// detached before the process ends.
void CloseEverything() {
  while (!Frames().empty()) CloseFrame(Frames().begin()->first);
  while (!Lists().empty()) CloseParameterList(Lists().begin()->first);
  StopAllTestRuns();
}

bool Start() {
  if (!StartUi()) return false;
  static std::once_flag once;
  std::call_once(once, [] { SetUiShutdown(CloseEverything); });
  return true;
}

}  // namespace

Frame* FindFrame(VST* object) {
  auto it = Frames().find(object);
  return it == Frames().end() ? nullptr : it->second;
}

ParameterDialog* FindList(VST* object) {
  auto it = Lists().find(object);
  return it == Lists().end() ? nullptr : it->second;
}

void AddList(VST* object, ParameterDialog* dialog) {
  Lists()[object] = dialog;
  MarkOpen(dialog, true);
}

void RemoveList(VST* object) {
  auto it = Lists().find(object);
  if (it == Lists().end()) return;
  MarkOpen(it->second, false);
  Lists().erase(it);
}

void WaitUntilClosed(const void* window) {
  Open& o = OpenWindows();
  if (OnUiThread()) {
    auto open = [&] {
      std::lock_guard guard(o.mutex);
      return o.windows.count(window) != 0;
    };
    while (open()) g_main_context_iteration(nullptr, TRUE);
    return;
  }
  std::unique_lock lock(o.mutex);
  o.cv.wait(lock, [&] { return o.windows.count(window) == 0; });
}

bool EditorsAvailable() { return Start(); }

bool DisplayGone() { return DisplayLost(); }

HRESULT ShowFrame(PluginView* view, HWND owner, bool modal) {
  if (!Start()) return E_FAIL;
  HRESULT hr = E_FAIL;
  Frame* shown = nullptr;
  RunOnUi([&] {
    if (Frame* open = FindFrame(view->Object())) {
      open->Present();
      hr = S_FALSE;
      return;
    }
    shown = Frame::Open(view, owner);
    if (!shown) return;
    Frames()[view->Object()] = shown;
    MarkOpen(shown, true);
    hr = S_OK;
  });
  if (hr == S_OK && modal) WaitUntilClosed(shown);
  return hr;
}

void CloseFrame(VST* object) {
  RunOnUi([object] {
    StopTestRun(object);
    Frame* frame = FindFrame(object);
    if (!frame) return;
    // Out of the registry first: the plug-in may ask for a layout while it detaches.
    Frames().erase(object);
    frame->Close();
    MarkOpen(frame, false);
  });
}

HWND FrameWindow(VST* object) {
  HWND window = nullptr;
  RunOnUi([&] {
    if (Frame* frame = FindFrame(object)) window = frame->Window();
  });
  return window;
}

void Relayout(VST* object) {
  auto layout = [object] {
    if (Frame* frame = FindFrame(object)) frame->Layout();
  };
  if (OnUiThread()) {
    layout();
  } else {
    PostToUi(layout);
  }
}

HRESULT ShowParameterList(VST* object, HWND owner, bool modal) {
  if (!Start()) return E_FAIL;
  HRESULT hr = E_FAIL;
  ParameterDialog* shown = nullptr;
  RunOnUi([&] {
    if (ParameterDialog* open = FindList(object)) {
      open->Present();
      hr = S_FALSE;
      return;
    }
    shown = ParameterDialog::Open(object, owner);
    if (!shown) return;
    AddList(object, shown);
    hr = S_OK;
  });
  if (hr == S_OK && modal) WaitUntilClosed(shown);
  return hr;
}

void CloseParameterList(VST* object) {
  RunOnUi([object] {
    if (ParameterDialog* dialog = FindList(object)) dialog->Close();
  });
}

}  // namespace plexar::editor
