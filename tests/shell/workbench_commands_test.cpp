// SPDX-License-Identifier: GPL-3.0-or-later
// /source and /vst replies, with real VST 2 plug-ins from Debian in the rack.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "faust/audio_in.h"
#include "faust/rack.h"
#include "faust/workbench.h"
#include "plexar/vst.h"
#include "shell/dispatch.h"
#include "shell/session.h"
#include "xvfb_display.h"

namespace {

namespace fs = std::filesystem;

constexpr char kReverb[] = "/usr/lib/vst/MVerb-vst.so";
constexpr char kDragonfly[] = "/usr/lib/lxvst/DragonflyHallReverb-vst.so";

class WorkbenchCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    session_ = std::make_shared<CMDSESSION>();
    session_->mode = kFaustMode;
    cmdSession.store(session_);
    quitting.store(false);
    folder_ = fs::temp_directory_path() / ("tessary-rack-" + std::to_string(getpid()));
    fs::create_directories(folder_);
    sound_ = (folder_ / "one second.wav").string();
    SF_INFO info{};
    info.samplerate = 48000, info.channels = 2, info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* out = sf_open(sound_.c_str(), SFM_WRITE, &info);
    std::vector<short> silence(2 * 48000);
    sf_write_short(out, silence.data(), static_cast<sf_count_t>(silence.size()));
    sf_close(out);
  }
  void TearDown() override {
    StopAllSources(quitting);
    ReleaseWorkbench();
    std::lock_guard guard(workbenchLock);
    sources.clear();
    fs::remove_all(folder_);
  }
  std::string Run(const std::string& line) {
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(DispatchCommand(line), Handled) << line;
    return ::testing::internal::GetCapturedStdout();
  }
  static bool StartsWith(const std::string& text, const std::string& start) {
    return text.rfind(start, 0) == 0;
  }

  std::shared_ptr<CMDSESSION> session_;
  fs::path folder_;
  std::string sound_;
};

TEST_F(WorkbenchCommandsTest, SourcesAreCheckedAtLoadAndListed) {
  std::ofstream(folder_ / "notes.txt") << "no sound here\n";
  EXPECT_TRUE(StartsWith(Run("/source load " + (folder_ / "notes.txt").string()),
                         "\x1b[31mCannot play " + (folder_ / "notes.txt").string() + ": "));
  EXPECT_TRUE(StartsWith(Run("/source load /no/such.wav"), "\x1b[31mCannot read /no/such.wav: "));
  // Opening a FIFO used to wait for a writer for ever.
  fs::path fifo = folder_ / "pipe.wav", socketFile = folder_ / "socket.wav";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  int listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, socketFile.c_str(), sizeof address.sun_path - 1);
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  struct Case {
    std::string file, reason;
  } refused[] = {{fifo.string(), "it is a FIFO, not a regular file"},
                 {socketFile.string(), "it is a socket, not a regular file"},
                 {folder_.string(), "it is a folder"},
                 {"/dev/zero", "it is a device, not a regular file"}};
  for (const Case& c : refused)
    EXPECT_EQ(Run("/source load " + c.file), "\x1b[31mCannot play " + c.file + ": " + c.reason + ".\x1b[0m\r\n");
  close(listener);
  EXPECT_TRUE(sources.empty());
  EXPECT_EQ(Run("/source list"), "");
  EXPECT_EQ(Run("/source play 1"),
            "\x1b[31mInvalid index. Use /source list to see available sources.\x1b[0m\r\n");
  EXPECT_EQ(Run("/source load " + folder_.string() + "/one   second.wav"),
            "\x1b[36m#1: " + sound_ + "...\x1b[0m\r\n");
  ASSERT_EQ(sources.size(), 1u);
  EXPECT_EQ(Run("/source list"), "\x1b[36m#1: " + sound_ + ", stopped, chain: none\x1b[0m\r\n");
  EXPECT_EQ(Run("/source pause 0"), "\x1b[33mPaused source " + sound_ + ".\x1b[0m\r\n");
  EXPECT_EQ(Run("/source list"), "\x1b[36m#1: " + sound_ + ", paused, chain: none\x1b[0m\r\n");
  EXPECT_EQ(Run("/source stop 1"), "\x1b[31mStopped source " + sound_ + ".\x1b[0m\r\n");
  EXPECT_EQ(Run("/source frobnicate 1"), "");
}

