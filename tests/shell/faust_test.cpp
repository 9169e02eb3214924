// SPDX-License-Identifier: GPL-3.0-or-later
// Faust mode end to end: answers with code become snippets and rack entries, broken code
// repairs itself, and a compiled effect is saved as a bundle.
#include <gtest/gtest.h>
#include <X11/Xlib.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sndfile.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

#include "tests/support/fake_copilot.h"
#include "xvfb_display.h"
// Last: Xlib's macros clash with names in the headers above.
#include "tests/faust/editor_window.h"

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
           "Parameter: rate (5.0 Hz)\r\nParameter: Bypass (Off)\r\n\x1b[0m",
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
  // Both ways of saving write the code with its libraries in, and keep it as it came beside.
  run_->Mark();
  run_->Type("/vst save 1 " + home_ + "/out/Again\r");
  ASSERT_TRUE(run_->WaitFor("\x1b[34mVST 1 -> " + home_ + "/out/Again.vst3.\x1b[0m\r\n", 30s))
      << ::testing::PrintToString(run_->OutputSinceMark());
  for (const std::string name : {"Tremolo", "Again"}) {
    const std::string resources = home_ + "/out/" + name + ".vst3/Contents/Resources/";
    std::ifstream loaded(resources + name + ".dsp"), source(resources + "Source/" + name + ".dsp");
    const std::string expanded((std::istreambuf_iterator<char>(loaded)), std::istreambuf_iterator<char>());
    const std::string original((std::istreambuf_iterator<char>(source)), std::istreambuf_iterator<char>());
    EXPECT_NE(expanded.find("declare name \"Tremolo\""), std::string::npos) << name;
    EXPECT_EQ(expanded.find("import("), std::string::npos) << name;
    EXPECT_NE(original.find("import(\"stdfaust.lib\")"), std::string::npos) << name;
  }
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

// Untrusted code runs in host processes: what goes wrong there costs one rack entry.

// The first sample of a rendered file, as a float.
float FirstSample(const std::string& file) {
  SF_INFO info{};
  SNDFILE* sound = sf_open(file.c_str(), SFM_READ, &info);
  if (!sound) return -2;
  float frame[2] = {-2, -2};
  sf_readf_float(sound, frame, 1);
  sf_close(sound);
  return frame[0];
}

// Processes that carry `tag` in their environment: hosts a run left behind.
int ProcessesTagged(const std::string& tag) {
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    std::ifstream environ(entry.path() / "environ", std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(environ)), std::istreambuf_iterator<char>());
    if (text.find(tag) != std::string::npos) ++count;
  }
  return count;
}

