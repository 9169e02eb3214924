// SPDX-License-Identifier: GPL-3.0-or-later
// The editor frame and the parameter list on a private Xvfb server: plug-in views drawing in
// the frame's child area (read back with XGetImage), the menu, FileCmd, and closing.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "plexar/editor/commands.h"
#include "plexar/editor/editor.h"
#include "plexar/editor/editor_probe.h"
#include "plexar/vst3/ref.h"
#include "test_probe.h"
#include "view_record.h"
#include "vst2_test_support.h"
#include "vst3_test_support.h"
#include "x11_screen.h"
#include "xvfb_display.h"

namespace plexar {
namespace {

using editor::ActivateMenuItem;
using editor::FrameChildWindow;
using editor::MenuItemChecked;
using editor::ShownParameters;
using testing::WaitFor;
using testing::X11Screen;

class EditorSink final : public GenericCallback<VSTNOTIFICATION> {
 public:
  HRESULT OnStateChanged(int32_t flag) override {
    if (flag == 1) ++stateChanges;
    return S_OK;
  }
  HRESULT OnEditorClosed(VST*) override {
    ++editorClosed;
    return S_OK;
  }
  std::atomic<int> stateChanges{0};
  std::atomic<int> editorClosed{0};
};

// Keeps a module loaded beside the host's own handle, so that its records outlive Unload.
class HeldModule {
 public:
  explicit HeldModule(const char* path) : handle_(dlopen(path, RTLD_NOW | RTLD_LOCAL)) {}
  ~HeldModule() {
    if (handle_) dlclose(handle_);
  }
  template <class T>
  T Symbol(const char* name) const {
    return reinterpret_cast<T>(handle_ ? dlsym(handle_, name) : nullptr);
  }

 private:
  void* handle_;
};

class EditorTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_TRUE(testing::StartXvfb()) << "Xvfb did not start"; }
  void SetUp() override { ASSERT_TRUE(screen_.Open()); }

  HWND EditorWindow(VST* vst) {
    HWND window = nullptr;
    EXPECT_EQ(vst->GetEditorWindow(&window), S_OK);
    return window;
  }

  X11Screen screen_;
};

TEST_F(EditorTest, Vst3ViewDrawsFromItsRunLoopTimerAndResizesTheFrame) {
  HeldModule module(TESSARY_VIEW_SO);
  testplug::ViewRecord* record = module.Symbol<testplug::ViewRecordProc>("TestViewRecord")();
  VstPtr vst = LoadVst3(TESSARY_VIEW_SO);
  auto* sink = new EditorSink;
  vst->Advise(sink);

  ASSERT_EQ(vst->ShowEditor(nullptr, 0, 0), S_OK);
  EXPECT_EQ(editor::FrameTitle(vst.get()), "TessaryView");
  const unsigned long child = FrameChildWindow(vst.get());
  ASSERT_NE(child, 0u);
  EXPECT_EQ(record->parent.load(), child);
  EXPECT_TRUE(record->runLoopFound);
  // The view draws only from its timer, so its colour in the frame shows the run loop works.
  EXPECT_TRUE(WaitFor([&] { return screen_.Pixel(child, 20, 20) == long{testplug::kViewColour}; }))
      << std::hex << screen_.Pixel(child, 20, 20);
  EXPECT_GT(record->timerTicks.load(), 0);
  int width = 0, height = 0;
  ASSERT_TRUE(screen_.Size(child, &width, &height));
  EXPECT_EQ(width, 200);
  EXPECT_EQ(height, 120);

  EXPECT_EQ(vst->ShowEditor(nullptr, 0, 0), S_FALSE);

  // A key makes the view ask the frame for more room through IPlugFrame::resizeView.
  ASSERT_EQ(vst->KeyDown(65), S_OK);
  EXPECT_TRUE(WaitFor([&] {
    return screen_.Size(child, &width, &height) && width == testplug::kGrownWidth &&
           height == testplug::kGrownHeight;
  })) << width << "x" << height;
  EXPECT_EQ(record->width.load(), testplug::kGrownWidth);
  int frameWidth = 0, frameHeight = 0;
  ASSERT_TRUE(screen_.Size(reinterpret_cast<unsigned long>(EditorWindow(vst.get())), &frameWidth, &frameHeight));
  EXPECT_GE(frameWidth, testplug::kGrownWidth);
  EXPECT_GT(frameHeight, testplug::kGrownHeight);  // the menu bar sits above the view

  const HWND frame = EditorWindow(vst.get());
  EXPECT_EQ(vst->CloseEditor(), S_OK);
  EXPECT_EQ(record->removed.load(), 1);
  EXPECT_EQ(record->released.load(), record->created.load());
  EXPECT_EQ(sink->editorClosed.load(), 1);
  EXPECT_EQ(EditorWindow(vst.get()), nullptr);
  EXPECT_FALSE(screen_.Exists(reinterpret_cast<unsigned long>(frame)));
  vst->Unadvise(sink);
  sink->Release();
}

