// SPDX-License-Identifier: GPL-3.0-or-later
// A running program replaces its own executable; the next start runs the new one.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/molt/update_fixture.h"

namespace molt_test {
namespace {

class SelfUpdateTest : public UpdateFixture {};

TEST_F(SelfUpdateTest, TheRunningExecutableIsReplacedAndTheNextStartRunsTheNewOne) {
  const Molt::Bytes program = ReadFile(MOLT_SELF_UPDATE_PROBE);
  ASSERT_FALSE(program.empty());
  // The new version: the same program with other bytes after its end, which the loader
  // ignores, and one changed block in the middle of the file.
  Molt::Bytes newer = program;
  const Molt::Bytes tail = RandomBytes(20000, 1);
  newer.insert(newer.end(), tail.begin(), tail.end());
  const std::string name = "probe";
  WriteFile(install() / name, program);
  ASSERT_EQ(chmod((install() / name).c_str(), 0755), 0);
  AddFile(name, newer, false);
  Publish();
  StartServer();

  const std::string command = (install() / name).string() + " " + server->Endpoint();
  EXPECT_EQ(ProgramOutput(command), "0\n");
  EXPECT_EQ(ReadFile(install() / name), newer);
  struct stat status;
  ASSERT_EQ(stat((install() / name).c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0755u);
  // The new executable starts and finds nothing left to do.
  EXPECT_EQ(ProgramOutput(command), "1\n");
  EXPECT_EQ(ListTree(install()), std::vector<std::string>{name});
}

}  // namespace
}  // namespace molt_test