TEST_F(FaustModeTest, FaultyPluginsCostOnlyTheirOwnEntry) {
  const std::string folder = testing_support::TestHome() + "/faulty";
  std::filesystem::create_directories(folder);
  ASSERT_TRUE(Ffmpeg("-f lavfi -i 'aevalsrc=0.95|0.95:s=48000:d=0.5'", folder + "/loud.wav"));
  ASSERT_TRUE(Ffmpeg("-f lavfi -i 'aevalsrc=0.1|0.1:s=48000:d=0.5'", folder + "/quiet.wav"));
  auto environment = SilentSoundDevice(folder);
  const std::string tag = "TESSARY_TEST_TAG=faulty" + std::to_string(getpid());
  environment[tag.substr(0, tag.find('='))] = tag.substr(tag.find('=') + 1);
  // A block passed dry for lateness on a busy machine would make the levels below lie.
  environment["TESSARY_BLOCK_DEADLINE_MS"] = "1000";
  Start(json::array(), environment);

  run_->Type(std::string("/vst load ") + TESSARY_V2CRASHATCREATION_SO + "\r");
  ASSERT_TRUE(run_->WaitFor("as a VST 2 or VST 3 plug-in: it crashed (SIGSEGV).", 30s))
      << ::testing::PrintToString(run_->OutputSinceMark());
  run_->Type("/vst list\r");
  ASSERT_TRUE(run_->WaitFor("VSTs: 0"));

  // A crash while rendering costs only the render's own instance: the render goes on dry and
  // the rack's entry is untouched.
  run_->Type("/source load " + folder + "/loud.wav\r");
  run_->Type(std::string("/vst load ") + TESSARY_V2CRASH_SO + "\r");
  run_->Type("/vst param 1 Gain 0.25\r");
  run_->Type("/vst apply 1 1\r");
  run_->Type("/source render 1 " + folder + "/crashed.wav\r");
  ASSERT_TRUE(run_->WaitFor(") crashed (SIGSEGV) and was bypassed.", 30s))
      << ::testing::PrintToString(run_->OutputSinceMark());
  ASSERT_TRUE(run_->WaitFor("\x1b[34mSource #1 -> " + folder + "/crashed.wav (", 30s));
  EXPECT_NE(run_->OutputSinceMark().find("VST #1 ("), std::string::npos);
  EXPECT_NEAR(FirstSample(folder + "/crashed.wav"), 0.95, 0.01);  // played dry
  run_->Mark();
  run_->Type("/vst list\r");
  ASSERT_TRUE(run_->WaitFor("VSTs: 1"));
  EXPECT_EQ(run_->Settle().find("bypassed (/vst reload"), std::string::npos);

  // A crash while playing costs the entry until it runs again, with its value.
  run_->Mark();
  run_->Type("/source play 1\r");
  ASSERT_TRUE(run_->WaitFor("VST #1 (", 30s)) << ::testing::PrintToString(run_->OutputSinceMark());
  ASSERT_TRUE(run_->WaitFor(") crashed (SIGSEGV) and was bypassed.", 30s));
  // Blocks of the loud source still under way would crash the entry again once it runs.
  run_->Type("/vst remove 1 1\r");
  run_->Type("/source stop 1\r");
  run_->Type("/vst list\r");
  ASSERT_TRUE(run_->WaitFor("crashed (SIGSEGV), bypassed (/vst reload 1)"));
  run_->Type("/vst reload 1\r");
  ASSERT_TRUE(run_->WaitFor(") runs again.", 30s)) << ::testing::PrintToString(run_->OutputSinceMark());
  run_->Type("/source load " + folder + "/quiet.wav\r");
  run_->Type("/vst apply 1 2\r");
  run_->Type("/source render 2 " + folder + "/again.wav\r");
  ASSERT_TRUE(run_->WaitFor("\x1b[34mSource #2 -> " + folder + "/again.wav (", 30s));
  EXPECT_NEAR(FirstSample(folder + "/again.wav"), 0.05, 0.005);  // Gain 0.25 halves it

  // A process call that never returns: the render waits a while, goes on dry, and says so.
  run_->Type(std::string("/vst load ") + TESSARY_V2HANG_SO + "\r");
  run_->Type("/source load " + folder + "/loud.wav\r");
  run_->Type("/vst apply 2 3\r");
  run_->Type("/source render 3 " + folder + "/hung.wav\r");
  ASSERT_TRUE(run_->WaitFor(") stopped responding and was bypassed.", 30s))
      << ::testing::PrintToString(run_->OutputSinceMark());
  ASSERT_TRUE(run_->WaitFor("\x1b[34mSource #3 -> " + folder + "/hung.wav (", 30s));
  run_->Type("/exit\r");
  EXPECT_EQ(run_->WaitForExit(), 0);
  EXPECT_EQ(ProcessesTagged(tag), 0);
  std::filesystem::remove_all(folder);
}

