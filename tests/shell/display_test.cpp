// SPDX-License-Identifier: GPL-3.0-or-later
// Editor windows that go away from outside: closed by the window manager, a plug-in's window
// destroyed by another client, the X server ending. Tessary goes on, its source playing.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "tests/faust/audio_files.h"
#include "tests/support/fake_copilot.h"
#include "xvfb_display.h"

// Last: Xlib's macros (None, Status) clash with names in the headers above.
#include <X11/Xlib.h>

namespace {

using nlohmann::json;
using testing_support::FakeCopilot;
using testing_support::PtySession;
using testing_support::TessaryPath;
using namespace std::chrono_literals;

constexpr char kSignedIn[] = "\x1b[32m[AI] ";
constexpr char kDragonfly[] = "/usr/lib/lxvst/DragonflyHallReverb-vst.so";
constexpr char kOpened[] = "\x1b[34m Editor of VST #1 (";

// Another client of the test's X server.
class Outsider {
 public:
  // Windows come and go while they are looked at: an error about one that just went is no
  // reason for the test to end (Xlib's default handler exits).
  Outsider() : display_(XOpenDisplay(nullptr)) {
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
  }
  ~Outsider() {
    if (display_) XCloseDisplay(display_);
  }
  bool Open() const { return display_ != nullptr; }

  // The top-level windows of other clients that are mapped (the editor frames).
  std::vector<Window> Frames() { return Mapped(DefaultRootWindow(display_)); }

  // Every window below `top` made by another client than the one that made `top`.
  std::vector<Window> ForeignBelow(Window top) {
    std::vector<Window> found;
    std::function<void(Window)> walk = [&](Window w) {
      for (Window child : Children(w)) {
        if (Client(child) != Client(top)) found.push_back(child);
        walk(child);
      }
    };
    walk(top);
    return found;
  }

  void AskToClose(Window frame) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = frame;
    event.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display_, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display_, frame, False, NoEventMask, &event);
    XSync(display_, False);
  }
  void Destroy(Window window) {
    XDestroyWindow(display_, window);
    XSync(display_, False);
  }

 private:
  static unsigned long Client(Window w) { return w & ~0x1fffffUL; }
  std::vector<Window> Children(Window w) {
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    std::vector<Window> out;
    if (XQueryTree(display_, w, &root, &parent, &children, &count)) {
      out.assign(children, children + count);
      XFree(children);
    }
    return out;
  }
  std::vector<Window> Mapped(Window root) {
    std::vector<Window> out;
    for (Window w : Children(root)) {
      XWindowAttributes attributes;
      if (XGetWindowAttributes(display_, w, &attributes) && attributes.map_state == IsViewable &&
          attributes.width > 50)
        out.push_back(w);
    }
    return out;
  }
  Display* display_;
};

