// SPDX-License-Identifier: GPL-3.0-or-later
// The /faust commands' replies, without compiling (automatic compilation off).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "faust/workbench.h"
#include "shell/dispatch.h"
#include "shell/session.h"

namespace {

namespace fs = std::filesystem;

class FaustCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    session_ = std::make_shared<CMDSESSION>();
    session_->mode = kFaustMode;
    session_->autoCompile = 0;
    cmdSession.store(session_);
    fausts.clear();
    folder_ = fs::temp_directory_path() / ("tessary-faust-" + std::to_string(getpid()));
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }

  std::string Run(const std::string& line) {
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(DispatchCommand(line), Handled) << line;
    return ::testing::internal::GetCapturedStdout();
  }

  std::shared_ptr<CMDSESSION> session_;
  fs::path folder_;
};

constexpr char kHelp[] =
    "\x1b[36m/faust list\t\t\t List all saved faust code snippets\r\n"
    "/faust load <file>\t\t Adds manually specific DSP file as a faust code snippet\r\n"
    "/faust type <N>\t\t\t Display the Nth faust code snippet\r\n"
    "/faust compile <N> <file>\t Compile the Nth faust code snippet into a VST plugin and "
    "save to file\r\n/faust save <N> <file>\t\t Save the Nth faust code snippet to a file"
    "\x1b[0m\r\n";
constexpr char kInvalid[] =
    "\x1b[31mInvalid index. Use /faust list to see available files.\x1b[0m\r\n";

TEST_F(FaustCommandsTest, RepliesOfTheSnippetCommands) {
  const fs::path file = folder_ / "two words.dsp";
  std::ofstream(file) << "process = _;\n";
  EXPECT_EQ(Run("/faust list"), "\x1b[36mFausts: 0\x1b[0m\r\n");
  EXPECT_EQ(Run("/faust type 1"), kInvalid);
  EXPECT_EQ(Run("/faust load " + folder_.string() + "/two   words.dsp"),
            "\x1b[34mLoaded Faust code from file " + file.string() + " as snippet #1.\x1b[0m\r\n");
  fausts.push_back("second");
  fausts.push_back("third");
  struct Case {
    std::string line, output;
  };
  const Case cases[] = {
      {"/faust", kHelp},
      {"/faust lisT", kHelp},
      {"/faust save 2", kHelp},
      {"/faust list", "\x1b[36mFausts: 3\x1b[0m\r\n"},
      {"/faust type 0", "\x1b[36mFaust #1:\r\nprocess = _;\n\x1b[0m\r\n"},
      {"/faust type 1", "\x1b[36mFaust #1:\r\nprocess = _;\n\x1b[0m\r\n"},
      {"/faust type abc", "\x1b[36mFaust #1:\r\nprocess = _;\n\x1b[0m\r\n"},
      {"/faust type 3", "\x1b[36mFaust #3:\r\nthird\x1b[0m\r\n"},
      {"/faust type 4", kInvalid},
      {"/faust type -1", kInvalid},
      {"/faust compile 9", kInvalid},
      {"/faust save 5 x", kInvalid},
  };
  for (const Case& c : cases) EXPECT_EQ(Run(c.line), c.output) << c.line;
}

TEST_F(FaustCommandsTest, FilesThatCannotBeReadOrWrittenAreReportedInRed) {
  fausts.push_back("process = _;");
  const std::string saved = (folder_ / "a b.dsp").string();
  EXPECT_EQ(Run("/faust save 1 " + folder_.string() + "/a  b.dsp"),
            "\x1b[34mFaust #1 -> " + saved + ".\x1b[0m\r\n");
  std::ifstream in(saved);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "process = _;");
  EXPECT_EQ(Run("/faust save 1 /no/such/folder/x.dsp").rfind("\x1b[31mCannot write /no/such/folder/x.dsp: ", 0), 0u);
  EXPECT_EQ(Run("/faust load /no/such/file.dsp").rfind("\x1b[31mCannot read /no/such/file.dsp: ", 0), 0u);
  EXPECT_EQ(Run("/faust load " + folder_.string()).rfind("\x1b[31mCannot read ", 0), 0u);
  EXPECT_EQ(fausts.size(), 1u);
}

TEST_F(FaustCommandsTest, OnlyRegularFilesAreReadOrReplaced) {
  const fs::path fifo = folder_ / "fifo", big = folder_ / "big.dsp", target = folder_ / "real.dsp";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::ofstream(big) << std::string((1 << 20) + 1, ' ');
  for (const std::string& file : {std::string("/dev/zero"), fifo.string(), big.string()}) {
    std::string reply = Run("/faust load " + file);
    EXPECT_EQ(reply.rfind("\x1b[31mCannot read " + file + ": ", 0), 0u) << reply;
  }
  EXPECT_TRUE(fausts.empty());

  fausts.push_back("process = _;");
  for (const std::string& file : {std::string("/dev/null"), fifo.string(), folder_.string()}) {
    std::string reply = Run("/faust save 1 " + file);
    EXPECT_EQ(reply.rfind("\x1b[31mCannot write " + file + " is ", 0), 0u) << reply;
  }
  EXPECT_TRUE(fs::is_fifo(fifo));
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
  // A link is written through: the file it names gets the text, and the link stays.
  std::ofstream(target) << "old";
  fs::create_symlink(target, folder_ / "link.dsp");
  EXPECT_EQ(Run("/faust save 1 " + (folder_ / "link.dsp").string()).rfind("\x1b[34m", 0), 0u);
  EXPECT_TRUE(fs::is_symlink(folder_ / "link.dsp"));
  std::ifstream in(target);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "process = _;");
  // A folder that is no bundle is refused before anything is compiled.
  fs::create_directories(folder_ / "plain.vst3");
  EXPECT_EQ(Run("/faust compile 1 " + (folder_ / "plain").string()).rfind("\x1b[31mCannot save to ", 0), 0u);
}

TEST_F(FaustCommandsTest, OutsideFaustModeOnlyTheModeMessage) {
  session_->mode = kChatMode;
  EXPECT_EQ(Run("/faust list"), "\x1b[31mThis command is only available in faust mode.\x1b[0m\r\n");
}

}  // namespace
