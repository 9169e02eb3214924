// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/read_write_lock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <latch>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using common::ReadGuard;
using common::ReadWriteLock;
using common::WriteGuard;

// Long enough for a thread that is not blocked to get where it is going.
constexpr auto kSettle = 50ms;

// A thread that reads until told to stop.
class HeldRead {
 public:
  explicit HeldRead(ReadWriteLock& lock)
      : thread_([this, &lock] {
          ReadGuard guard(lock);
          inside_.count_down();
          release_.wait();
        }) {
    inside_.wait();
  }
  ~HeldRead() { Release(); }
  void Release() {
    if (!thread_.joinable()) return;
    release_.count_down();
    thread_.join();
  }

 private:
  std::latch inside_{1};
  std::latch release_{1};
  std::thread thread_;
};

TEST(ReadWriteLockTest, OneThreadReadsWritesAndReadsAgainWithoutBlocking) {
  ReadWriteLock lock;
  auto m = lock.LockRead(false);
  m.Wait();
  m.Wait();  // a thread may read several times over
  EXPECT_TRUE(m.Release());
  EXPECT_TRUE(m.Release());
  EXPECT_FALSE(m.Release());  // not held any more
  lock.LockWrite();
  lock.LockWrite();  // and write several times over
  { ReadGuard readWhileWriting(lock); }
  lock.UnlockWrite();
  lock.UnlockWrite();
  { ReadGuard again(lock); }
  EXPECT_EQ(lock.ReaderCount(), 1u);
}

TEST(ReadWriteLockTest, ReaderTakesTheWriteLockAndOthersWaitForIt) {
  ReadWriteLock lock;
  std::atomic<bool> otherRead{false};
  std::thread other;
  {
    ReadGuard read(lock);
    WriteGuard write(lock);
    other = std::thread([&] {
      ReadGuard guard(lock);
      otherRead = true;
    });
    std::this_thread::sleep_for(kSettle);
    EXPECT_FALSE(otherRead);
  }
  other.join();
  EXPECT_TRUE(otherRead);
}

TEST(ReadWriteLockTest, WriterWaitsForEveryReaderAndNewReadersWaitForWriter) {
  ReadWriteLock lock;
  auto first = std::make_unique<HeldRead>(lock);
  auto second = std::make_unique<HeldRead>(lock);
  std::atomic<bool> writing{false}, wrote{false}, thirdRead{false};
  std::latch release{1};
  std::thread writer([&] {
    WriteGuard guard(lock);
    writing = true;
    release.wait();
    wrote = true;
  });
  std::this_thread::sleep_for(kSettle);
  std::thread third([&] {
    ReadGuard guard(lock);
    thirdRead = true;
    EXPECT_TRUE(wrote);
  });
  std::this_thread::sleep_for(kSettle);
  EXPECT_FALSE(writing);
  first->Release();
  std::this_thread::sleep_for(kSettle);
  EXPECT_FALSE(writing);  // one reader is still inside
  second->Release();
  while (!writing) std::this_thread::sleep_for(1ms);
  std::this_thread::sleep_for(kSettle);
  EXPECT_FALSE(thirdRead);
  release.count_down();
  writer.join();
  third.join();
  EXPECT_TRUE(thirdRead);
}

TEST(ReadWriteLockTest, ReaderOvertakenBetweenLockReadAndWaitWaitsForTheWrite) {
  ReadWriteLock lock;
  std::latch passedGate{1}, writerIn{1};
  std::atomic<bool> writing{false}, readDuringWrite{false};
  std::thread reader([&] {
    auto m = lock.LockRead(false);
    passedGate.count_down();
    writerIn.wait();
    m.Wait();
    readDuringWrite = writing.load();
    m.Release();
  });
  passedGate.wait();
  lock.LockWrite();
  writing = true;
  writerIn.count_down();
  std::this_thread::sleep_for(kSettle);
  writing = false;
  lock.UnlockWrite();
  reader.join();
  EXPECT_FALSE(readDuringWrite);
}

