// SPDX-License-Identifier: GPL-3.0-or-later
// Readers and writers hammer one lock. The guarded record is plain memory, so a reader that
// overlaps a writer shows up as a torn record here and as a data race under ThreadSanitizer.
#include "common/read_write_lock.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <thread>
#include <vector>

namespace {

using common::ReadGuard;
using common::ReadWriteLock;
using common::WriteGuard;

struct Record {
  std::array<long, 8> fields{};
  bool Whole() const {
    for (long f : fields)
      if (f != fields[0]) return false;
    return true;
  }
};

TEST(ReadWriteLockStressTest, ReadersNeverSeeAHalfMadeWrite) {
  constexpr int kReaders = 4, kWriters = 2, kWrites = 6000, kReads = 25000;
  ReadWriteLock lock;
  Record record;
  std::atomic<int> torn{0};
  std::vector<std::thread> threads;
  for (int w = 0; w < kWriters; ++w)
    threads.emplace_back([&] {
      for (int i = 0; i < kWrites; ++i) {
        WriteGuard guard(lock);
        const long next = record.fields[0] + 1;
        for (long& f : record.fields) {
          f = next;
          if (i % 64 == 0) std::this_thread::yield();  // widen the half-made window
        }
      }
    });
  for (int r = 0; r < kReaders; ++r)
    threads.emplace_back([&, r] {
      for (int i = 0; i < kReads; ++i) {
        ReadGuard guard(lock);
        if (!record.Whole()) ++torn;
        if (r == 0 && i % 16 == 0) {  // nested reads on one thread
          ReadGuard again(lock);
          if (!record.Whole()) ++torn;
        }
        if (r == 1 && i % 32 == 0) {  // the low-level protocol,
          auto m = lock.LockRead(false);
          m.Wait();
          if (!record.Whole()) ++torn;
          m.Release();
        }
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(torn, 0);
  EXPECT_EQ(record.fields[0], long(kWriters) * kWrites);
  EXPECT_TRUE(record.Whole());
}

}  // namespace
