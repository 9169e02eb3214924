// SPDX-License-Identifier: GPL-3.0-or-later
// How late the machine wakes a thread: on each processor the process may use, a thread held
// to it asks to wake every millisecond, at real-time priority where it may, and notes how
// late it woke. A stall it sees is one no player can ride out unless it has more sound queued
// than the stall lasted. On a virtual machine the host may hold one of the guest's
// processors that long while the other runs on, so one probe per processor: a single one
// would miss the stalls of the processor it is not on.
#pragma once

#include <pthread.h>
#include <sched.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

namespace bench {

class WakeupProbe {
 public:
  /// `longerThanMs`: the stalls worth counting, such as the sound a player keeps queued.
  explicit WakeupProbe(double longerThanMs) : longerThanMs_(longerThanMs) {
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    if (sched_getaffinity(0, sizeof allowed, &allowed) != 0) CPU_SET(0, &allowed);
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
      if (!CPU_ISSET(cpu, &allowed)) continue;
      probes_.push_back(std::make_unique<Probe>());
      Probe* probe = probes_.back().get();
      probe->thread = std::thread([this, probe, cpu] { Run(*probe, cpu); });
    }
  }
  ~WakeupProbe() {
    stop_ = true;
    for (auto& probe : probes_) probe->thread.join();
  }
  WakeupProbe(const WakeupProbe&) = delete;
  WakeupProbe& operator=(const WakeupProbe&) = delete;

  bool RealTime() const {
    return std::all_of(probes_.begin(), probes_.end(), [](auto& p) { return p->realTime.load(); });
  }
  /// The latest wake-up on any processor.
  double WorstMs() const {
    double worst = 0;
    for (auto& probe : probes_) worst = std::max(worst, probe->worstMs.load());
    return worst;
  }
  /// Stalls over `longerThanMs`, counted on each processor: one that held the whole machine
  /// counts once per processor.
  int Stalls() const {
    int stalls = 0;
    for (auto& probe : probes_) stalls += probe->stalls.load();
    return stalls;
  }

 private:
  struct Probe {
    std::atomic<bool> realTime{false};
    std::atomic<double> worstMs{0};
    std::atomic<int> stalls{0};
    std::thread thread;
  };

  static double Ms(const timespec& later, const timespec& earlier) {
    return double(later.tv_sec - earlier.tv_sec) * 1e3 + double(later.tv_nsec - earlier.tv_nsec) / 1e6;
  }

  void Run(Probe& probe, int cpu) {
    cpu_set_t only;
    CPU_ZERO(&only);
    CPU_SET(cpu, &only);
    pthread_setaffinity_np(pthread_self(), sizeof only, &only);
    sched_param param{};
    param.sched_priority = 10;
    probe.realTime = sched_setscheduler(0, SCHED_FIFO, &param) == 0;
    const bool log = std::getenv("TESSARY_BENCH_XRUN_LOG") != nullptr;
    timespec next{};
    clock_gettime(CLOCK_MONOTONIC, &next);
    while (!stop_.load()) {
      next.tv_nsec += 1'000'000;
      if (next.tv_nsec >= 1'000'000'000) next.tv_nsec -= 1'000'000'000, ++next.tv_sec;
      clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
      timespec now{};
      clock_gettime(CLOCK_MONOTONIC, &now);
      const double late = Ms(now, next);
      if (late > probe.worstMs.load()) probe.worstMs = late;
      if (late > longerThanMs_) {
        ++probe.stalls;
        if (log) {
          timespec wall{};
          clock_gettime(CLOCK_REALTIME, &wall);
          std::fprintf(stderr, "STALL %ld.%03ld processor %d woke %.1f ms late\n",
                       long(wall.tv_sec), wall.tv_nsec / 1'000'000, cpu, late);
        }
      }
      next = now;
    }
  }

  const double longerThanMs_;
  std::atomic<bool> stop_{false};
  std::vector<std::unique_ptr<Probe>> probes_;
};

}  // namespace bench