// Plug-ins in their hosts, and in Tessary's own process.
class DisplayTest : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    if (access(kDragonfly, R_OK) != 0) GTEST_SKIP() << "no " << kDragonfly;
    ASSERT_TRUE(plexar::testing::StartXvfb());
    fake_ = std::make_unique<FakeCopilot>(json::object());
    PtySession::Options options = fake_->Options();
    options.environment["TESSARY_PLUGIN_HOSTS"] = GetParam();
    // A source plays through the plug-in all along, into an ALSA device that throws it away.
    const std::string folder = testing_support::TestHome() + "/display";
    std::filesystem::create_directories(folder);
    ASSERT_TRUE(faust_test::Ffmpeg("-f lavfi -i anullsrc=r=48000:cl=stereo -t 600", folder + "/long.flac"));
    std::ofstream(folder + "/alsa.conf") << "pcm.nowhere {\n  type file\n  slave.pcm { type null }\n"
                                            "  file \"/dev/null\"\n  format \"raw\"\n}\n";
    options.environment["ALSA_CONFIG_PATH"] = folder + "/alsa.conf";
    options.environment["TESSARY_AUDIO_DEVICE"] = "nowhere";
    run_ = std::make_unique<PtySession>(std::vector<std::string>{TessaryPath(), "--mode", "faust"},
                                        options);
    ASSERT_TRUE(run_->WaitFor(kSignedIn));
    run_->Type(std::string("/vst load ") + kDragonfly + "\r");
    ASSERT_TRUE(run_->WaitFor("\x1b[32m[AI] ", 30s));
    run_->Type("/source load " + folder + "/long.flac\r");
    run_->Type("/vst apply 1 1\r");
    run_->Type("/source play 1\r");
    ASSERT_TRUE(run_->WaitFor("Playing source ", 10s));
    Edit();
  }
  void TearDown() override {
    plexar::testing::StopXvfb();
    if (run_ && run_->Running()) {
      run_->Type("/exit\r");
      // In-process, the end closes the reverb's editor on a display that is gone, and its
      // renderer then clears a buffer of over a gigabyte: seconds under the sanitizers.
      EXPECT_EQ(run_->WaitForExit(30s), 0) << ::testing::PrintToString(run_->OutputSinceMark());
    }
  }
  void Edit() {
    run_->Mark();
    run_->Type("/vst edit 1\r");
    ASSERT_TRUE(run_->WaitFor(kOpened, 15s));
  }
  // Tessary still answers, with its plug-in, whose host lives on too.
  void ExpectAnswering() {
    run_->Mark();
    run_->Type("/vst list\r");
    EXPECT_TRUE(run_->WaitFor("VSTs: 1", 10s)) << ::testing::PrintToString(run_->OutputSinceMark());
    run_->Type("/source list\r");
    EXPECT_TRUE(run_->WaitFor("long.flac, playing, chain: 1", 10s))
        << ::testing::PrintToString(run_->OutputSinceMark());
    EXPECT_TRUE(run_->Running());
    EXPECT_EQ(run_->Output().find("bypassed"), std::string::npos);
  }
  // Up to 15 s: on a busy machine a host takes a while to start and open its window.
  std::vector<Window> WaitForFrames(Outsider& x, size_t count) {
    for (int i = 0; i < 750; ++i) {
      auto frames = x.Frames();
      if (frames.size() == count) return frames;
      std::this_thread::sleep_for(20ms);
    }
    return x.Frames();
  }

  std::unique_ptr<FakeCopilot> fake_;
  std::unique_ptr<PtySession> run_;
};

TEST_P(DisplayTest, FramesClosedOrEmptiedFromOutsideLeaveTessaryRunning) {
  Outsider x;
  ASSERT_TRUE(x.Open());
  std::vector<Window> frames = WaitForFrames(x, 1);
  ASSERT_EQ(frames.size(), 1u);
  // The plug-in's own window destroyed by another client, while the plug-in still draws.
  std::vector<Window> foreign = x.ForeignBelow(frames[0]);
  ASSERT_FALSE(foreign.empty());
  for (Window w : foreign) x.Destroy(w);
  std::this_thread::sleep_for(500ms);
  ExpectAnswering();
  // The window manager's close button.
  x.AskToClose(frames[0]);
  EXPECT_TRUE(WaitForFrames(x, 0).empty());
  ExpectAnswering();
  Edit();
  EXPECT_EQ(WaitForFrames(x, 1).size(), 1u);
}

TEST_P(DisplayTest, AnXServerThatEndsMidEditTakesOnlyTheEditors) {
  const std::string display = std::getenv("DISPLAY");
  plexar::testing::StopXvfb();
  std::this_thread::sleep_for(1s);
  ExpectAnswering();
  run_->Mark();
  run_->Type("/vst edit 1\r");
  EXPECT_TRUE(run_->WaitFor("\x1b[31mThe display for editor windows is gone", 10s))
      << ::testing::PrintToString(run_->OutputSinceMark());
  // A display that comes back is used again.
  ASSERT_TRUE(plexar::testing::StartXvfb(display));
  run_->Type("/vst edit 1\r");
  EXPECT_TRUE(run_->WaitFor(kOpened, 15s)) << ::testing::PrintToString(run_->OutputSinceMark());
  ExpectAnswering();
}

INSTANTIATE_TEST_SUITE_P(Hosts, DisplayTest, ::testing::Values("", "inprocess"),
                         [](const auto& info) { return *info.param ? "InProcess" : "InHosts"; });

}  // namespace