// In-process nothing can end a plug-in that never returns: it holds up only the sources
// that use it, never the prompt or the other sources.
TEST_F(FaustModeTest, AHungPluginInProcessHoldsUpOnlyItsOwnSource) {
  const std::string folder = testing_support::TestHome() + "/hung";
  std::filesystem::create_directories(folder);
  ASSERT_TRUE(Ffmpeg("-f lavfi -i 'aevalsrc=0.95|0.95:s=48000:d=0.5'", folder + "/loud.wav"));
  ASSERT_TRUE(Ffmpeg("-f lavfi -i 'aevalsrc=0.1|0.1:s=48000:d=0.3'", folder + "/quiet.wav"));
  auto environment = SilentSoundDevice(folder);
  environment["TESSARY_PLUGIN_HOSTS"] = "inprocess";
  Start(json::array(), environment);
  run_->Type(std::string("/vst load ") + TESSARY_V2HANG_SO + "\r");
  run_->Type("/source load " + folder + "/loud.wav\r");
  run_->Type("/source load " + folder + "/quiet.wav\r");
  run_->Type("/vst apply 1 1\r");
  run_->Type("/source play 1\r");
  std::this_thread::sleep_for(500ms);  // source 1 is inside the plug-in for good now
  run_->Type("/source play 2\r");
  bool ended = false;
  for (int tries = 0; tries < 40 && !ended; ++tries) {
    run_->Mark();
    run_->Type("/source list\r");
    ASSERT_TRUE(run_->WaitFor("#2: " + folder + "/quiet.wav, ", 5s))
        << ::testing::PrintToString(run_->OutputSinceMark());
    ended = run_->Settle(100ms).find("quiet.wav, ended") != std::string::npos;
  }
  EXPECT_TRUE(ended);
  EXPECT_NE(run_->OutputSinceMark().find("#1: " + folder + "/loud.wav, playing, chain: 1"), std::string::npos);
  run_->Signal(SIGKILL);
  run_->WaitForExit();
  std::filesystem::remove_all(folder);
}

// A port nobody should ever connect to: counts the connections it gets.
class Listener {
 public:
  Listener() {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t size = sizeof address;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
    listen(fd_, 8);
  }
  ~Listener() { close(fd_); }
  int Port() const { return port_; }
  int Accepted() {
    int n = 0;
    for (int c; (c = accept(fd_, nullptr, nullptr)) >= 0; ++n) close(c);
    return n;
  }

 private:
  int fd_;
  int port_ = 0;
};

TEST_F(FaustModeTest, ModelCodeKeepsToTheRulesAndCannotHurtTheSession) {
  const std::string secret = testing_support::TestHome() + "/secret.env";
  std::ofstream(secret) << "TOKEN = 424242;\n";
  Listener listener;
  const std::string url = "http://127.0.0.1:" + std::to_string(listener.Port()) + "/x.lib";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"k = ffunction(int kill(int, int), <stdlib.h>, \"\");\nprocess = _ : k(1, 15);\n",
       "ffunction 'kill' is not allowed"},
      {"e = ffunction(int exit(int), <stdlib.h>, \"\");\nprocess = e(7);\n", "ffunction 'exit' is not allowed"},
      {"s = library(\"" + secret + "\");\nprocess = s.TOKEN;\n", "library(\"" + secret + "\") is not allowed"},
      {"import(\"" + url + "\");\nprocess = _;\n", "import(\"" + url + "\") is not allowed"},
      // Four gigabytes of delay line: the engine host gives up, the session does not.
      {"process = @(2^29), @(2^29);\n", "Faust compilation error: "},
  };
  json answers = json::array();
  for (const auto& [code, expected] : cases) answers.push_back(CodeAnswer(code));
  answers.push_back(CodeAnswer("import(\"stdfaust.lib\");\nprocess = ma.tanh;\n"));
  Start(answers);
  run_->Type("/retries -1\r");
  for (const auto& [code, expected] : cases) {
    run_->Type("write it\r");
    ASSERT_TRUE(run_->WaitFor(expected, 60s)) << ::testing::PrintToString(run_->OutputSinceMark());
    ASSERT_TRUE(run_->WaitFor(kSignedIn, 60s));
  }
  run_->Type("now tanh\r");
  ASSERT_TRUE(run_->WaitFor("Compilation successful, saved to VST #1", 60s))
      << ::testing::PrintToString(run_->OutputSinceMark());
  EXPECT_EQ(listener.Accepted(), 0);
  for (const json& r : fake_->Received()) EXPECT_EQ(r.dump().find("424242"), std::string::npos);
}

