// SPDX-License-Identifier: GPL-3.0-or-later
#include "faust/processor_load.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace faust {

bool RunsUnderAHypervisor(const std::string& cpuinfoFile) {
  std::ifstream cpuinfo(cpuinfoFile);
  std::string line;
  while (std::getline(cpuinfo, line)) {
    if (line.rfind("flags", 0) != 0) continue;
    std::istringstream words(line);
    std::string word;
    while (words >> word)
      if (word == "hypervisor") return true;
    return false;  // every processor has the same flags
  }
  return false;
}

// user nice system idle iowait irq softirq steal: time a host took from the machine (steal)
// counts as busy, waiting for disks (iowait) as idle. Guest time is already in user.
std::optional<ProcessorLoad::Times> ProcessorLoad::Read() const {
  if (statFile_.empty()) return std::nullopt;
  char line[512];
  FILE* file = std::fopen(statFile_.c_str(), "re");
  if (file == nullptr) return std::nullopt;
  const bool read = std::fgets(line, sizeof line, file) != nullptr;
  std::fclose(file);
  if (!read) return std::nullopt;
  std::istringstream fields(line);
  std::string name;
  fields >> name;
  if (name != "cpu") return std::nullopt;
  Times times;
  uint64_t value = 0;
  int columns = 0;
  for (; columns < 8 && fields >> value; ++columns) {
    times.total += value;
    if (columns == 3 || columns == 4) times.idle += value;
  }
  if (columns < 4) return std::nullopt;  // every kernel has user, nice, system and idle
  return times;
}

std::optional<double> ProcessorLoad::IdleSinceLastLook() {
  const std::optional<Times> now = Read();
  const std::optional<Times> before = last_;
  last_ = now;
  // Counters that went back (another file, a reset) say nothing about the time between.
  if (!now || !before || now->total <= before->total || now->idle < before->idle)
    return std::nullopt;
  const double idle = double(now->idle - before->idle);
  return std::min(1.0, idle / double(now->total - before->total));
}

}  // namespace faust