TEST_F(EditorTest, Vst2EditorDrawsInTheChildAreaOnIdleCalls) {
  Vst2Ptr vst = LoadVst2(TESSARY_V2EDITOR_SO);
  ASSERT_EQ(vst->ShowEditor(nullptr, 0, 0), S_OK);
  const unsigned long child = FrameChildWindow(vst.get());
  ASSERT_NE(child, 0u);
  EXPECT_EQ(static_cast<unsigned long>(Record(vst.get())->editParent), child);
  EXPECT_TRUE(WaitFor([&] { return screen_.Pixel(child, 10, 10) == long{testplug2::kEditorColour}; }));
  int width = 0, height = 0;
  ASSERT_TRUE(screen_.Size(child, &width, &height));
  EXPECT_EQ(width, testplug2::kEditorWidth);
  EXPECT_EQ(height, testplug2::kEditorHeight);
  EXPECT_EQ(vst->ShowEditor(nullptr, 1, 0), S_FALSE);

  // The plug-in asks for a new size, as the host says it can.
  EXPECT_EQ(AskHost(vst.get(), vst2::audioMasterSizeWindow, 240, 130), 1);
  EXPECT_TRUE(WaitFor([&] { return screen_.Size(child, &width, &height) && width == 240 && height == 130; }))
      << width << "x" << height;
  EXPECT_EQ(AskHost(vst.get(), vst2::audioMasterSizeWindow, 0, 130), 0);
}

TEST_F(EditorTest, DebianVst2ReverbShowsItsOwnEditor) {
  Vst2Ptr vst = LoadVst2("/usr/lib/lxvst/DragonflyHallReverb-vst.so");
  ASSERT_EQ(vst->ShowEditor(nullptr, 0, 0), S_OK);
  const unsigned long child = FrameChildWindow(vst.get());
  ASSERT_NE(child, 0u);
  // Before the plug-in draws the area is plain white; its own editor is an image of many colours.
  EXPECT_TRUE(WaitFor([&] { return screen_.Colours(child) > 50; }, 20)) << screen_.Colours(child);
  int width = 0, height = 0;
  ASSERT_TRUE(screen_.Size(child, &width, &height));
  EXPECT_GT(width, 400);
  EXPECT_GT(height, 200);
}