TEST_F(WorkbenchCommandsTest, TheRackLoadsAppliesRemovesAndRenumbers) {
  Run("/source load " + sound_);
  EXPECT_TRUE(StartsWith(Run("/vst load /no/such.so"), "\x1b[31mCannot read /no/such.so: "));
  // The loader's reason follows.
  EXPECT_TRUE(StartsWith(Run("/vst load " + sound_), "\x1b[31mCannot load " + sound_ +
                                                       " as a VST 2 or VST 3 plug-in: it could not be opened: "));
  std::string loaded = Run(std::string("/vst load ") + kReverb);
  EXPECT_NE(loaded.find("\x1b[34m VST " + std::string(kReverb) + " -> VST #1.\x1b[0m\r\n"),
            std::string::npos) << loaded;
  Run(std::string("/vst load ") + kDragonfly);
  Run(std::string("/vst load ") + kReverb);
  const std::string listed = Run("/vst list");
  EXPECT_TRUE(StartsWith(listed, "\x1b[36mVSTs: 3\x1b[0m\r\n\x1b[36m#1: ")) << listed;
  EXPECT_NE(listed.find("\x1b[36m#3: " + vsts[2]->name + " by "), std::string::npos) << listed;

  EXPECT_EQ(Run("/vst apply 1 1"), "\x1b[34mVST #1 -> " + sound_ + ".\x1b[0m\r\n");
  Run("/vst apply 1 1");
  Run("/vst apply 2 1");
  EXPECT_EQ(Run("/vst apply 1 7"), "");
  EXPECT_EQ(Run("/vst apply 9 1"), "\x1b[31mInvalid index. Use /vst list to see available files.\x1b[0m\r\n");
  EXPECT_EQ(Run("/source list"), "\x1b[36m#1: " + sound_ + ", stopped, chain: 1 1 2\x1b[0m\r\n");
  // One remove takes every occurrence.
  EXPECT_EQ(Run("/vst remove 1 1"), "\x1b[34m VST #1 X " + sound_ + ".\x1b[0m\r\n");
  EXPECT_EQ(Run("/source list"), "\x1b[36m#1: " + sound_ + ", stopped, chain: 2\x1b[0m\r\n");

  // Unloading the first moves the others down.
  const std::string second = vsts[1]->name;
  EXPECT_EQ(Run("/vst unload 1"), "\x1b[34mVST #1 X " + sound_ + ".\x1b[0m\r\n");
  EXPECT_TRUE(StartsWith(Run("/vst list"), "\x1b[36mVSTs: 2\x1b[0m\r\n\x1b[36m#1: " + second + " by "));
  EXPECT_EQ(vsts[0]->name, second);
  EXPECT_EQ(Run("/source list"), "\x1b[36m#1: " + sound_ + ", stopped, chain: 1\x1b[0m\r\n");
  EXPECT_EQ(Run("/vst unload"), "");
}

TEST_F(WorkbenchCommandsTest, ParametersAreSetByExactNameAndNumber) {
  Run(std::string("/vst load ") + kReverb);
  ASSERT_EQ(vsts.size(), 1u);
  ASSERT_FALSE(vsts[0]->params.empty());
  const std::string name = vsts[0]->params[0].name;
  // A bare number is normalised; the reply adds what the plug-in shows for it.
  EXPECT_TRUE(StartsWith(Run("/vst param 1 \"" + name + "\" 0.25"), "\x1b[34m " + name + " VST #1 = 0.25 ("));
  float value = 0;
  vsts[0]->plugin->GetParameter(vsts[0]->params[0].id, &value);
  EXPECT_FLOAT_EQ(value, 0.25f);
  EXPECT_FLOAT_EQ(vsts[0]->params[0].value, 0.25f);
  EXPECT_EQ(Run("/vst param 1 \"" + name + "\" loud"),
            "\x1b[31mCannot set " + name + " of VST #1 to loud: the plug-in cannot read it.\x1b[0m\r\n");
  vsts[0]->plugin->GetParameter(vsts[0]->params[0].id, &value);
  EXPECT_FLOAT_EQ(value, 0.25f);
  std::string upper = name;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (upper != name) {
    EXPECT_EQ(Run("/vst param 1 \"" + upper + "\" 0.5"), "\x1b[31m Invalid parameter " + upper + ".\x1b[0m\r\n");
  }
}

TEST_F(WorkbenchCommandsTest, SavingAPlugInCopiesItOrSaysWhyNot) {
  Run(std::string("/vst load ") + kReverb);
  const std::string copy = (folder_ / "copy.so").string();
  EXPECT_EQ(Run("/vst save 1 " + copy), "\x1b[34mVST 1 -> " + copy + ".\x1b[0m\r\n");
  EXPECT_EQ(fs::file_size(copy), fs::file_size(kReverb));
  EXPECT_TRUE(StartsWith(Run("/vst save 1 /no/such/folder/x.so"),
                         "\x1b[31mCannot save VST #1 to /no/such/folder/x.so: "));
  // Copying onto a device would write into it; only a file or nothing may stand there.
  EXPECT_EQ(Run("/vst save 1 /dev/null"),
            "\x1b[31mCannot save VST #1 to /dev/null: /dev/null is a character device.\x1b[0m\r\n");
}

// Without a display (this test's process never starts one) the editor says why in red.
TEST_F(WorkbenchCommandsTest, EditWithoutADisplaySaysSo) {
  unsetenv("DISPLAY");
  Run(std::string("/vst load ") + kDragonfly);
  EXPECT_EQ(Run("/vst edit 1"),
            "\x1b[31mNo display for editor windows: DISPLAY is not set or its X server does not "
            "answer.\x1b[0m\r\n");
  EXPECT_EQ(Run("/vst edit 4"), "\x1b[31mInvalid index. Use /vst list to see available files.\x1b[0m\r\n");
  EXPECT_NE(Run("/vst").find("/vst edit <N> [params]"), std::string::npos);
}

TEST_F(WorkbenchCommandsTest, EditOpensTheEditorOrTheParameterList) {
  ASSERT_TRUE(plexar::testing::StartXvfb());
  Run(std::string("/vst load ") + kDragonfly);
  ASSERT_EQ(vsts.size(), 1u);
  const std::string name = vsts[0]->name;
  EXPECT_EQ(Run("/vst edit 1"), "\x1b[34m Editor of VST #1 (" + name + ").\x1b[0m\r\n");
  EXPECT_EQ(Run("/vst edit 1 params"), "\x1b[34m Parameters of VST #1 (" + name + ").\x1b[0m\r\n");
  plexar::HWND frame = nullptr;
  vsts[0]->plugin->GetEditorWindow(&frame);
  EXPECT_NE(frame, nullptr);
  // Unloading the entry closes its windows.
  Run("/vst unload 1");
  EXPECT_TRUE(vsts.empty());
}

}  // namespace