TEST_F(FaustModeTest, CtrlCEndsACompileThatNeverEnds) {
  Start(json::array({CodeAnswer("process = @(2^30);\n"),
                     AnswerWith("still here")}));
  run_->Type("/retries -1\r");
  run_->Type("a long delay\r");
  ASSERT_TRUE(run_->WaitFor("Auto-compiling code 0...", 30s));
  // Past the rule check, into the compile itself.
  std::this_thread::sleep_for(1500ms);
  run_->Type("\x03");
  ASSERT_TRUE(run_->WaitFor("\x1b[31mFaust compilation error: cancelled", 5s))
      << ::testing::PrintToString(run_->OutputSinceMark());
  run_->Type("hello\r");
  EXPECT_TRUE(run_->WaitFor("Response 2 done", 30s));
}

// Top-level windows on the display whose title starts with `prefix`.
int WindowsTitled(const std::string& prefix) {
  // A window that goes while it is looked at is no reason for the test to end.
  XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
  Display* display = XOpenDisplay(nullptr);
  if (!display) return -1;
  Window root, parent, *children = nullptr;
  unsigned count = 0;
  int found = 0;
  XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count);
  for (unsigned k = 0; k < count; ++k) {
    char* name = nullptr;
    XWindowAttributes attributes{};
    if (XFetchName(display, children[k], &name) && name) {
      XGetWindowAttributes(display, children[k], &attributes);
      if (std::string(name).rfind(prefix, 0) == 0 && attributes.map_state == IsViewable) ++found;
      XFree(name);
    }
  }
  if (children) XFree(children);
  XCloseDisplay(display);
  return found;
}

// The pid of the engine host started under `tag`, or 0.
pid_t EngineHostTagged(const std::string& tag) {
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    std::ifstream environ(entry.path() / "environ", std::ios::binary), command(entry.path() / "cmdline");
    std::string text((std::istreambuf_iterator<char>(environ)), std::istreambuf_iterator<char>());
    std::string line((std::istreambuf_iterator<char>(command)), std::istreambuf_iterator<char>());
    if (text.find(tag) != std::string::npos && line.find(std::string("--plugin-host\0engine", 20)) != std::string::npos) {
      return std::atoi(entry.path().filename().c_str());
    }
  }
  return 0;
}

TEST_F(FaustModeTest, EditorsLiveInTheHostAndAnEngineCrashComesBackByItself) {
  if (!plexar::testing::StartXvfb()) GTEST_SKIP() << "no Xvfb";
  const std::string tag = "TESSARY_TEST_TAG=editor" + std::to_string(getpid());
  std::map<std::string, std::string> environment = {
      {"DISPLAY", std::getenv("DISPLAY")}, {"NO_AT_BRIDGE", "1"}, {"GSETTINGS_BACKEND", "memory"},
      {"TESSARY_TEST_TAG", tag.substr(tag.find('=') + 1)}};
  Start(json::array({CodeAnswer(kTremolo)}), environment);
  run_->Type("a tremolo\r");
  ASSERT_TRUE(run_->WaitFor("Compilation successful, saved to VST #1", 60s))
      << ::testing::PrintToString(run_->OutputSinceMark());
  run_->Type("/vst edit 1 params\r");
  ASSERT_TRUE(run_->WaitFor("\x1b[34m Parameters of VST #1 (Tremolo).", 30s))
      << ::testing::PrintToString(run_->OutputSinceMark());
  EXPECT_TRUE(plexar::testing::WaitFor([] { return WindowsTitled("Parameters: ") == 1; }));

  const pid_t engine = EngineHostTagged(tag);
  ASSERT_GT(engine, 0);
  kill(engine, SIGSEGV);
  ASSERT_TRUE(run_->WaitFor("\x1b[31mVST #1 (Tremolo) crashed (SIGSEGV) and was bypassed.", 10s))
      << ::testing::PrintToString(run_->OutputSinceMark());
  EXPECT_TRUE(plexar::testing::WaitFor([] { return WindowsTitled("Parameters: ") == 0; }));
  ASSERT_TRUE(run_->WaitFor("VST #1 (Tremolo) was compiled again.", 30s))
      << ::testing::PrintToString(run_->OutputSinceMark());
  run_->Type("/vst list\r");
  run_->Type("/vst edit 1 params\r");
  ASSERT_TRUE(run_->WaitFor("\x1b[34m Parameters of VST #1 (Tremolo).", 30s));
  EXPECT_EQ(run_->OutputSinceMark().find("bypassed (/vst reload"), std::string::npos);

  // A plug-in that crashes opening its editor costs its own entry, which comes back.
  run_->Type(std::string("/vst load ") + TESSARY_V2EDITORCRASH_SO + "\r");
  ASSERT_TRUE(run_->WaitFor("Use /vst param 2 ", 30s)) << ::testing::PrintToString(run_->OutputSinceMark());
  run_->Mark();
  run_->Type("/vst edit 2\r");
  ASSERT_TRUE(run_->WaitFor("\x1b[31mVST #2 (", 30s)) << ::testing::PrintToString(run_->OutputSinceMark());
  ASSERT_TRUE(run_->WaitFor(") crashed (SIGSEGV) and was bypassed.", 10s));
  run_->Type("/vst reload 2\r");
  ASSERT_TRUE(run_->WaitFor(") runs again.", 30s)) << ::testing::PrintToString(run_->OutputSinceMark());
  EXPECT_EQ(WindowsTitled("Parameters: "), 1);  // the Tremolo's list stayed open
}