TEST(ReadWriteLockTest, NestedReadDoesNotDeadlockWithAWaitingWriter) {
  ReadWriteLock lock;
  std::latch reading{1}, writerWaiting{1};
  std::thread reader([&] {
    ReadGuard outer(lock);
    reading.count_down();
    writerWaiting.wait();
    std::this_thread::sleep_for(kSettle);
    ReadGuard inner(lock);
  });
  reading.wait();
  std::thread writer([&] {
    writerWaiting.count_down();
    WriteGuard guard(lock);
  });
  reader.join();
  writer.join();
}

TEST(ReadWriteLockTest, ForgetReadersEmptiesTheTableButKeepsActiveReaders) {
  ReadWriteLock lock;
  { HeldRead a(lock), b(lock), c(lock); }
  EXPECT_EQ(lock.ReaderCount(), 3u);
  lock.ForgetReaders();
  EXPECT_EQ(lock.ReaderCount(), 0u);
  { ReadGuard readsAgain(lock); }
  { WriteGuard writesAgain(lock); }

  auto held = std::make_unique<HeldRead>(lock);
  lock.ForgetReaders();
  EXPECT_EQ(lock.ReaderCount(), 1u);  // only the thread that reads right now
  std::atomic<bool> wrote{false};
  std::thread writer([&] {
    WriteGuard guard(lock);
    wrote = true;
  });
  std::this_thread::sleep_for(kSettle);
  EXPECT_FALSE(wrote);
  held->Release();
  writer.join();
  EXPECT_TRUE(wrote);
}

TEST(ReadWriteLockTest, ManyMoreThan64ReadersStillKeepTheWriterOut) {
  ReadWriteLock lock;
  constexpr int kReaders = 80;
  std::atomic<int> inside{0};
  std::latch allIn{kReaders}, release{1};
  std::vector<std::thread> readers;
  for (int i = 0; i < kReaders; ++i)
    readers.emplace_back([&] {
      ReadGuard guard(lock);
      ++inside;
      allIn.count_down();
      release.wait();
      --inside;
    });
  allIn.wait();
  std::atomic<int> seenByWriter{-1};
  std::thread writer([&] {
    WriteGuard guard(lock);
    seenByWriter = inside.load();
  });
  std::this_thread::sleep_for(kSettle);
  EXPECT_EQ(seenByWriter, -1);
  release.count_down();
  for (auto& t : readers) t.join();
  writer.join();
  EXPECT_EQ(seenByWriter, 0);
}

TEST(ReadWriteLockTest, RunWriteLockedReturnsTheResult) {
  ReadWriteLock lock;
  int value = 0;
  EXPECT_EQ(common::RunWriteLocked(lock, [&] { return ++value * 10; }), 10);
  common::RunWriteLocked(lock, [&] { ++value; });
  EXPECT_EQ(value, 2);
}

TEST(ReadWriteLockTest, SlowWaitsReportOnlyInDebugAndKeepWaiting) {
  for (bool debug : {true, false}) {
    if (debug)
      setenv("TESSARY_DEBUG", "1", 1);
    else
      unsetenv("TESSARY_DEBUG");
    ReadWriteLock lock;
    lock.SetDebugTimeout(10ms);
    auto reader = std::make_unique<HeldRead>(lock);
    std::atomic<bool> released{false}, writerSawRelease{false};
    std::atomic<bool> writing{false};
    // Past the gate before the writer takes it, so that its wait is on the writer.
    auto m = lock.LockRead(false);
    testing::internal::CaptureStderr();
    std::thread writer([&] {
      WriteGuard guard(lock);
      writerSawRelease = released.load();
      writing = true;
      std::this_thread::sleep_for(kSettle);  // long enough for the reader to time out
      writing = false;
    });
    std::this_thread::sleep_for(kSettle);
    released = true;
    reader->Release();
    while (!writing) std::this_thread::sleep_for(1ms);
    m.Wait();
    EXPECT_FALSE(writing);
    m.Release();
    writer.join();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(writerSawRelease);
    EXPECT_EQ(err.find("LockWrite debug timeout!\n") != std::string::npos, debug) << err;
    EXPECT_EQ(err.find("LockRead debug timeout!\n") != std::string::npos, debug) << err;
  }
  unsetenv("TESSARY_DEBUG");
}

}  // namespace
