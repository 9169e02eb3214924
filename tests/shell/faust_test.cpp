// SPDX-License-Identifier: GPL-3.0-or-later
// Faust mode end to end: answers with code become snippets and rack entries, broken code
// repairs itself, and a compiled effect is saved as a bundle.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

#include "tests/support/fake_copilot.h"

namespace {

using nlohmann::json;
using testing_support::FakeCopilot;
using testing_support::PtySession;
using testing_support::TessaryPath;
using namespace std::chrono_literals;

constexpr char kSignedIn[] = "\x1b[32m[AI] ";

constexpr char kTremolo[] = R"(declare name "Tremolo";
import("stdfaust.lib");
rate = hslider("rate[unit:Hz]", 5, 0.1, 20, 0.1);
depth = hslider("depth", 0.5, 0, 1, 0.01);
process = *(1 - depth * (0.5 + 0.5 * os.osc(rate)));
)";

// One answer that streams `text` in two pieces.
json AnswerWith(const std::string& text) {
  const size_t half = text.size() / 2;
  return json::array({
      {{"event", "assistant.message_delta"}, {"data", {{"deltaContent", text.substr(0, half)}}}},
      {{"event", "assistant.message_delta"}, {"data", {{"deltaContent", text.substr(half)}}}},
      {{"event", "assistant.message"}, {"data", {{"content", text}}}},
  });
}

json CodeAnswer(const std::string& code) {
  return AnswerWith("Here it is:\n```faust\n" + code + "```\nEnjoy!");
}

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

class FaustModeTest : public ::testing::Test {
 protected:
  // The first answer goes to the faust system prompt and is never shown.
  void Start(json answers, std::map<std::string, std::string> environment = {}) {
    answers.insert(answers.begin(), AnswerWith("Understood."));
    fake_ = std::make_unique<FakeCopilot>(json{{"answers", answers}});
    PtySession::Options options = fake_->Options();
    for (const auto& [name, value] : environment) options.environment[name] = value;
    run_ = std::make_unique<PtySession>(
        std::vector<std::string>{TessaryPath(), "--mode", "faust"}, options);
    ASSERT_TRUE(run_->WaitFor(kSignedIn)) << ::testing::PrintToString(run_->Output());
    run_->Mark();
    home_ = testing_support::TestHome();
  }
  std::vector<std::string> Prompts() {
    std::vector<std::string> prompts;
    for (const json& r : fake_->Received())
      if (r.value("method", "") == "session.send") prompts.push_back(r["params"]["prompt"]);
    return prompts;
  }
  void TearDown() override {
    if (run_ && run_->Running()) {
      run_->Type("/exit\r");
      EXPECT_EQ(run_->WaitForExit(), 0) << ::testing::PrintToString(run_->OutputSinceMark());
    }
  }

  std::unique_ptr<FakeCopilot> fake_;
  std::unique_ptr<PtySession> run_;
  std::string home_;
};

TEST_F(FaustModeTest, AnAnswersCodeBecomesARackEntryAndABundle) {
  Start(json::array({CodeAnswer(kTremolo)}));
  run_->Type("a tremolo please\r");
  ASSERT_TRUE(run_->WaitFor("see /vst for more.\x1b[0m\r\n", 30s))
      << ::testing::PrintToString(run_->OutputSinceMark());
  const std::string out = run_->OutputSinceMark();
  for (const char* expected : {
           "\x1b[36mReceived faust code #1, see /faust for more.\x1b[0m\r\n",
           "\x1b[36mAuto-compiling code 0...\x1b[0m\r\n",
           "\x1b[36mLoaded plugin: Tremolo by Tessary\r\nParameter: depth (0.50)\r\n"
           "Parameter: rate (5.0 Hz)\r\n\x1b[0m",
           "\x1b[33mUse /vst param 1 <name> <value> to set parameter values\r\n\x1b[0m",
           "\x1b[36mCompilation successful, saved to VST #1, see /vst for more.\x1b[0m\r\n"}) {
    EXPECT_NE(out.find(expected), std::string::npos) << ::testing::PrintToString(expected)
                                                     << "\n" << ::testing::PrintToString(out);
  }
  // The faust prompt names the engine's library folder, which holds the libraries.
  const std::string prompt = Prompts().at(0);
  const std::string hint = "Use available faust libraries in folder ";
  const size_t at = prompt.find(hint);
  ASSERT_NE(at, std::string::npos);
  const std::string folder = prompt.substr(at + hint.size(), prompt.find("/libs.", at) - at - hint.size());
  EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(folder) / "libs" / "stdfaust.lib")) << folder;

  ASSERT_TRUE(run_->WaitFor(kSignedIn));
  run_->Mark();
  const std::string bundle = home_ + "/out/Tremolo.vst3";
  run_->Type("/faust compile 1 " + home_ + "/out/Tremolo\r");
  ASSERT_TRUE(run_->WaitFor("\x1b[34mVST #2 saved as " + bundle + ".\x1b[0m\r\n", 30s))
      << ::testing::PrintToString(run_->OutputSinceMark());
  EXPECT_NE(run_->OutputSinceMark().find("\x1b[34mSuccess, #2.\x1b[0m\r\n"), std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(bundle + "/Contents/x86_64-linux/Tremolo.so"));
  std::filesystem::remove_all(home_ + "/out");
}