// The compiled effect's own editor, in the engine host as it is confined and in Tessary's
// own process: it shows the program's controls and draws their text.
TEST_F(FaustModeTest, CompiledEffectsEditorDrawsInTheEngineHostAndInProcess) {
  if (!plexar::testing::StartXvfb()) GTEST_SKIP() << "no Xvfb";
  for (const std::string hosts : {"", "inprocess"}) {
    SCOPED_TRACE(hosts.empty() ? "in hosts" : hosts);
    std::map<std::string, std::string> environment = {
        {"DISPLAY", std::getenv("DISPLAY")}, {"NO_AT_BRIDGE", "1"}, {"GSETTINGS_BACKEND", "memory"}};
    if (!hosts.empty()) environment["TESSARY_PLUGIN_HOSTS"] = hosts;
    Start(json::array({CodeAnswer(kTremolo)}), environment);
    run_->Type("a tremolo\r");
    ASSERT_TRUE(run_->WaitFor("Compilation successful, saved to VST #1", 60s))
        << ::testing::PrintToString(run_->OutputSinceMark());
    run_->Type("/vst edit 1\r");
    ASSERT_TRUE(run_->WaitFor("\x1b[34m Editor of VST #1 (Tremolo)", 30s))
        << ::testing::PrintToString(run_->OutputSinceMark());
    faust_testing::EditorWindow x;
    Window editor = 0;
    ASSERT_TRUE(plexar::testing::WaitFor([&] { return (editor = x.Find()) != 0; }));
    std::vector<std::string> shown;
    faust_testing::ShownWidget rate;
    for (const auto& w : x.Widgets(editor)) {
      shown.push_back(w.kind + " " + w.label);
      if (w.label == "rate") rate = w;
    }
    EXPECT_EQ(shown, (std::vector<std::string>{"vgroup Tremolo", "hslider depth", "hslider rate"}));
    // The label "rate" in the top left of its slider: fonts were found and read.
    EXPECT_TRUE(plexar::testing::WaitFor([&] { return x.DarkPixels(editor, rate.x + 10, rate.y + 4, 30, 14) > 5; }));
    run_->Type("/exit\r");
    EXPECT_EQ(run_->WaitForExit(), 0);
  }
}

// In-process loading, where a load cannot be taken back: Ctrl+C must leave it be.
TEST_F(FaustModeTest, CtrlCWhileACommandIsBlockedLeavesTessaryRunning) {
  Start(json::array(), {{"TESSARY_PLUGIN_HOSTS", "inprocess"}});
  const std::string fifo = home_ + "/plugin-" + std::to_string(getpid()) + ".so";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  run_->Type("/faust load " + fifo + "\r");
  ASSERT_TRUE(run_->WaitFor("\x1b[31mCannot read " + fifo + ": not a regular file"));
  // Opening a FIFO for reading waits for a writer: a plug-in load that takes its time.
  run_->Type("/vst load " + fifo + "\r");
  std::this_thread::sleep_for(300ms);
  run_->Type("\x03");
  std::this_thread::sleep_for(300ms);
  EXPECT_TRUE(run_->Running());
  int writer = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
  EXPECT_GE(writer, 0) << "the load was not waiting on the FIFO";
  if (writer >= 0) close(writer);
  run_->Type("/faust list\r");
  EXPECT_TRUE(run_->WaitFor("Fausts: 0"));
  unlink(fifo.c_str());
}

