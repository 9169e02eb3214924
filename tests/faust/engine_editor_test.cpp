// SPDX-License-Identifier: GPL-3.0-or-later
// The compiled effects' own editor on a private Xvfb server: its widgets as the program lays
// them out, a pointer moving them (through XTest) heard in the effect, values set from
// outside and meters of the running effect shown.
#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "engine_fixture.h"
#include "plexar/editor/editor_probe.h"
#include "xvfb_display.h"
// Last: Xlib's macros clash with names in the headers above.
#include "editor_window.h"

// LeakSanitizer's check at the exit of these tests, after they have passed, crashes itself
// ("Tracer caught signal 11") on a slot of the dynamic thread-local data it reads, the same
// way every time under a parallel test run, before it can report anything. These tests are
// about the editor, so this program does without the check; AddressSanitizer and UBSan still
// watch everything it does, and the engine's other tests keep the leak check.
extern "C" const char* __lsan_default_options() { return "detect_leaks=0"; }

namespace {

using plexar::testing::WaitFor;

// 0xRRGGBB of a slider's filled track, a meter's bar and an empty track.
bool IsAccent(long rgb) { return rgb >= 0 && (rgb & 0xFF) > 0xC0 && (rgb >> 16) < 0x60; }
bool IsMeter(long rgb) { return rgb >= 0 && ((rgb >> 8) & 0xFF) > 0x90 && (rgb >> 16) < 0x60 && (rgb & 0xFF) < 0x80; }
bool IsTrack(long rgb) { return rgb >= 0 && (rgb >> 16) > 0xB0 && (rgb >> 16) < 0xE0; }

constexpr char kTremolo[] = R"(import("stdfaust.lib");
declare name "Tremolo";
rate = hslider("[1]rate[unit:Hz][scale:log][tooltip:How often the level swings, per second]",
               4, 0.1, 20, 0.01);
depth = hslider("[2]depth[style:knob][tooltip:How far the level swings]", 0.5, 0, 1, 0.01);
process = *(1 - depth * (0.5 + 0.5 * os.osc(rate)));
)";

constexpr char kReverb[] = R"(import("stdfaust.lib");
declare name "Small hall";
room(x) = hgroup("[1]Room", x);
tone(x) = vgroup("[2]Tone", x);
size = room(vslider("[1]size", 0.7, 0, 0.95, 0.01));
damp = room(vslider("[2]damping[style:knob]", 0.4, 0, 1, 0.01));
cut = tone(hslider("[1]low cut[unit:Hz][scale:log]", 80, 20, 1000, 1));
mix = tone(nentry("[2]mix[unit:%]", 30, 0, 100, 5)) / 100;
freeze = tone(checkbox("[3]freeze"));
wet = re.mono_freeverb(size * (1 - freeze) + 0.98 * freeze, 0.5, damp, 23) : fi.highpass(1, cut);
process = _ <: *(1 - mix), (wet : *(mix)) :> _ <: attach(_, abs : hbargraph("[3]out", 0, 1));
)";

class FaustEditorTest : public faust_testing::EngineTest {
 protected:
  static void SetUpTestSuite() {
    ASSERT_TRUE(plexar::testing::StartXvfb());
    EngineTest::SetUpTestSuite();
  }
  void TearDown() override {
    if (effect_) effect_->plugin->CloseEditor();
  }

  // Compiles `code`, opens its editor and waits for the editor's window to be drawn.
  Window Open(const std::string& code) {
    effect_ = Load(code);
    EXPECT_TRUE(effect_) << last_error_;
    if (!effect_ || effect_->plugin->ShowEditor(nullptr, 0, 0) != plexar::S_OK) return 0;
    const unsigned long child = plexar::editor::FrameChildWindow(effect_->plugin);
    Window editor = 0;
    WaitFor([&] { return (editor = x_.Find(child)) != 0; });
    EXPECT_NE(editor, 0u) << "no editor window in the frame";
    // Drawn: a box's panel colour shows where nothing else is.
    EXPECT_TRUE(WaitFor([&] { return x_.Pixel(editor, 2, 2) == 0xEEF0F3; })) << std::hex << x_.Pixel(editor, 2, 2);
    return editor;
  }
  faust_testing::ShownWidget Widget(Window editor, const std::string& label) {
    for (const auto& w : x_.Widgets(editor)) {
      if (w.label == label) return w;
    }
    ADD_FAILURE() << "no widget " << label;
    return {};
  }
  float Value(int id) {
    float value = -1;
    effect_->plugin->GetParameter(id, &value);
    return value;
  }