TEST_F(FaustModeTest, BrokenCodeIsRepairedWithoutAnotherPromptTyped) {
  Start(json::array({CodeAnswer("process = brokn;\n"), CodeAnswer("process = *(;\n"),
                     CodeAnswer("process = *(0.5);\n")}));
  run_->Type("a gain of one half\r");
  ASSERT_TRUE(run_->WaitFor("Compilation successful, saved to VST #1", 60s))
      << ::testing::PrintToString(run_->OutputSinceMark());
  const std::string out = run_->OutputSinceMark();
  EXPECT_EQ(Count(out, "Received faust code #1"), 3u) << out;
  EXPECT_NE(out.find("\x1b[31mCompilation failed, removing code and trying again (2)...\x1b[0m"), std::string::npos);
  EXPECT_NE(out.find("\x1b[31mCompilation failed, removing code and trying again (1)...\x1b[0m"), std::string::npos);
  EXPECT_EQ(Count(out, "\x1b[31mFaust compilation error: "), 2u);
  std::vector<std::string> prompts = Prompts();
  ASSERT_EQ(prompts.size(), 4u);
  EXPECT_EQ(prompts[1], "a gain of one half");
  const std::string retry = "Please try again because faust compiler generated this error: \r\n";
  EXPECT_EQ(prompts[2].rfind(retry, 0), 0u);
  EXPECT_NE(prompts[2].find("brokn"), std::string::npos) << prompts[2];
  EXPECT_EQ(prompts[3].rfind(retry, 0), 0u);

  ASSERT_TRUE(run_->WaitFor(kSignedIn));
  run_->Mark();
  run_->Type("/faust list\r");
  EXPECT_TRUE(run_->WaitFor("\x1b[36mFausts: 1\x1b[0m\r\n"));
}

TEST_F(FaustModeTest, CtrlCDuringARepairAnswerStopsTheRepairs) {
  json holding = CodeAnswer("process = *(;\n");
  holding.insert(holding.begin(), json{{"hold", true}});
  Start(json::array({CodeAnswer("process = brokn;\n"), holding}));
  run_->Type("something\r");
  ASSERT_TRUE(run_->WaitFor("trying again (2)", 30s));
  // The repair prompt went out on its own and its answer is held back; one Ctrl+C stops it.
  std::this_thread::sleep_for(300ms);
  run_->Type("\x03");
  ASSERT_TRUE(run_->WaitFor("\x1b[33mRepairs stopped.\x1b[0m\r\n", 10s));
  ASSERT_TRUE(run_->WaitFor(kSignedIn, 10s)) << ::testing::PrintToString(run_->OutputSinceMark());
  EXPECT_EQ(Prompts().size(), 3u);
  EXPECT_EQ(run_->OutputSinceMark().find("trying again (1)"), std::string::npos);
}

// Repairs that never compile, each answered at once: a Ctrl+C lands in an answer or between
// a failed compile and the next repair prompt, and used to be taken as a copy key there.
TEST_F(FaustModeTest, OneCtrlCEndsAnEndlessRepairLoop) {
  json answers = json::array();
  for (int i = 0; i < 60; ++i) answers.push_back(CodeAnswer("process = brokn" + std::to_string(i) + ";\n"));
  Start(answers);
  run_->Type("/retries 1000\r");
  ASSERT_TRUE(run_->WaitFor("\x1b[36mSet to 1000.\x1b[0m"));
  run_->Type("something\r");
  ASSERT_TRUE(run_->WaitFor("trying again (997)", 30s));
  run_->Type("\x03");
  ASSERT_TRUE(run_->WaitFor("\x1b[33mRepairs stopped.\x1b[0m\r\n", 10s));
  ASSERT_TRUE(run_->WaitFor(kSignedIn, 10s)) << ::testing::PrintToString(run_->OutputSinceMark());
  const size_t sent = Prompts().size();
  std::this_thread::sleep_for(1s);
  EXPECT_EQ(Prompts().size(), sent);
  EXPECT_LT(sent, 40u);
}

