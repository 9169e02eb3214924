// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace faust {

/// Whether the processors say they run under a hypervisor (the "hypervisor" flag of
/// /proc/cpuinfo on x86): a machine whose host may hold a processor for a while.
bool RunsUnderAHypervisor(const std::string& cpuinfoFile = "/proc/cpuinfo");

/// How much of the machine's processor time went unused, from the kernel's counters
/// (the "cpu" line of /proc/stat), between one look and the next.
class ProcessorLoad {
 public:
  explicit ProcessorLoad(std::string statFile = "/proc/stat") : statFile_(std::move(statFile)) {}

  /// The share of all processors' time (0 to 1) spent idle since the last look; none at the
  /// first look, when the counters cannot be read (or no file was named), or when they did
  /// not move.
  std::optional<double> IdleSinceLastLook();

 private:
  struct Times {
    uint64_t idle = 0;
    uint64_t total = 0;
  };
  std::optional<Times> Read() const;

  const std::string statFile_;
  std::optional<Times> last_;
};

}  // namespace faust