  std::shared_ptr<VST> effect_;
  faust_testing::EditorWindow x_;
};

TEST_F(FaustEditorTest, WidgetsAreLaidOutAsTheProgramGroupsThem) {
  const Window editor = Open(R"(import("stdfaust.lib");
    declare name "Layout";
    process = tgroup("[1]pages",
        hgroup("[1]tone", *(hslider("[1]level[unit:dB]", 0, -60, 12, 0.1) : ba.db2linear)
                          : *(vslider("[2]trim", 1, 0, 2, 0.01)) : *(hslider("[3]drive[style:knob]", 1, 1, 4, 0.1)))
      : vgroup("[2]more", *(nentry("[1]taps", 1, 1, 4, 1)) : *(1 - checkbox("[2]mute"))
                          : *(1 + button("[3]kick"))))
      <: attach(_, abs : hbargraph("[2]out", 0, 1));)");
  ASSERT_NE(editor, 0u);
  const std::vector<faust_testing::ShownWidget> widgets = x_.Widgets(editor);
  std::vector<std::string> shown;
  for (const auto& w : widgets) shown.push_back(std::string(2 * w.depth, ' ') + w.kind + " " + w.label);
  const std::vector<std::string> expected = {
      "vgroup Layout",      "  tgroup pages",   "    hgroup tone",      "      hslider level",
      "      vslider trim", "      knob drive", "    vgroup more",      "      nentry taps",
      "      checkbox mute", "      button kick", "  hbargraph out"};
  EXPECT_EQ(shown, expected);
  ASSERT_EQ(widgets.size(), expected.size());
  // Each widget within its group; an hgroup's side by side, a vgroup's stacked, a tgroup's
  // pages one upon another.
  for (size_t i = 1; i < widgets.size(); ++i) {
    size_t parent = i - 1;
    while (widgets[parent].depth >= widgets[i].depth) --parent;
    const auto &p = widgets[parent], &c = widgets[i];
    EXPECT_TRUE(c.x >= p.x && c.y >= p.y && c.x + c.w <= p.x + p.w && c.y + c.h <= p.y + p.h)
        << c.label << " outside " << p.label;
    size_t before = i - 1;
    while (before > parent && widgets[before].depth > c.depth) --before;
    if (before == parent) continue;
    const auto& b = widgets[before];
    if (p.kind == "hgroup") {
      EXPECT_GE(c.x, b.x + b.w) << c.label;
    } else if (p.kind == "vgroup") {
      EXPECT_GE(c.y, b.y + b.h) << c.label;
    } else {
      EXPECT_TRUE(c.x == b.x && c.y == b.y) << c.label;
    }
  }
}

TEST_F(FaustEditorTest, SliderMovedWithThePointerIsHeardAndValuesSetElsewhereMoveIt) {
  const Window editor = Open(R"(process = *(hslider("gain", 0.25, 0, 1, 0.01));)");
  ASSERT_NE(editor, 0u);
  const auto slider = Widget(editor, "gain");
  // The track runs 10 pixels in from the box's ends, 32 below its top.
  const int left = slider.x + 10, width = slider.w - 20, track = slider.y + 32;
  EXPECT_TRUE(IsTrack(x_.Pixel(editor, left + width / 2, track)));
  x_.Drag(editor, left + width / 4, track, left + 3 * width / 4, track);
  EXPECT_TRUE(WaitFor([&] { return std::abs(Value(0) - 0.75f) < 0.011f; })) << Value(0);
  const std::vector<float> ones(512, 1.0f);
  EXPECT_NEAR(Block(*effect_, ones, ones)[0][100], Value(0), 1e-6);
  EXPECT_TRUE(WaitFor([&] { return IsAccent(x_.Pixel(editor, left + width / 2, track)); }));

  // Set from outside, as `/vst param` does: the slider follows.
  ASSERT_EQ(effect_->plugin->SetParameter(0, 0.1f), plexar::S_OK);
  EXPECT_TRUE(WaitFor([&] { return IsTrack(x_.Pixel(editor, left + width / 2, track)); }))
      << std::hex << x_.Pixel(editor, left + width / 2, track);
  EXPECT_NEAR(Block(*effect_, ones, ones)[0][100], 0.1f, 1e-6);
}