TEST_F(FaustModeTest, WithNegativeRetriesAFailureKeepsItsSnippet) {
  Start(json::array({CodeAnswer("process = brokn;\n")}));
  run_->Type("/retries -5\r");
  ASSERT_TRUE(run_->WaitFor("\x1b[36mSet to -5.\x1b[0m"));
  run_->Type("something\r");
  ASSERT_TRUE(run_->WaitFor("Faust compilation error", 30s));
  ASSERT_TRUE(run_->WaitFor(kSignedIn));
  run_->Type("/faust list\r");
  ASSERT_TRUE(run_->WaitFor("\x1b[36mFausts: 1\x1b[0m\r\n"));
  EXPECT_EQ(run_->OutputSinceMark().find("trying again"), std::string::npos);
  EXPECT_EQ(Prompts().size(), 2u);
}

bool Ffmpeg(const std::string& arguments, const std::string& file) {
  return std::system(("ffmpeg -nostdin -loglevel error -y " + arguments + " '" + file + "'").c_str()) == 0;
}

// The sound goes to an ALSA device that throws it away, so no sound card is needed.
std::map<std::string, std::string> SilentSoundDevice(const std::string& folder) {
  const std::string config = folder + "/alsa.conf";
  std::ofstream(config) << "pcm.nowhere {\n  type file\n  slave.pcm { type null }\n"
                           "  file \"/dev/null\"\n  format \"raw\"\n}\n";
  return {{"ALSA_CONFIG_PATH", config}, {"TESSARY_AUDIO_DEVICE", "nowhere"}};
}

TEST_F(FaustModeTest, SourcesPlayThroughTheRackRenderAndExitEndsAtOnce) {
  const std::string folder = testing_support::TestHome() + "/sources";
  std::filesystem::create_directories(folder);
  ASSERT_TRUE(Ffmpeg("-f lavfi -i 'aevalsrc=0.5*sin(2*PI*440*t):s=44100:d=1'", folder + "/tone.flac"));
  ASSERT_TRUE(Ffmpeg("-f lavfi -i anullsrc=r=48000:cl=stereo -t 600", folder + "/long.flac"));
  Start(json::array(), SilentSoundDevice(folder));
  run_->Type("/source load " + folder + "/tone.flac\r");
  run_->Type("/vst load /usr/lib/lxvst/DragonflyHallReverb-vst.so\r");
  run_->Type("/vst apply 1 1\r");
  run_->Type("/source render 1 " + folder + "/out.wav\r");
  ASSERT_TRUE(run_->WaitFor("\x1b[34mSource #1 -> " + folder + "/out.wav (", 30s))
      << ::testing::PrintToString(run_->OutputSinceMark());
  EXPECT_GT(std::filesystem::file_size(folder + "/out.wav"), 48000u * 4);
  run_->Type("/source load " + folder + "/long.flac\r");
  run_->Type("/source load " + folder + "/long.flac\r");
  run_->Type("/source play 2\r");
  run_->Type("/source play 3\r");
  run_->Type("/source list\r");
  ASSERT_TRUE(run_->WaitFor("#3: " + folder + "/long.flac, playing, chain: none", 10s))
      << ::testing::PrintToString(run_->OutputSinceMark());
  EXPECT_NE(run_->OutputSinceMark().find("#1: " + folder + "/tone.flac, stopped, chain: 1"),
            std::string::npos);
  const auto before = std::chrono::steady_clock::now();
  run_->Type("/exit\r");
  EXPECT_EQ(run_->WaitForExit(), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - before, 3s);
  std::filesystem::remove_all(folder);
}

TEST_F(FaustModeTest, ANewEffectJoinsEverySourceAtLevelTwo) {
  const std::string folder = testing_support::TestHome() + "/level2";
  std::filesystem::create_directories(folder);
  ASSERT_TRUE(Ffmpeg("-f lavfi -i anullsrc=r=48000:cl=stereo -t 1", folder + "/quiet.wav"));
  Start(json::array({CodeAnswer("process = *(0.5), *(0.5);\n")}), SilentSoundDevice(folder));
  run_->Type("/source load " + folder + "/quiet.wav\r");
  run_->Type("/source load " + folder + "/quiet.wav\r");
  ASSERT_TRUE(run_->WaitFor("#2: "));
  run_->Type("half the level\r");
  ASSERT_TRUE(run_->WaitFor("\x1b[36mApplying to all sources...\x1b[0m\r\n", 30s))
      << ::testing::PrintToString(run_->OutputSinceMark());
  run_->Type("/source list\r");
  EXPECT_TRUE(run_->WaitFor("#2: " + folder + "/quiet.wav, stopped, chain: 1"));
  EXPECT_NE(run_->OutputSinceMark().find("#1: " + folder + "/quiet.wav, stopped, chain: 1"),
            std::string::npos);
  std::filesystem::remove_all(folder);
}

}  // namespace
