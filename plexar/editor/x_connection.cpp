// SPDX-License-Identifier: GPL-3.0-or-later
#include "plexar/editor/x_connection.h"

#include <X11/Xlib.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <string>

#include "common/debug.h"

namespace plexar::editor {
namespace {

std::mutex& LostLock() {
  static auto* lock = new std::mutex;
  return *lock;
}
std::function<void()>& LostHandler() {
  static auto* handler = new std::function<void()>;
  return *handler;
}

int OnProtocolError(Display* display, XErrorEvent* error) {
  char text[128] = {};
  XGetErrorText(display, error->error_code, text, sizeof text - 1);
  common::DebugLine("X error ignored: " + std::string(text) + " (request " +
                    std::to_string(error->request_code) + ")");
  return 0;
}

int OnConnectionError(Display*) { return 0; }

// Xlib would exit here. Returning leaves the connection marked broken, so every later call on
// it returns at once; its descriptor is swapped for one that never becomes readable, so that
// a main loop or a plug-in polling it does not spin on the hang-up.
void OnConnectionLost(Display* display, void*) {
  static int quiet[2] = {-1, -1};
  static std::once_flag once;
  std::call_once(once, [] {
    if (pipe2(quiet, O_CLOEXEC) != 0) quiet[0] = quiet[1] = -1;
  });
  if (quiet[0] >= 0) dup3(quiet[0], ConnectionNumber(display), O_CLOEXEC);
  // Xlib took the connection's user lock for an exit that does not come; held, it would stop
  // every later locker, the libraries' clean-up at exit among them.
  XUnlockDisplay(display);
  common::DebugLine("X connection lost");
  std::function<void()> lost;
  {
    std::lock_guard guard(LostLock());
    lost = LostHandler();
  }
  if (lost) lost();
}

}  // namespace

void WatchXConnection(void* display) {
  if (display) XSetIOErrorExitHandler(static_cast<Display*>(display), &OnConnectionLost, nullptr);
}

void HandleXErrors(std::function<void()> lost) {
  {
    std::lock_guard guard(LostLock());
    LostHandler() = std::move(lost);
  }
  XSetErrorHandler(&OnProtocolError);
  XSetIOErrorHandler(&OnConnectionError);
}

}  // namespace plexar::editor

// Every connection opened in the process, GTK's and the plug-ins' own, comes through here
// (the executable exports the name), so each gets the handler above instead of an exit.
extern "C" Display* XOpenDisplay(const char* name) {
  using Open = Display* (*)(const char*);
  static const Open real = reinterpret_cast<Open>(dlsym(RTLD_NEXT, "XOpenDisplay"));
  Display* display = real ? real(name) : nullptr;
  plexar::editor::WatchXConnection(display);
  return display;
}
