// SPDX-License-Identifier: GPL-3.0-or-later
#include "faust/processor_load.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <fstream>
#include <optional>

namespace {

struct Case {
  const char* what;
  const char* before;
  const char* after;
  std::optional<double> idle;
};

class ProcessorLoadTest : public testing::TestWithParam<Case> {
 protected:
  void SetStat(const char* line) { std::ofstream(file_, std::ios::trunc) << line; }
  const std::string file_ = testing::TempDir() + "stat." + std::to_string(getpid());
};

TEST_P(ProcessorLoadTest, IdleShareBetweenTwoLooks) {
  const Case& c = GetParam();
  faust::ProcessorLoad load(file_);
  SetStat(c.before);
  EXPECT_EQ(load.IdleSinceLastLook(), std::nullopt) << "a first look has nothing to compare";
  SetStat(c.after);
  const std::optional<double> idle = load.IdleSinceLastLook();
  ASSERT_EQ(idle.has_value(), c.idle.has_value());
  if (idle) {
    EXPECT_NEAR(*idle, *c.idle, 1e-9);
  }
  std::remove(file_.c_str());
}

// Columns: user nice system idle iowait irq softirq steal guest guest_nice.
INSTANTIATE_TEST_SUITE_P(
    Stat, ProcessorLoadTest,
    testing::Values(
        Case{"busy", "cpu  100 0 100 800 0 0 0 0 0 0\ncpu0 1 2 3\n",
             "cpu  1000 0 1000 810 0 0 0 0 0 0\ncpu0 1 2 3\n", 10.0 / 1810},
        Case{"waiting for disks is idle", "cpu 0 0 0 0 0 0 0 0", "cpu 100 0 0 50 50 0 0 0", 0.5},
        Case{"a host taking time is busy", "cpu 0 0 0 0 0 0 0 0", "cpu 0 0 0 100 0 0 0 300", 0.25},
        Case{"guest time is in user already", "cpu 0 0 0 0 0 0 0 0 0 0",
             "cpu 100 0 0 100 0 0 0 0 100 100", 0.5},
        Case{"an old kernel's four columns", "cpu 0 0 0 0", "cpu 30 0 10 60", 0.6},
        Case{"counters that did not move", "cpu 5 0 5 5", "cpu 5 0 5 5", std::nullopt},
        Case{"counters that went back", "cpu 50 0 50 50", "cpu 5 0 5 5", std::nullopt},
        Case{"not the total line", "cpu 0 0 0 0", "cpu0 10 0 0 10", std::nullopt},
        Case{"no numbers", "cpu 0 0 0 0", "cpu  x y z", std::nullopt},
        Case{"an empty file", "cpu 0 0 0 0", "", std::nullopt}),
    [](const auto& info) {
      std::string name;
      for (const char* p = info.param.what; *p; ++p)
        if (std::isalnum(static_cast<unsigned char>(*p))) name += *p;
      return name;
    });

TEST(ProcessorLoad, AFileThatCannotBeReadOrNoFileSaysNothing) {
  for (const char* file : {"/nonexistent/stat", ""}) {
    faust::ProcessorLoad load(file);
    EXPECT_EQ(load.IdleSinceLastLook(), std::nullopt) << file;
    EXPECT_EQ(load.IdleSinceLastLook(), std::nullopt) << file;
  }
}

TEST(ProcessorLoad, AHypervisorIsToldByTheProcessorsFlags) {
  const std::string file = testing::TempDir() + "cpuinfo." + std::to_string(getpid());
  const struct {
    const char* cpuinfo;
    bool hypervisor;
  } cases[] = {
      {"processor\t: 0\nflags\t\t: fpu vme sse2 hypervisor lahf_lm\nbogomips\t: 4192\n", true},
      {"processor\t: 0\nflags\t\t: fpu vme sse2 lahf_lm\n", false},
      {"flags\t\t: fpu not_a_hypervisor\n", false},
      {"processor\t: 0\nhypervisor vendor\t: KVM\n", false},  // no flags line: not x86
      {"", false},
  };
  for (const auto& c : cases) {
    std::ofstream(file, std::ios::trunc) << c.cpuinfo;
    EXPECT_EQ(faust::RunsUnderAHypervisor(file), c.hypervisor) << c.cpuinfo;
  }
  std::remove(file.c_str());
  EXPECT_FALSE(faust::RunsUnderAHypervisor("/nonexistent/cpuinfo"));
}

}  // namespace