TEST_F(EditorTest, ProgramChosenFromTheMenuIsSelectedAndChecked) {
  Vst2Ptr vst = LoadVst2(TESSARY_V2EDITOR_SO);
  auto* sink = new EditorSink;
  vst->Advise(sink);
  ASSERT_EQ(vst->ShowEditor(nullptr, 0, 0), S_OK);
  EXPECT_EQ(MenuItemChecked(vst.get(), editor::kProgramFirst), 1);

  ASSERT_TRUE(ActivateMenuItem(vst.get(), editor::kProgramFirst + 2));
  int32_t program = -1;
  EXPECT_EQ(vst->GetProgram(&program), S_OK);
  EXPECT_EQ(program, 2);
  EXPECT_EQ(MenuItemChecked(vst.get(), editor::kProgramFirst + 2), 1);
  EXPECT_EQ(MenuItemChecked(vst.get(), editor::kProgramFirst), 0);
  EXPECT_EQ(sink->stateChanges.load(), 1);

  ASSERT_TRUE(ActivateMenuItem(vst.get(), editor::kBypass));
  int32_t bypass = 0;
  vst->GetBypass(&bypass);
  EXPECT_EQ(bypass, 1);
  EXPECT_EQ(MenuItemChecked(vst.get(), editor::kBypass), 1);
  EXPECT_EQ(sink->stateChanges.load(), 2);
  vst->Unadvise(sink);
  sink->Release();
}

TEST_F(EditorTest, MenuOpensTheAboutBoxTheStateDialogAndTheParameterList) {
  Vst2Ptr vst = LoadVst2(TESSARY_V2EDITOR_SO);
  ASSERT_EQ(vst->ShowEditor(nullptr, 0, 0), S_OK);
  auto shows = [](const std::string& title) {
    const auto titles = editor::WindowTitles();
    return std::find(titles.begin(), titles.end(), title) != titles.end();
  };
  ASSERT_TRUE(ActivateMenuItem(vst.get(), editor::kAbout));
  EXPECT_TRUE(shows("Tarnwick"));
  ASSERT_TRUE(ActivateMenuItem(vst.get(), editor::kStateSave));
  EXPECT_TRUE(shows("Save State"));
  ASSERT_TRUE(ActivateMenuItem(vst.get(), editor::kParameters));
  EXPECT_TRUE(shows("Parameters: Tessary V2 Test"));
  EXPECT_EQ(ShownParameters(vst.get()).size(), 2u);
  // Closing the frame takes its dialogs along; the parameter list stays until Unload.
  EXPECT_EQ(vst->CloseEditor(), S_OK);
  EXPECT_FALSE(shows("Tarnwick"));
  EXPECT_FALSE(shows("Save State"));
  EXPECT_TRUE(shows("Parameters: Tessary V2 Test"));
  EXPECT_EQ(vst->Unload(), S_OK);
  EXPECT_EQ(editor::WindowTitles(), std::vector<std::string>{});
}

TEST_F(EditorTest, StateSavedThenLoadedThroughFileCmd) {
  Vst2Ptr vst = LoadVst2(TESSARY_V2EDITOR_SO);
  ASSERT_EQ(vst->ShowEditor(nullptr, 0, 0), S_OK);
  const std::filesystem::path file =
      std::filesystem::temp_directory_path() / ("tessary-editor-" + std::to_string(getpid()) + ".fxb");
  ASSERT_EQ(vst->SetParameter(0, 0.875f), S_OK);
  HWND frame = EditorWindow(vst.get());
  FileCmd(vst.get(), frame, 0, editor::kStateSave, 0, &file);
  ASSERT_TRUE(std::filesystem::exists(file));

  ASSERT_EQ(vst->SetParameter(0, 0.125f), S_OK);
  FileCmd(vst.get(), frame, 0, editor::kStateLoad, 0, &file);
  float value = 0;
  EXPECT_EQ(vst->GetParameter(0, &value), S_OK);
  EXPECT_FLOAT_EQ(value, 0.875f);
  std::filesystem::remove(file);
}

