// SPDX-License-Identifier: GPL-3.0-or-later
#include "faust/wave_output.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <system_error>

namespace faust {

using common::WriteGuard;

std::string WaveOutputDeviceName() {
  const char* name = std::getenv("TESSARY_AUDIO_DEVICE");
  return name != nullptr && *name != '\0' ? name : "default";
}

WOUT::WOUT() : WOUT([](int* error) { return OpenAlsaPcm(WaveOutputDeviceName(), error); }) {}

WOUT::WOUT(DeviceOpener opener, std::chrono::milliseconds roomWait)
    : opener_(std::move(opener)), roomWait_(roomWait) {}

WOUT::~WOUT() {
  stop = true;
  if (writer_.joinable()) {
    device->Interrupt();
    doneEvent.Set();
    // The writer never waits on anything but `doneEvent` and the interrupted device, so it
    // ends well within this; it is joined all the same, so that it cannot outlive us.
    exitedEvent.WaitFor(kExitWait);
    writer_.join();
  }
  if (device) {
    device->Drop();
    device.reset();
  }
}

bool WOUT::Open() {
  if (device) return true;
  int error = 0;
  device = opener_(&error);
  lastResult = device ? 0 : (error < 0 ? error : -ENODEV);
  if (!device) return false;
  try {
    writer_ = std::thread([this] { thrx(); });
  } catch (const std::system_error&) {
    device.reset();  // an open device nobody feeds would make every write wait
    throw;
  }
  return true;
}

std::unique_ptr<WOUT::WHDR> WOUT::NewBuffer(const void* data, size_t bytes) {
  std::unique_ptr<WHDR> buffer;
  if (spare_.empty()) {
    buffer = std::make_unique<WHDR>();
  } else {
    buffer = std::move(spare_.back());
    spare_.pop_back();
  }
  const auto* first = static_cast<const std::byte*>(data);
  buffer->bytes.assign(first, first + bytes);
  buffer->given = false;
  return buffer;
}

void WOUT::GiveToDevice(WHDR& buffer) {
  buffer.given = true;
  doneEvent.Set();
}

bool WOUT::Write(const void* data, size_t bytes) {
  // Without a device nothing would ever take buffers back: refuse rather than wait and pile.
  if (!device || bytes % kFrameBytes != 0 || (data == nullptr && bytes != 0)) return false;
  const bool roomTimedOut = !roomEvent.WaitFor(roomWait_);
  bool report = false;
  {
    WriteGuard guard(queueLock);
    queue.push_back(NewBuffer(data, bytes));
    if (!started) {
      if (queue.size() < maxQueued) return true;  // pre-roll
      for (auto& buffer : queue) GiveToDevice(*buffer);
      started = true;
      return true;
    }
    // Once started, every block goes to the device: a block held back until the queue is
    // full again (after the device ran dry) would never be played at all.
    report = roomTimedOut;
    GiveToDevice(*queue.back());
    if (queue.size() >= maxQueued) roomEvent.Reset();
  }
  if (report)
    std::fprintf(stderr, "Wave output: the sound device took no buffer for %lld s.\n",
                 static_cast<long long>(roomWait_.count() / 1000));
  return true;
}

void WOUT::StartPlaying() {
  WriteGuard guard(queueLock);
  if (started || queue.empty()) return;
  for (auto& buffer : queue) GiveToDevice(*buffer);
  started = true;
}

void WOUT::Drain() {
  if (device && QueuedBuffers() == 0) device->Drain();
}

size_t WOUT::QueuedBuffers() {
  WriteGuard guard(queueLock);
  return queue.size();
}

void WOUT::thrx() {
  for (;;) {
    doneEvent.Wait();
    if (stop) break;
    PlayGivenBuffers();
  }
  exitedEvent.Set();
}

// Buffers go to the device in queue order, and the device is never waited on under the
// lock. A buffer being played stays in the queue; only this thread removes buffers and the
// destructor joins it before freeing them, so the pointer stays valid outside the lock.
void WOUT::PlayGivenBuffers() {
  while (!stop) {
    WHDR* next = nullptr;
    {
      WriteGuard guard(queueLock);
      if (!queue.empty() && queue.front()->given) next = queue.front().get();
    }
    if (next == nullptr) return;
    const int result = device->Play(next->bytes.data(), next->bytes.size() / kFrameBytes);
    if (result == PcmDevice::kInterrupted) return;
    lastResult = result;
    // Played or failed, the buffer is done: a failing device must not stall the source.
    WriteGuard guard(queueLock);
    if (spare_.size() < maxQueued) spare_.push_back(std::move(queue.front()));
    queue.pop_front();
    if (queue.size() < maxQueued) roomEvent.Set();
  }
}

}  // namespace faust