// A log slider's middle is the geometric mean of its ends; a knob turns as the pointer moves
// up, its whole range in 200 pixels; a number entry steps with its - and +.
TEST_F(FaustEditorTest, LogSlidersKnobsAndNumberEntriesMoveAsTheyShow) {
  const Window editor = Open(R"(process = *(hslider("[1]freq[scale:log]", 20, 20, 20000, 0))
      : *(hslider("[2]amount[style:knob]", 0, 0, 1, 0)) : *(nentry("[3]steps", 2, 0, 10, 2));)");
  ASSERT_NE(editor, 0u);
  const auto freq = Widget(editor, "freq"), amount = Widget(editor, "amount"), steps = Widget(editor, "steps");
  const int left = freq.x + 10, width = freq.w - 20;
  x_.Drag(editor, left, freq.y + 32, left + width / 2, freq.y + 32);
  auto freqHz = [&] { return 20 + Value(0) * (20000 - 20); };
  EXPECT_TRUE(WaitFor([&] { return std::abs(freqHz() - std::sqrt(20.0 * 20000.0)) < 25; })) << freqHz();
  x_.Drag(editor, amount.CentreX(), amount.CentreY(), amount.CentreX(), amount.CentreY() - 100);
  EXPECT_TRUE(WaitFor([&] { return std::abs(Value(1) - 0.5f) < 0.011f; })) << Value(1);
  const float two = Value(2);
  EXPECT_FLOAT_EQ(two, 0.2f);
  x_.Click(editor, steps.x + steps.w - 6, steps.y + 32);
  EXPECT_TRUE(WaitFor([&] { return std::abs(Value(2) - 0.4f) < 1e-6f; })) << Value(2);
  x_.Click(editor, steps.x + 6, steps.y + 32);
  x_.Click(editor, steps.x + 6, steps.y + 32);
  x_.Click(editor, steps.x + 6, steps.y + 32);
  EXPECT_TRUE(WaitFor([&] { return Value(2) == 0.0f; })) << "stops at the bottom, " << Value(2);
}

TEST_F(FaustEditorTest, BargraphShowsTheRunningEffect) {
  const Window editor = Open(R"(process = _ <: attach(_, abs : hbargraph("level", 0, 1));)");
  ASSERT_NE(editor, 0u);
  const auto meter = Widget(editor, "level");
  const int left = meter.x + 10, width = meter.w - 20, bar = meter.y + 32;
  auto at = [&](double part) { return x_.Pixel(editor, left + static_cast<int>(width * part), bar); };
  EXPECT_TRUE(IsTrack(at(0.25)));
  Block(*effect_, std::vector<float>(512, 0.5f), {});
  EXPECT_TRUE(WaitFor([&] { return IsMeter(at(0.4)); })) << std::hex << at(0.4);
  EXPECT_TRUE(IsTrack(at(0.6)));
  Block(*effect_, std::vector<float>(512, -0.9f), {});
  EXPECT_TRUE(WaitFor([&] { return IsMeter(at(0.85)); })) << std::hex << at(0.85);
  Block(*effect_, std::vector<float>(512, 0.0f), {});
  EXPECT_TRUE(WaitFor([&] { return IsTrack(at(0.1)); })) << std::hex << at(0.1);
}

