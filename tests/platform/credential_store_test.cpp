// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/credential_store.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using platform::Credential;
using platform::CredentialStore;

class CredentialStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "credentials-test-XXXXXX").string();
    root_ = mkdtemp(pattern.data());
  }
  void TearDown() override { fs::remove_all(root_); }

  fs::path File() const { return root_ / "config" / "tessary" / "credentials"; }
  CredentialStore Store() const { return CredentialStore(File()); }

  void Put(const std::string& text) {
    fs::create_directories(File().parent_path());
    std::ofstream(File(), std::ios::binary) << text;
  }
  std::string Contents() const {
    std::ifstream in(File(), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  static mode_t Mode(const fs::path& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
  }

  fs::path root_;
};

TEST_F(CredentialStoreTest, HoldsSeveralTargetsPrivately) {
  CredentialStore store = Store();
  EXPECT_FALSE(store.Read("Tessary_AccessToken"));
  // A secret with every troublesome byte comes back as it went in.
  std::string odd("line\nbreak\ttab\0nul \xff", 20);
  ASSERT_TRUE(store.Write("Tessary_AccessToken", {"Tessary", "gho_abc"}));
  ASSERT_TRUE(store.Write("Other target", {"someone", odd}));
  ASSERT_TRUE(store.Write("Tessary_AccessToken", {"Tessary", "gho_new"}));

  auto token = store.Read("Tessary_AccessToken");
  ASSERT_TRUE(token);
  EXPECT_EQ(token->user, "Tessary");
  EXPECT_EQ(token->secret, "gho_new");
  auto other = store.Read("Other target");
  ASSERT_TRUE(other);
  EXPECT_EQ(other->secret, odd);
  EXPECT_FALSE(store.Read("tessary_accesstoken"));

  EXPECT_EQ(Mode(File()), 0600u);
  EXPECT_EQ(Mode(File().parent_path()), 0700u);
  EXPECT_EQ(Mode(File().parent_path().parent_path()), 0700u);
}

TEST_F(CredentialStoreTest, DeletingTheLastCredentialRemovesTheFile) {
  CredentialStore store = Store();
  ASSERT_TRUE(store.Write("a", {"Tessary", "1"}));
  ASSERT_TRUE(store.Write("b", {"Tessary", "2"}));
  EXPECT_TRUE(store.Delete("a"));
  EXPECT_FALSE(store.Read("a"));
  EXPECT_EQ(store.Read("b")->secret, "2");
  EXPECT_TRUE(store.Delete("b"));
  EXPECT_FALSE(fs::exists(File()));
  EXPECT_TRUE(store.Delete("b"));  // nothing there is no failure
  EXPECT_TRUE(CredentialStore(root_ / "nowhere" / "credentials").Delete("a"));
}

TEST_F(CredentialStoreTest, WritingReplacesTheFileWhole) {
  CredentialStore store = Store();
  ASSERT_TRUE(store.Write("a", {"Tessary", "old"}));
  // A reader that opened the old file keeps seeing it complete: the new one is renamed over
  // it, never written into it.
  int oldFile = open(File().c_str(), O_RDONLY);
  ASSERT_GE(oldFile, 0);
  std::string before = Contents();
  ASSERT_TRUE(store.Write("a", {"Tessary", std::string(5000, 'x')}));
  char buffer[8192];
  ssize_t n = read(oldFile, buffer, sizeof buffer);
  close(oldFile);
  EXPECT_EQ(std::string(buffer, size_t(std::max<ssize_t>(n, 0))), before);
  EXPECT_EQ(store.Read("a")->secret, std::string(5000, 'x'));
  // No temporary file is left beside it.
  int entries = 0;
  for (const auto& entry : fs::directory_iterator(File().parent_path())) {
    (void)entry;
    ++entries;
  }
  EXPECT_EQ(entries, 1);
}

TEST_F(CredentialStoreTest, AMalformedFileReadsAsNoCredential) {
  const std::string header = "tessary-credentials 1\n";
  const char* bodies[] = {
      "",
      "garbage",
      "tessary-credentials 2\na\tTessary\tZ2hv\n",
      "a\tTessary\tZ2hv\n",
      "tessary-credentials 1\na\tTessary\n",
      "tessary-credentials 1\na\tTessary\tZ2hv\textra\n",
      "tessary-credentials 1\na\tTessary\tnot base64!\n",
      "tessary-credentials 1\n\tTessary\tZ2hv\n",
      "tessary-credentials 1\na\tTessary\tZ2hv\na\tTessary\tZ2hv\n",
  };
  for (const char* body : bodies) {
    Put(body);
    EXPECT_FALSE(Store().Read("a")) << body;
  }
  Put(header + std::string(2 << 20, 'x'));
  EXPECT_FALSE(Store().Read("a"));
  Put(std::string("\0\x01\x02\xff", 4));
  EXPECT_FALSE(Store().Read("a"));

  // The well-formed file the cases are variations of, and a write over a broken one.
  Put(header + "a\tTessary\tZ2hv\n");
  EXPECT_EQ(Store().Read("a")->secret, "gho");
  Put("garbage");
  ASSERT_TRUE(Store().Write("b", {"Tessary", "new"}));
  EXPECT_EQ(Store().Read("b")->secret, "new");
}

TEST_F(CredentialStoreTest, AStoreSomeoneElseCouldHaveWrittenIsRefused) {
  const std::string planted = "tessary-credentials 1\nTessary_AccessToken\tTessary\tcGxhbnRlZA==\n";
  fs::path elsewhere = root_ / "elsewhere";
  struct Case {
    const char* name;
    std::function<void()> plant;
    const char* reason;
  } cases[] = {
      {"a link", [&] {
         std::ofstream(elsewhere) << planted;
         fs::create_directories(File().parent_path());
         fs::create_symlink(elsewhere, File());
       }, "is a symbolic link"},
      {"a file others may write", [&] {
         Put(planted);
         chmod(File().c_str(), 0666);
       }, "may be written by others"},
      {"a folder others may write", [&] {
         Put(planted);
         chmod(File().parent_path().c_str(), 0777);
       }, "may be written by others"},
      {"a file of another user", [&] {
         Put(planted);
         ASSERT_EQ(chown(File().c_str(), geteuid() + 1, getegid()), 0);
       }, "belongs to another user"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // Giving a file away takes root.
    if (std::string(c.reason) == "belongs to another user" && geteuid() != 0) continue;
    fs::remove_all(root_ / "config");
    fs::remove(elsewhere);
    c.plant();
    CredentialStore store = Store();
    std::string problem;
    EXPECT_FALSE(store.Read("Tessary_AccessToken", &problem));
    EXPECT_NE(problem.find(c.reason), std::string::npos) << problem;
    std::string error;
    EXPECT_FALSE(store.Write("Tessary_AccessToken", {"Tessary", "mine"}, &error));
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    // A link is removed (never followed); a planted file is left alone.
    const bool link = fs::is_symlink(File());
    EXPECT_EQ(store.Delete("Tessary_AccessToken", &error), link);
    if (link) {
      EXPECT_FALSE(fs::exists(fs::symlink_status(File())));
    }
    // Nothing was written through the link or into the planted file.
    std::ifstream in(fs::exists(elsewhere) ? elsewhere : File());
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, planted);
  }
}

TEST_F(CredentialStoreTest, NamesThatCannotBeStoredAreRefused) {
  std::string error;
  EXPECT_FALSE(Store().Write("", {"Tessary", "x"}, &error));
  EXPECT_FALSE(Store().Write("a\tb", {"Tessary", "x"}, &error));
  EXPECT_FALSE(Store().Write("a", {"Tes\nsary", "x"}, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(fs::exists(File()));
}

TEST_F(CredentialStoreTest, AFolderThatCannotBeMadeIsReported) {
  fs::create_directories(root_ / "config");
  std::ofstream(root_ / "config" / "tessary") << "a file where the folder should be";
  std::string error;
  EXPECT_FALSE(Store().Write("a", {"Tessary", "x"}, &error));
  EXPECT_NE(error.find("tessary"), std::string::npos);
}

TEST_F(CredentialStoreTest, TheDefaultFileFollowsTheEnvironment) {
  const char* savedHome = getenv("HOME");
  const char* savedConfig = getenv("XDG_CONFIG_HOME");
  std::string home = savedHome ? savedHome : "", config = savedConfig ? savedConfig : "";

  setenv("HOME", "/home/someone", 1);
  setenv("XDG_CONFIG_HOME", "/cfg", 1);
  EXPECT_EQ(platform::DefaultCredentialFile(), fs::path("/cfg/tessary/credentials"));
  setenv("XDG_CONFIG_HOME", "relative/cfg", 1);
  EXPECT_EQ(platform::DefaultCredentialFile(),
            fs::path("/home/someone/.config/tessary/credentials"));
  unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(platform::DefaultCredentialFile(),
            fs::path("/home/someone/.config/tessary/credentials"));

  savedHome ? setenv("HOME", home.c_str(), 1) : unsetenv("HOME");
  savedConfig ? setenv("XDG_CONFIG_HOME", config.c_str(), 1) : unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