TEST_F(EditorTest, TestRunPlaysNotesUntilTheFrameCloses) {
  Vst2Ptr vst = LoadVst2(TESSARY_V2EDITOR_SO);
  ASSERT_EQ(vst->ShowEditor(nullptr, 0, 0), S_OK);
  ASSERT_EQ(vst->AllocateBuffers(), S_OK);
  FileCmd(vst.get(), EditorWindow(vst.get()), 0, editor::kTestRun, 0);
  auto* record = Record(vst.get());
  EXPECT_TRUE(WaitFor([&] {
    RunBlock2(vst.get());
    return record->eventCount >= 2;
  }));
  const auto* note = reinterpret_cast<const uint8_t*>(record->events[0].midiData);
  EXPECT_EQ(note[0], 0x90);
  EXPECT_EQ(note[1], 60);
  EXPECT_EQ(note[2], 127);
  // Closing the frame stops the run and joins its worker.
  EXPECT_EQ(vst->CloseEditor(), S_OK);
  RunBlock2(vst.get());
  const int32_t played = record->eventCount;
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  RunBlock2(vst.get());
  EXPECT_LE(record->eventCount, played + 1);  // at most the last note's release
}

TEST_F(EditorTest, ModalShowEditorReturnsWhenTheFrameCloses) {
  Vst2Ptr vst = LoadVst2(TESSARY_V2EDITOR_SO);
  std::atomic<HRESULT> shown{E_UNEXPECTED};
  std::thread caller([&] { shown = vst->ShowEditor(nullptr, 0, 1); });
  ASSERT_TRUE(WaitFor([&] { return FrameChildWindow(vst.get()) != 0; }));
  EXPECT_EQ(shown.load(), E_UNEXPECTED);  // still waiting for the frame
  EXPECT_EQ(vst->CloseEditor(), S_OK);
  caller.join();
  EXPECT_EQ(shown.load(), S_OK);
}

TEST_F(EditorTest, UnloadWithTheEditorOpenClosesIt) {
  HeldModule module(TESSARY_V2EDITOR_SO);
  auto closed = module.Symbol<testplug2::Vst2TestRecord* (*)()>("TestClosedRecord");
  Vst2Ptr vst = LoadVst2(TESSARY_V2EDITOR_SO);
  ASSERT_EQ(vst->ShowEditor(nullptr, 0, 0), S_OK);
  const auto frame = reinterpret_cast<unsigned long>(EditorWindow(vst.get()));
  ASSERT_TRUE(screen_.Exists(frame));

  EXPECT_EQ(vst->Unload(), S_OK);
  EXPECT_EQ(closed()->editCloses, 1);
  EXPECT_EQ(EditorWindow(vst.get()), nullptr);
  EXPECT_FALSE(screen_.Exists(frame));
}

TEST_F(EditorTest, ParameterListSkipsMidiCcSortsAndFollowsThePlugin) {
  VstPtr vst = LoadVst3(TESSARY_VIEW_SO);
  ASSERT_EQ(vst->ShowEditor(nullptr, 2, 0), S_OK);
  auto names = [&] {
    std::vector<std::string> shown;
    for (const auto& row : ShownParameters(vst.get())) shown.push_back(row.name);
    return shown;
  };
  using Names = std::vector<std::string>;
  EXPECT_EQ(names(), (Names{"Gain", "Alpha", "Zeta"}));
  EXPECT_EQ(ShownParameters(vst.get())[1].units, "dB");
  ASSERT_TRUE(editor::ClickParameterHeader(vst.get(), editor::kNameColumn));
  EXPECT_EQ(names(), (Names{"Alpha", "Gain", "Zeta"}));
  ASSERT_TRUE(editor::ClickParameterHeader(vst.get(), editor::kNameColumn));
  EXPECT_EQ(names(), (Names{"Zeta", "Gain", "Alpha"}));

  // The plug-in automates its gain: the list follows, in the plug-in's own text.
  Probe(vst.get())->Poke(1);
  EXPECT_TRUE(WaitFor([&] { return ShownParameters(vst.get())[1].value == "0.25"; }));

  ASSERT_TRUE(editor::EnterParameterValue(vst.get(), 2, "0.75"));
  float value = 0;
  EXPECT_EQ(vst->GetParameter(2, &value), S_OK);
  EXPECT_FLOAT_EQ(value, 0.75f);
  EXPECT_EQ(ShownParameters(vst.get())[2].value, "0.75");
  EXPECT_FALSE(editor::EnterParameterValue(vst.get(), 2, "loud"));
}

