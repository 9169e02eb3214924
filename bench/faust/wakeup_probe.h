// SPDX-License-Identifier: GPL-3.0-or-later
// How late the machine wakes a thread: one that asks to wake every millisecond, at real-time
// priority where it may, and notes how late it woke. A stall it sees is one no player can ride
// out unless it has more sound queued than the stall lasted; on a virtual machine the host may
// hold the guest's processors that long.
#pragma once

#include <sched.h>
#include <time.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace bench {

class WakeupProbe {
 public:
  /// `longerThanMs`: the stalls worth counting, such as the sound a player keeps queued.
  explicit WakeupProbe(double longerThanMs) : longerThanMs_(longerThanMs) {
    thread_ = std::thread([this] { Run(); });
  }
  ~WakeupProbe() {
    stop_ = true;
    thread_.join();
  }
  WakeupProbe(const WakeupProbe&) = delete;
  WakeupProbe& operator=(const WakeupProbe&) = delete;

  bool RealTime() const { return realTime_.load(); }
  double WorstMs() const { return worstMs_.load(); }
  int Stalls() const { return stalls_.load(); }

 private:
  static double Ms(const timespec& later, const timespec& earlier) {
    return double(later.tv_sec - earlier.tv_sec) * 1e3 + double(later.tv_nsec - earlier.tv_nsec) / 1e6;
  }

  void Run() {
    sched_param param{};
    param.sched_priority = 10;
    realTime_ = sched_setscheduler(0, SCHED_FIFO, &param) == 0;
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
      if (late > worstMs_.load()) worstMs_ = late;
      if (late > longerThanMs_) {
        ++stalls_;
        if (log) {
          timespec wall{};
          clock_gettime(CLOCK_REALTIME, &wall);
          std::fprintf(stderr, "STALL %ld.%03ld woke %.1f ms late\n", long(wall.tv_sec),
                       wall.tv_nsec / 1'000'000, late);
        }
      }
      next = now;
    }
  }

  const double longerThanMs_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> realTime_{false};
  std::atomic<double> worstMs_{0};
  std::atomic<int> stalls_{0};
  std::thread thread_;
};

}  // namespace bench
