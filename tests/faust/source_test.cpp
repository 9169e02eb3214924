// SPDX-License-Identifier: GPL-3.0-or-later
// Decoding with FFmpeg, sources playing into a capturing ALSA device, and rendering.
#include <sys/stat.h>

#include <chrono>
#include <cmath>
#include <fstream>
#include <functional>
#include <thread>

#include "alsa_file_pcm.h"
#include "audio_files.h"
#include "engine_fixture.h"
#include "common/terminal_text.h"
#include "faust/audio_decoder.h"
#include "faust/audio_in.h"
#include "faust/chain.h"
#include "faust/render.h"
#include "faust/workbench.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using faust_test::Pcm;

TEST(PcmTest, FloatsBecomeSixteenBitSamples) {
  const std::vector<float> in = {0.5f, 1.0f, -1.0f, 2.0f, -3.0f, 0.25f, -0.5f, NAN, 0.0f};
  const std::vector<int16_t> expected = {16383, 32767, -32767, 32767, -32767, 8191, -16383, 0, 0};
  std::vector<int16_t> out;
  faust::AppendPcm16(in.data(), in.size(), &out);
  EXPECT_EQ(out, expected);
}

class SourceTest : public faust_testing::EngineTest {
 protected:
  void SetUp() override {
    config_ = faust_test::UseCaptureAlsaConfig();
    played_ = home_ / ("played-" + std::to_string(++runs_) + ".raw");
    setenv("TESSARY_AUDIO_DEVICE", faust_test::CaptureDevice(played_).c_str(), 1);
    quitting_.store(false);
  }
  void TearDown() override {
    if (source_) {
      std::lock_guard guard(workbenchLock);
      sources = {source_};
    }
    StopAllSources(quitting_);
    std::lock_guard guard(workbenchLock);
    sources.clear();
    fs::remove(config_);
  }

  // A stereo WAV at 48 kHz whose left side is a ramp and right side its negation.
  std::vector<int16_t> RampFile(const fs::path& file, size_t frames) {
    std::vector<int16_t> samples;
    for (size_t i = 0; i < frames; ++i) {
      const int16_t v = static_cast<int16_t>((static_cast<int>(i % 2000) - 1000) * 16);
      samples.push_back(v);
      samples.push_back(static_cast<int16_t>(-v));
    }
    faust_test::WriteWav(file, samples, 2, 48000);
    return samples;
  }

  void PlayToTheEnd() {
    source_->SetState(kSourcePlaying);
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!source_->ended.load() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(5ms);
    }
    ASSERT_TRUE(source_->ended.load());
    EXPECT_EQ(source_->state.load(), kSourceStopped);
  }

  std::vector<int16_t> Played() {
    std::vector<char> bytes = faust_test::ReadAll(played_);
    std::vector<int16_t> samples(bytes.size() / 2);
    if (!samples.empty()) std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
  }

  static std::vector<int16_t> AsPlayed(const std::vector<int16_t>& file, float gain) {
    std::vector<int16_t> out;
    for (int16_t s : file) out.push_back(Pcm(static_cast<float>(s) / 32768.0f * gain));
    return out;
  }

  fs::path config_, played_;
  inline static int runs_ = 0;
  std::atomic<bool> quitting_{false};
  std::shared_ptr<AUDIO_IN> source_;
};

TEST_F(SourceTest, WithoutPlugInsASourcePlaysExactlyItsSamplesAndPlaysAgainAfterItsEnd) {
  const fs::path file = home_ / "ramp.wav";
  const std::vector<int16_t> samples = RampFile(file, 5000);
  source_ = StartSource(file.string(), quitting_);
  PlayToTheEnd();
  std::vector<int16_t> once = AsPlayed(samples, 1.0f);
  ASSERT_EQ(Played().size(), once.size());
  EXPECT_EQ(Played(), once);
  // The end rewound it: playing again starts from the beginning (the device starts a new
  // capture file when it opens).
  source_->ended.store(false);
  PlayToTheEnd();
  EXPECT_EQ(Played(), once);
}

