// SPDX-License-Identifier: GPL-3.0-or-later
// A compiled Faust effect's parameter list, one menu item away from its own editor: a value
// typed there is heard in what its source renders.
#include "audio_files.h"
#include "engine_fixture.h"
#include "faust/audio_in.h"
#include "faust/render.h"
#include "plexar/editor/commands.h"
#include "plexar/editor/editor_probe.h"
#include "xvfb_display.h"

namespace {

namespace fs = std::filesystem;

class FaustParameterListTest : public faust_testing::EngineTest {
 protected:
  static void SetUpTestSuite() {
    ASSERT_TRUE(plexar::testing::StartXvfb());
    EngineTest::SetUpTestSuite();
  }
};

TEST_F(FaustParameterListTest, ValueTypedInTheListIsRendered) {
  auto effect = Load("import(\"stdfaust.lib\"); gain = hslider(\"gain[unit:dB]\", 0, -60, 0, 0.1) : ba.db2linear; process = *(gain);");
  ASSERT_TRUE(effect);
  ASSERT_EQ(effect->plugin->ShowEditor(nullptr, 0, 0), plexar::S_OK);
  ASSERT_TRUE(plexar::editor::ActivateMenuItem(effect->plugin, plexar::editor::kParameters));
  const auto rows = plexar::editor::ShownParameters(effect->plugin);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].name, "gain");
  EXPECT_EQ(rows[0].value + " " + rows[0].units, "0.0 dB");
  EXPECT_EQ(rows[1].name, "Bypass");
  ASSERT_TRUE(plexar::editor::EnterParameterValue(effect->plugin, rows[0].id, "-12.04dB"));
  EXPECT_EQ(plexar::editor::ShownParameters(effect->plugin)[0].value, "-12.0");

  const fs::path file = home_ / "dc-list.wav";
  ASSERT_TRUE(faust_test::Ffmpeg("-f lavfi -i aevalsrc=0.5:s=48000:d=1 -ac 1", file));
  AUDIO_IN source;
  source.file = file.string();
  source.chain = {effect};
  const fs::path out = home_ / "rendered-list.wav";
  std::atomic<bool> cancel{false};
  std::string error;
  ASSERT_TRUE(faust::RenderSource(source, out.string(), cancel, nullptr, nullptr, &error)) << error;
  SF_INFO info{};
  std::vector<int16_t> samples = faust_test::ReadWav(out, &info);
  ASSERT_GT(info.frames, 40000);
  // 0.5 times the typed -12.04 dB, a quarter.
  for (size_t frame = 1000; frame < 40000; frame += 97) ASSERT_NEAR(samples[2 * frame], 4095, 2) << frame;
}

}  // namespace