// A load in a host is cancelled instead: the host goes, the prompt comes back.
TEST_F(FaustModeTest, CtrlCCancelsAPluginLoadThatWaits) {
  Start(json::array());
  const std::string fifo = home_ + "/plugin-" + std::to_string(getpid()) + ".so";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  // The workbench loads first, so that the key finds the plug-in's load under way.
  run_->Type("/vst list\r");
  ASSERT_TRUE(run_->WaitFor("VSTs: 0", 30s));
  run_->Type("/vst load " + fifo + "\r");
  std::this_thread::sleep_for(500ms);
  run_->Type("\x03");
  EXPECT_TRUE(run_->WaitFor("\x1b[31mCannot load " + fifo + " as a VST 2 or VST 3 plug-in: it was cancelled."))
      << ::testing::PrintToString(run_->OutputSinceMark());
  run_->Type("/vst list\r");
  EXPECT_TRUE(run_->WaitFor("VSTs: 0"));
  unlink(fifo.c_str());
}

}  // namespace

// Parameters in the plug-in's own terms, for a compiled effect, a VST 2 and a VST 3 plug-in:
// each value is checked by what a render of a steady 0.5 then hears, and `/vst list` names
// what the rack holds.
TEST_F(FaustModeTest, ParametersTakePlainValuesAndTheRackSaysWhatItHolds) {
  const std::string folder = testing_support::TestHome() + "/plain";
  std::filesystem::create_directories(folder);
  const std::string steady = folder + "/steady.wav";
  ASSERT_TRUE(Ffmpeg("-f lavfi -i 'aevalsrc=0.5|0.5:s=48000:d=0.1'", steady));
  Start(json::array({CodeAnswer("declare name \"Level\";\nimport(\"stdfaust.lib\");\n"
                                "process = par(i, 2, *(hslider(\"gain[unit:dB]\", 0, -60, 12, 0.1) : ba.db2linear));\n")}),
        SilentSoundDevice(folder));
  run_->Type("a level control\r");
  ASSERT_TRUE(run_->WaitFor("see /vst for more.\x1b[0m\r\n", 30s)) << ::testing::PrintToString(run_->Output());
  run_->Type(std::string("/vst load ") + TESSARY_V2FX_SO + "\r");
  run_->Type(std::string("/vst load ") + TESSARY_SPLIT_SO + "\r");
  for (int s = 1; s <= 3; ++s) {
    run_->Type("/source load " + steady + "\r");
    run_->Type("/vst apply " + std::to_string(s) + " " + std::to_string(s) + "\r");
  }
  ASSERT_TRUE(run_->WaitFor("\x1b[34mVST #3 -> " + steady + ".\x1b[0m\r\n", 30s))
      << ::testing::PrintToString(run_->Output());

  constexpr float kUnchanged = -1;
  struct Case {
    int entry;
    std::string name, typed, reply;
    float heard;  // the first sample of a render afterwards
  } cases[] = {
      {1, "gain", "-6dB", "\x1b[34m gain VST #1 = -6dB (-6.0 dB).", 0.5f * 0.50119f},
      {1, "gain", "0.5", "\x1b[34m gain VST #1 = 0.5 (-24.0 dB).", 0.5f * 0.063096f},
      {1, "gain", "20dB", "\x1b[31mCannot set gain of VST #1 to 20dB: it lies outside the range -60.0 dB to 12.0 dB.", kUnchanged},
      {1, "gain", "loud", "\x1b[31mCannot set gain of VST #1 to loud: the plug-in cannot read it.", kUnchanged},
      {1, "gain", "8", "\x1b[31mCannot set gain of VST #1 to 8: a bare number is a normalised value from 0 to 1; "
                       "for 8 dB type 8dB.", kUnchanged},
      {2, "Gain", "-6dB", "\x1b[34m Gain VST #2 = -6dB (-6.0 dB).", 0.5f * 0.50119f},
      {2, "Gain", "0.25", "\x1b[34m Gain VST #2 = 0.25 (-6.0 dB).", 0.25f},
      {2, "Mix", "150%", "\x1b[31mCannot set Mix of VST #2 to 150%: it lies outside the parameter's range.", kUnchanged},
      {2, "Mix", "40%", "\x1b[34m Mix VST #2 = 40% (40 %).", kUnchanged},
      // This one shows no text and reads none.
      {3, "Gain", "0.75", "\x1b[34m Gain VST #3 = 0.75 (0.750).", 0.75f},
      {3, "Gain", "1.5x", "\x1b[31mCannot set Gain of VST #3 to 1.5x: the plug-in cannot read it.", kUnchanged},
  };
  float last[4] = {0, 0.5f, 0.5f, 0.5f};
  for (const Case& c : cases) {
    run_->Mark();
    run_->Type("/vst param " + std::to_string(c.entry) + " " + c.name + " " + c.typed + "\r");
    EXPECT_TRUE(run_->WaitFor(c.reply + "\x1b[0m\r\n", 10s)) << c.typed << "\n" << ::testing::PrintToString(run_->OutputSinceMark());
    if (c.heard != kUnchanged) last[c.entry] = c.heard;
    const std::string out = folder + "/out" + std::to_string(c.entry) + ".wav";
    run_->Type("/source render " + std::to_string(c.entry) + " " + out + "\r");
    ASSERT_TRUE(run_->WaitFor("\x1b[34mSource #" + std::to_string(c.entry) + " -> " + out + " (", 30s))
        << ::testing::PrintToString(run_->OutputSinceMark());
    EXPECT_NEAR(FirstSample(out), last[c.entry], 2e-3) << c.entry << " " << c.typed;
  }
  run_->Mark();
  run_->Type("/vst list\r");
  ASSERT_TRUE(run_->WaitFor("#3: ", 10s));
  ASSERT_TRUE(run_->WaitFor("\x1b[0m\r\n", 10s));
  const std::string list = run_->OutputSinceMark();
  for (const std::string& line : std::vector<std::string>{"\x1b[36mVSTs: 3\x1b[0m\r\n",
        "\x1b[36m#1: Level by Tessary, compiled snippet #1, in 1 (steady.wav); gain -24.0 dB, Bypass Off\x1b[0m\r\n",
        "\x1b[36m#2: Tessary V2 Test by Tarnwick Tests, file " + std::string(TESSARY_V2FX_SO) +
            ", in 2 (steady.wav); Gain -6.0 dB, Mix 40 %\x1b[0m\r\n",
        "\x1b[36m#3: TessarySplit by "}) {
    EXPECT_NE(list.find(line), std::string::npos) << ::testing::PrintToString(line) << "\n" << ::testing::PrintToString(list);
  }
  // Unloading renumbers the rest; a chain that holds an entry twice names its source once.
  run_->Type("/vst unload 2\r");
  run_->Type("/vst apply 2 1\r");
  run_->Type("/vst apply 2 1\r");
  run_->Mark();
  run_->Type("/vst list\r");
  ASSERT_TRUE(run_->WaitFor("#2: ", 10s));
  ASSERT_TRUE(run_->WaitFor("\x1b[0m\r\n", 10s));
  EXPECT_NE(run_->OutputSinceMark().find("\x1b[36mVSTs: 2\x1b[0m\r\n"), std::string::npos);
  EXPECT_NE(run_->OutputSinceMark().find(", in 1 (steady.wav), 3 (steady.wav); Gain 0.750, Mix 1.000\x1b[0m\r\n"),
            std::string::npos) << ::testing::PrintToString(run_->OutputSinceMark());
  std::filesystem::remove_all(folder);
}