TEST_F(SourceTest, AMonoPlugInFeedsBothSidesAndARemainderUnderABlockNeverPlays) {
  const fs::path file = home_ / "short.wav";
  const std::vector<int16_t> samples = RampFile(file, 1000);
  auto half = Load("process = *(0.5);");
  ASSERT_TRUE(half);
  source_ = StartSource(file.string(), quitting_);
  {
    std::lock_guard guard(workbenchLock);
    source_->chain = {half};
  }
  PlayToTheEnd();
  std::vector<int16_t> expected;
  for (size_t i = 0; i < 512; ++i) {
    const int16_t left = Pcm(static_cast<float>(samples[2 * i]) / 32768.0f * 0.5f);
    expected.push_back(left);
    expected.push_back(left);
  }
  EXPECT_EQ(Played(), expected);
}

TEST_F(SourceTest, TheSameEntryTwiceProcessesEveryBlockTwice) {
  const fs::path file = home_ / "twice.wav";
  const std::vector<int16_t> samples = RampFile(file, 2048);
  auto half = Load("process = *(0.5), *(0.5);");
  ASSERT_TRUE(half);
  source_ = StartSource(file.string(), quitting_);
  {
    std::lock_guard guard(workbenchLock);
    source_->chain = {half, half};
  }
  PlayToTheEnd();
  EXPECT_EQ(Played(), AsPlayed(samples, 0.25f));
}

// An answer's code compiles while the workbench lock is held: the sound goes on meanwhile,
// every block through the chain the source had, none without it.
TEST_F(SourceTest, AHeldWorkbenchLockDoesNotHoldUpTheSound) {
  const fs::path file = home_ / "held.wav";
  const std::vector<int16_t> samples = RampFile(file, 200 * 512);
  auto half = Load("process = *(0.5), *(0.5);");
  ASSERT_TRUE(half);
  source_ = StartSource(file.string(), quitting_);
  {
    std::lock_guard guard(workbenchLock);
    source_->chain = {half};
  }
  source_->SetState(kSourcePlaying);
  for (auto deadline = std::chrono::steady_clock::now() + 10s;
       Played().empty() && std::chrono::steady_clock::now() < deadline;)
    std::this_thread::sleep_for(1ms);
  {
    std::lock_guard guard(workbenchLock);
    for (auto deadline = std::chrono::steady_clock::now() + 10s;
         !source_->ended.load() && std::chrono::steady_clock::now() < deadline;)
      std::this_thread::sleep_for(5ms);
    EXPECT_TRUE(source_->ended.load()) << "the sound waited for the lock";
  }
  EXPECT_EQ(Played(), AsPlayed(samples, 0.5f));
}

TEST_F(SourceTest, PauseThenPlayContinuesWhereItWas) {
  const fs::path file = home_ / "long.wav";
  const std::vector<int16_t> samples = RampFile(file, 5 * 48000);
  source_ = StartSource(file.string(), quitting_);
  source_->SetState(kSourcePlaying);
  std::this_thread::sleep_for(20ms);
  source_->SetState(kSourcePaused);
  std::this_thread::sleep_for(150ms);
  PlayToTheEnd();
  // Everything once, in order, nothing from the start again. The capturing device loses part
  // of a period when it runs dry during the pause (its file falls behind what was played),
  // so a short gap is allowed.
  const std::vector<int16_t> played = Played(), expected = AsPlayed(samples, 1.0f);
  size_t at = 0;
  for (int16_t sample : played) {
    while (at < expected.size() && expected[at] != sample) ++at;
    ASSERT_LT(at, expected.size()) << "played something the file does not hold in that order";
    ++at;
  }
  EXPECT_GE(played.size() + 2048, expected.size());
}

