// SPDX-License-Identifier: GPL-3.0-or-later
// The editor's threads under ThreadSanitizer: frames, lists and test runs opened, driven and
// closed from a thread other than the UI thread while the view's timer runs. (The test
// plug-ins keep their records unsynchronised, so no block is processed meanwhile.)
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "plexar/editor/commands.h"
#include "plexar/editor/editor.h"
#include "plexar/editor/editor_probe.h"
#include "vst2_test_support.h"
#include "vst3_test_support.h"
#include "xvfb_display.h"

namespace plexar {
namespace {

using testing::WaitFor;

TEST(EditorThreadsTest, FramesListsAndTestRunsAcrossThreads) {
  ASSERT_TRUE(testing::StartXvfb());
  VstPtr view = LoadVst3(TESSARY_VIEW_SO);
  Vst2Ptr fx = LoadVst2(TESSARY_V2EDITOR_SO);
  for (int round = 0; round < 3; ++round) {
    ASSERT_EQ(view->ShowEditor(nullptr, 0, 0), S_OK);
    ASSERT_EQ(fx->ShowEditor(nullptr, 0, 0), S_OK);
    ASSERT_EQ(view->ShowEditor(nullptr, 2, 0), S_OK);
    FileCmd(fx.get(), nullptr, 0, editor::kTestRun, 0);
    EXPECT_TRUE(WaitFor([&] { return !editor::ShownParameters(view.get()).empty(); }));
    view->KeyDown(65);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(view->CloseEditor(), S_OK);
    EXPECT_EQ(fx->CloseEditor(), S_OK);
  }
}

}  // namespace
}  // namespace plexar
