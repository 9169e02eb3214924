// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/open_external.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// A PATH whose only xdg-open records its argument after a pause, so a caller that waited
// for it would be seen waiting.
class OpenAddressTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "open-address-XXXXXX").string();
    folder_ = mkdtemp(pattern.data());
    fs::path script = folder_ / "xdg-open";
    std::ofstream(script) << "#!/bin/sh\nsleep 0.3\nprintf '%s' \"$1\" > \"" +
                                 (folder_ / "opened").string() + ".tmp\"\nmv \"" +
                                 (folder_ / "opened").string() + ".tmp\" \"" +
                                 (folder_ / "opened").string() + "\"\n";
    fs::permissions(script, fs::perms::owner_all);
    const char* path = getenv("PATH");
    savedPath_ = path ? path : "";
    setenv("PATH", (folder_.string() + ":/usr/bin:/bin").c_str(), 1);
  }
  void TearDown() override {
    setenv("PATH", savedPath_.c_str(), 1);
    fs::remove_all(folder_);
  }

  std::string Opened(std::chrono::milliseconds wait) {
    auto end = std::chrono::steady_clock::now() + wait;
    while (!fs::exists(folder_ / "opened") && std::chrono::steady_clock::now() < end)
      std::this_thread::sleep_for(10ms);
    std::ifstream in(folder_ / "opened");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  fs::path folder_;
  std::string savedPath_;
};

TEST_F(OpenAddressTest, WebAddressesGoToXdgOpenWithoutWaiting) {
  const std::string address = "https://github.com/login/device?a=1&b='2' $(touch x)";
  EXPECT_FALSE(platform::OpenAddress(address));  // a blank is no part of an address
  const std::string clean = "https://github.com/login/device?a=1&b='2'$(touch_x)";
  ASSERT_TRUE(platform::OpenAddress(clean));
  EXPECT_FALSE(fs::exists(folder_ / "opened"));  // returned before xdg-open finished
  EXPECT_EQ(Opened(5s), clean);
}

TEST_F(OpenAddressTest, OtherSchemesAndAMissingOpenerAreRefused) {
  for (const char* address :
       {"file:///etc/passwd", "/etc/passwd", "javascript:alert(1)", "https://x\x1b]8;;evil"}) {
    EXPECT_FALSE(platform::OpenAddress(address)) << address;
  }
  setenv("PATH", "/nonexistent", 1);
  EXPECT_FALSE(platform::OpenAddress("https://github.com/login/device"));
  EXPECT_EQ(Opened(400ms), "");
}

}  // namespace