// Every format is decoded to 48 kHz stereo: a 0.5 sine of one second comes out as about
// 48,000 frames with the sine's level on both sides.
TEST_F(SourceTest, FfmpegDecodesTheUsualFormats) {
  struct Case {
    const char* name;
    const char* arguments;
    double rms;  // ffmpeg itself makes the stereo files 3 dB down; mono plays at full level
  };
  const double sine = 0.5 / std::sqrt(2.0);
  const Case cases[] = {
      {"tone.wav", "-ac 2", sine / std::sqrt(2.0)},
      {"tone.flac", "-ac 2", sine / std::sqrt(2.0)},
      {"tone.mp3", "-ac 2", sine / std::sqrt(2.0)},
      {"tone.ogg", "-ac 2 -c:a libvorbis", sine / std::sqrt(2.0)},
      {"mono.wav", "-ac 1", sine},
  };
  for (const Case& c : cases) {
    const fs::path file = home_ / c.name;
    ASSERT_TRUE(faust_test::Ffmpeg(
        std::string("-f lavfi -i 'aevalsrc=0.5*sin(2*PI*440*t):s=44100:d=1' ") +
            c.arguments, file)) << c.name;
    faust::AudioDecoder decoder;
    std::string error;
    ASSERT_TRUE(decoder.Open(file.string(), &error)) << c.name << ": " << error;
    std::vector<float> all, piece;
    for (auto r = faust::AudioDecoder::Result::Samples; r == faust::AudioDecoder::Result::Samples;) {
      r = decoder.Read(&piece);
      ASSERT_NE(r, faust::AudioDecoder::Result::Failed) << c.name;
      all.insert(all.end(), piece.begin(), piece.end());
    }
    EXPECT_NEAR(all.size() / 2.0, 48000, 2500) << c.name;
    double left = 0, right = 0;
    for (size_t i = 0; i + 1 < all.size(); i += 2) left += all[i] * all[i], right += all[i + 1] * all[i + 1];
    EXPECT_NEAR(std::sqrt(left / (all.size() / 2.0)), c.rms, 0.02) << c.name;
    EXPECT_NEAR(std::sqrt(right / (all.size() / 2.0)), c.rms, 0.02) << c.name;
  }
  std::string error;
  std::ofstream(home_ / "notes.txt") << "not a sound\n";
  EXPECT_FALSE(faust::CanDecode((home_ / "notes.txt").string(), &error));
  EXPECT_FALSE(error.empty());
}

// FFmpeg warns of a file with junk before its first frame; the warning reached the terminal.
TEST_F(SourceTest, FfmpegsWarningsAreDebugLinesOnly) {
  const fs::path tone = home_ / "tone.mp3", junk = home_ / "junk.mp3";
  ASSERT_TRUE(faust_test::Ffmpeg("-f lavfi -i 'aevalsrc=0.5*sin(2*PI*440*t):s=44100:d=1'", tone));
  {
    std::ofstream out(junk, std::ios::binary);
    std::ifstream in(tone, std::ios::binary);
    out << "junk\x1b[31m junk" << in.rdbuf();
  }
  auto warnings = [&] {
    ::testing::internal::CaptureStderr();
    std::string error;
    EXPECT_TRUE(faust::CanDecode(junk.string(), &error)) << error;
    return ::testing::internal::GetCapturedStderr();
  };
  unsetenv("TESSARY_DEBUG");
  EXPECT_EQ(warnings(), "");
  setenv("TESSARY_DEBUG", "1", 1);
  std::string shown = warnings();
  unsetenv("TESSARY_DEBUG");
  EXPECT_NE(shown.find("[mp3 @ 0x"), std::string::npos) << shown;
  EXPECT_EQ(shown, common::TerminalSafe(shown));
}

TEST_F(SourceTest, RenderRunsAMonoFileThroughItsChainIntoAWavFile) {
  const fs::path file = home_ / "dc.wav";
  ASSERT_TRUE(faust_test::Ffmpeg("-f lavfi -i aevalsrc=0.5:s=44100:d=1 -ac 1", file));
  auto half = Load("process = *(0.5);");
  ASSERT_TRUE(half);
  AUDIO_IN source;
  source.file = file.string();
  source.chain = {half};
  const fs::path out = home_ / "rendered.wav";
  std::atomic<bool> cancel{false};
  faust::RenderReport report;
  std::string error;
  ASSERT_TRUE(faust::RenderSource(source, out.string(), cancel, nullptr, &report, &error)) << error;
  SF_INFO info{};
  std::vector<int16_t> samples = faust_test::ReadWav(out, &info);
  EXPECT_EQ(info.samplerate, 48000);
  ASSERT_EQ(info.channels, 2);
  // The file, then silence fed until the chain's output stays quiet.
  EXPECT_GE(info.frames, 47900);
  EXPECT_LE(info.frames, 48000 + 512 + 48000 / 5);
  EXPECT_GT(report.tailSeconds, 0);
  // Half of 0.5 on both sides, away from the resampler's first and last frames.
  for (size_t frame = 1000; frame < 47000; ++frame) {
    ASSERT_NEAR(samples[2 * frame], 8191, 1) << frame;
    ASSERT_NEAR(samples[2 * frame + 1], 8191, 1) << frame;
  }
  // Cancelled, it leaves no file behind.
  cancel.store(true);
  EXPECT_FALSE(faust::RenderSource(source, (home_ / "cancelled.wav").string(), cancel, nullptr,
                                   nullptr, &error));
  EXPECT_EQ(error, "cancelled");
  for (const auto& entry : fs::directory_iterator(home_)) {
    EXPECT_EQ(entry.path().string().find("cancelled.wav"), std::string::npos) << entry.path();
  }
}