TEST_F(EditorTest, AParameterListDestroyedFromOutsideOpensAgain) {
  VstPtr vst = LoadVst3(TESSARY_VIEW_SO);
  ASSERT_EQ(vst->ShowEditor(nullptr, 2, 0), S_OK);
  const unsigned long window = editor::ParameterListWindow(vst.get());
  ASSERT_NE(window, 0u);
  ASSERT_TRUE(editor::DestroyParameterListWidget(vst.get()));
  ASSERT_TRUE(WaitFor([&] { return editor::ParameterListWindow(vst.get()) == 0; }));
  ASSERT_EQ(vst->ShowEditor(nullptr, 2, 0), S_OK);
  const unsigned long again = editor::ParameterListWindow(vst.get());
  ASSERT_NE(again, 0u);
  EXPECT_TRUE(screen_.Exists(again));
  EXPECT_EQ(ShownParameters(vst.get()).size(), 3u);
}

TEST_F(EditorTest, Vst2PluginWithoutEditorGetsTheParameterList) {
  Vst2Ptr vst = LoadVst2(TESSARY_V2FX_SO);
  EXPECT_EQ(vst->ShowEditor(nullptr, 0, 0), S_OK);
  EXPECT_EQ(FrameChildWindow(vst.get()), 0u);
  const auto rows = ShownParameters(vst.get());
  ASSERT_EQ(rows.size(), 2u);
  // The plug-in's display and label, and a plain value typed as at the prompt.
  EXPECT_EQ(rows[0].name, "Gain");
  EXPECT_EQ(rows[0].value + " " + rows[0].units, "0.0 dB");
  EXPECT_EQ(rows[1].name, "Mix");
  EXPECT_EQ(rows[1].value + " " + rows[1].units, "25 %");
  ASSERT_TRUE(editor::EnterParameterValue(vst.get(), 1, "40%"));
  EXPECT_EQ(ShownParameters(vst.get())[1].value, "40");
  EXPECT_FALSE(editor::EnterParameterValue(vst.get(), 1, "150%"));
  EXPECT_EQ(ShownParameters(vst.get())[1].value, "40");
}

// Without an X server nothing is started and every editor call fails at once.
TEST(NoDisplayTest, EditorCallsFailAndNothingElseChanges) {
  unsetenv("DISPLAY");
  Vst2Ptr vst = LoadVst2(TESSARY_V2EDITOR_SO);
  EXPECT_EQ(vst->ShowEditor(nullptr, 0, 0), E_FAIL);
  EXPECT_EQ(vst->ShowEditor(nullptr, 2, 1), E_FAIL);
  EXPECT_FALSE(editor::EditorsAvailable());
  FileCmd(vst.get(), nullptr, 0, editor::kBypass, 0);
  int32_t bypass = 0;
  vst->GetBypass(&bypass);
  EXPECT_EQ(bypass, 0);
  HWND window = reinterpret_cast<HWND>(1);
  EXPECT_EQ(vst->GetEditorWindow(&window), S_OK);
  EXPECT_EQ(window, nullptr);
  EXPECT_EQ(vst->CloseEditor(), S_OK);
  ASSERT_EQ(vst->AllocateBuffers(), S_OK);
  EXPECT_EQ(RunBlock2(vst.get()), S_OK);
  EXPECT_EQ(Record(vst.get())->processCalls, 1);

  // A display that does not answer fails the same way.
  setenv("DISPLAY", ":4093", 1);
  EXPECT_EQ(vst->ShowEditor(nullptr, 0, 0), E_FAIL);
  EXPECT_EQ(Record(vst.get())->editParent, 0);
}

}  // namespace
}  // namespace plexar