TEST_F(FaustEditorTest, TabsSwitchPagesButtonsHoldAndSwitchesToggle) {
  const Window editor = Open(
      R"(process = tgroup("t", vgroup("[1]a", *(hslider("level", 1, 0, 1, 0.01)))
                              : vgroup("[2]b", *(1 + button("[1]hold")) : *(1 - checkbox("[2]mute"))));)");
  ASSERT_NE(editor, 0u);
  const auto hold = Widget(editor, "hold"), mute = Widget(editor, "mute");
  const auto pageA = Widget(editor, "a"), pageB = Widget(editor, "b");
  // The second page is hidden: a click where its button lies reaches the first page's slider.
  x_.Click(editor, hold.CentreX(), hold.CentreY());
  EXPECT_TRUE(WaitFor([&] { return Value(0) < 1.0f; }));
  ASSERT_EQ(effect_->plugin->SetParameter(0, 1.0f), plexar::S_OK);
  // Tab headers run along the top of the pages, 8 pixels above them, each as wide as its
  // label (7 pixels a letter) and 20 more: b's follows a's.
  const int tabB = pageA.x + 27 + 13, tabsMiddle = pageB.y - 8 - 13;
  EXPECT_EQ(Value(1), 0.0f);
  x_.Click(editor, tabB, tabsMiddle);
  x_.Press(editor, hold.CentreX(), hold.CentreY());
  EXPECT_TRUE(WaitFor([&] { return Value(1) == 1.0f; })) << "held";
  const std::vector<float> ones(512, 1.0f);
  EXPECT_EQ(Block(*effect_, ones, ones)[0][10], 2.0f);
  x_.Release();
  EXPECT_TRUE(WaitFor([&] { return Value(1) == 0.0f; })) << "let go";
  EXPECT_EQ(Block(*effect_, ones, ones)[0][10], 1.0f);
  x_.Click(editor, mute.x + 10, mute.CentreY());
  EXPECT_TRUE(WaitFor([&] { return Value(2) == 1.0f; }));
  EXPECT_EQ(Block(*effect_, ones, ones)[0][10], 0.0f);
}

TEST_F(FaustEditorTest, AProgramWithoutControlsSaysSo) {
  const Window editor = Open("process = *(0.5);");
  ASSERT_NE(editor, 0u);
  const auto widgets = x_.Widgets(editor);
  ASSERT_EQ(widgets.size(), 1u);
  EXPECT_EQ(widgets[0].kind, "vgroup");
  EXPECT_TRUE(WaitFor([&] { return x_.DarkPixels(editor, 8, 12, 150, 16) > 20; }));
}

// The pictures of the README; written to TESSARY_EDITOR_SHOTS when it names a folder.
TEST_F(FaustEditorTest, TremoloAndGroupedReverbAsPictures) {
  const char* wanted = std::getenv("TESSARY_EDITOR_SHOTS");
  const std::filesystem::path folder = wanted ? wanted : home_.string();
  for (const auto& [code, file, controls] :
       {std::tuple{kTremolo, "editor-tremolo.png", 2}, std::tuple{kReverb, "editor-reverb.png", 6}}) {
    SCOPED_TRACE(file);
    const Window editor = Open(code);
    ASSERT_NE(editor, 0u);
    const auto widgets = x_.Widgets(editor);
    EXPECT_EQ(widgets.size(), static_cast<size_t>(controls) + (controls == 2 ? 1 : 3));
    if (controls == 2) {
      // The pointer on the rate slider shows its tooltip on the line below the controls.
      const auto& root = widgets[0];
      EXPECT_EQ(x_.DarkPixels(editor, 8, root.h + 4, 200, 14), 0);
      x_.Hover(editor, Widget(editor, "rate").CentreX(), Widget(editor, "rate").CentreY());
      EXPECT_TRUE(WaitFor([&] { return x_.DarkPixels(editor, 8, root.h + 4, 200, 14) > 20; }));
    }
    const std::filesystem::path png = folder / file;
    ASSERT_TRUE(x_.SavePng(editor, png.string()));
    EXPECT_GT(std::filesystem::file_size(png), 1000u);
    effect_->plugin->CloseEditor();
    effect_.reset();
  }
}

}  // namespace