TEST_F(SourceTest, RenderRefusesAnyTargetButAFileAtOnceAndWritesThroughALink) {
  const fs::path file = home_ / "ramp.wav", fifo = home_ / "render.fifo", folder = home_ / "dir";
  RampFile(file, 4800);
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  fs::create_directories(folder);
  fs::create_symlink("/dev/null", home_ / "device-link");
  AUDIO_IN source;
  source.file = file.string();
  std::atomic<bool> cancel{false};
  std::string error;
  for (const fs::path& target : {fifo, folder, home_ / "device-link"}) {
    EXPECT_FALSE(faust::RenderSource(source, target.string(), cancel, nullptr, nullptr, &error));
    EXPECT_EQ(error.rfind(target.string() + " is ", 0), 0u) << error;
  }
  EXPECT_TRUE(fs::is_fifo(fifo));
  EXPECT_TRUE(fs::is_symlink(home_ / "device-link"));
  const fs::path real = home_ / "real.wav", link = home_ / "link.wav";
  std::ofstream(real) << "old";
  fs::create_symlink(real, link);
  ASSERT_TRUE(faust::RenderSource(source, link.string(), cancel, nullptr, nullptr, &error)) << error;
  EXPECT_TRUE(fs::is_symlink(link));
  SF_INFO info{};
  faust_test::ReadWav(real, &info);
  EXPECT_EQ(info.frames, 5120);  // whole blocks
}

TEST_F(SourceTest, ARenderRunsItsOwnInstancesWithTheSameSettings) {
  const fs::path file = home_ / "delayed.wav";
  const std::vector<int16_t> samples = RampFile(file, 4 * 48000);
  auto delay = Load("g = hslider(\"g\", 0.5, 0, 1, 0.01); process = par(i, 2, *(g) : @(512));");
  ASSERT_TRUE(delay);
  int32_t gain = -1;
  for (const auto& param : delay->params)
    if (param.name == "g") gain = param.id;
  ASSERT_GE(gain, 0);
  ASSERT_EQ(delay->plugin->SetParameter(gain, 0.25f), plexar::S_OK);
  AUDIO_IN source;
  source.file = file.string();
  source.chain = {delay};
  std::atomic<bool> cancel{false};
  std::string error;
  auto render = [&](const fs::path& out, const std::function<void(double)>& meanwhile) {
    EXPECT_TRUE(faust::RenderSource(source, out.string(), cancel, meanwhile, nullptr, &error)) << error;
    SF_INFO info{};
    return faust_test::ReadWav(out, &info);
  };
  const std::vector<int16_t> alone = render(home_ / "alone.wav", nullptr);
  // Blocks a playing source runs through the rack's entry while the render goes on.
  std::vector<float> left(512, 0.9f), right(512, -0.9f);
  const std::vector<int16_t> playing = render(home_ / "playing.wav", [&](double) {
    std::lock_guard guard(workbenchLock);
    faust::RunChain(source.chain, left.data(), right.data());
  });
  ASSERT_EQ(alone.size(), playing.size());
  size_t differing = 0;
  for (size_t i = 0; i < alone.size(); ++i) differing += alone[i] != playing[i];
  EXPECT_EQ(differing, 0u);
  // The copy has the entry's gain and a delay line of its own, empty at the start.
  ASSERT_GE(alone.size(), samples.size());
  for (size_t i = 0; i < 512 * 2; ++i) ASSERT_EQ(alone[i], 0) << i;
  for (size_t i = 512 * 2; i < samples.size(); ++i)
    ASSERT_NEAR(alone[i], Pcm(static_cast<float>(samples[i - 1024]) / 32768.0f * 0.25f), 1) << i;
}

}  // namespace
