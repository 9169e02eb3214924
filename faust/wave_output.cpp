// SPDX-License-Identifier: GPL-3.0-or-later
#include "faust/wave_output.h"

#include <algorithm>
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

namespace {
// Shared by the process's outputs: a machine that stalled, or is busy, is likely to stall
// again soon. Until this time (steady clock ticks), outputs keep the deep queue.
std::atomic<std::chrono::steady_clock::rep> deepUntil{0};

bool DeepNow() { return std::chrono::steady_clock::now().time_since_epoch().count() < deepUntil; }
}  // namespace

namespace {
// A busy machine is a sign only where a host may take a processor away: elsewhere the
// shallow queue rides out a build, and the deeper one would only delay every change. Asked
// once: the answer does not change while the process runs.
std::string BusySignFile() {
  static const bool underHypervisor = RunsUnderAHypervisor();
  return underHypervisor ? "/proc/stat" : "";
}
}  // namespace

WOUT::WOUT()
    : WOUT([](int* error) { return OpenAlsaPcm(WaveOutputDeviceName(), error); }, kRoomWait,
           true, BusySignFile()) {}

WOUT::WOUT(DeviceOpener opener, std::chrono::milliseconds roomWait, bool learnsStalls,
           std::string statFile)
    : opener_(std::move(opener)),
      roomWait_(roomWait),
      learnsStalls_(learnsStalls),
      load_(std::move(statFile)),
      depth_(learnsStalls && DeepNow() ? kDeepQueued : maxQueued) {}

bool WOUT::MachineStalls() { return DeepNow(); }
void WOUT::ForgetMachineStalls() { deepUntil = 0; }

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

std::unique_ptr<WOUT::WHDR> WOUT::NewBuffer(const std::byte* data, size_t bytes) {
  std::unique_ptr<WHDR> buffer;
  if (spare_.empty()) {
    buffer = std::make_unique<WHDR>();
  } else {
    buffer = std::move(spare_.back());
    spare_.pop_back();
  }
  buffer->bytes.assign(data, data + bytes);
  buffer->given = buffer->taken = false;
  buffer->frames = 0;
  return buffer;
}

void WOUT::GiveToDevice(WHDR& buffer) {
  buffer.given = true;
  doneEvent.Set();
}

bool WOUT::Write(const void* data, size_t bytes) {
  // Without a device nothing would ever take buffers back: refuse rather than wait and pile.
  if (!device || bytes % kFrameBytes != 0 || (data == nullptr && bytes != 0)) return false;
  const auto* next = static_cast<const std::byte*>(data);
  // A long write goes in pieces, each waiting for room: the queue bounds time, not calls.
  do {
    const size_t piece = std::min(bytes, kBufferFrames * kFrameBytes);
    NoteAsking();
    Queue(next, piece, !roomEvent.WaitFor(roomWait_));
    next += piece;
    bytes -= piece;
  } while (bytes > 0);
  return true;
}

void WOUT::WaitForRoom() {
  if (!device) return;
  NoteAsking();
  roomEvent.WaitFor(roomWait_);
}

void WOUT::NoteAsking() {
  WriteGuard guard(queueLock);
  if (queue.size() >= depth_) waitingForRoom_ = true;
}

void WOUT::Queue(const std::byte* data, size_t bytes, bool roomTimedOut) {
  {
    WriteGuard guard(queueLock);
    // The writer asked for this buffer when it made room; a source (or its chain) that took
    // long to bring it was held up by the machine.
    if (roomGivenAt_) {
      if (Clock::now() - *roomGivenAt_ >= kLateWake) DeepenLocked();
      roomGivenAt_.reset();
    }
    queue.push_back(NewBuffer(data, bytes));
    if (!started) {
      if (queue.size() < depth_) return;  // pre-roll
      for (auto& buffer : queue) GiveToDevice(*buffer);
      started = true;
      return;
    }
    // Once started, every block goes to the device: a block held back until the queue is
    // full again (after the device ran dry) would never be played at all.
    GiveToDevice(*queue.back());
    if (queue.size() >= depth_) roomEvent.Reset();
  }
  if (roomTimedOut)
    std::fprintf(stderr, "Wave output: the sound device took no buffer for %lld s.\n",
                 static_cast<long long>(roomWait_.count() / 1000));
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

size_t WOUT::Depth() {
  WriteGuard guard(queueLock);
  return depth_;
}

void WOUT::thrx() {
  // Zero: nothing is playing that the writer must see finish, only new buffers wake it.
  std::chrono::milliseconds nextPlayed{0};
  for (;;) {
    bool timedOut = false;
    Clock::time_point due{};
    if (nextPlayed.count() == 0) {
      doneEvent.Wait();
    } else {
      due = Clock::now() + nextPlayed;
      timedOut = !doneEvent.WaitFor(nextPlayed);
    }
    if (stop) break;
    nextPlayed = PlayGivenBuffers();
    // Timed out, the pass only took back what was played: it ends late only when the machine
    // ran this thread late.
    if (timedOut) NoteWake(Clock::now() - due);
    if (learnsStalls_) LookAtMachine();
  }
  exitedEvent.Set();
}

void WOUT::NoteWake(Clock::duration late) {
  if (late < kLateWake) return;
  WriteGuard guard(queueLock);
  DeepenLocked();
}

// Looks only while sound plays: the writer thread sleeps until a buffer comes otherwise.
void WOUT::LookAtMachine() {
  const auto now = Clock::now();
  if (now < nextLoadLook_) return;
  nextLoadLook_ = now + kLoadLook;
  const std::optional<double> idle = load_.IdleSinceLastLook();
  WriteGuard guard(queueLock);
  if (idle && *idle < kBusyIdleShare)
    DeepenLocked();
  else if (!DeepNow())
    depth_ = maxQueued;  // a calm machine: the queue drains to the shallow depth as it plays
}

void WOUT::DeepenLocked() {
  if (!learnsStalls_) return;
  deepUntil = (Clock::now() + kCalmBeforeShallow).time_since_epoch().count();
  depth_ = kDeepQueued;
  if (queue.size() < depth_) roomEvent.Set();
}

// Buffers go to the device in queue order, and the device is never waited on under the
// lock. A buffer being played stays in the queue; only this thread removes buffers and the
// destructor joins it before freeing them, so the pointer stays valid outside the lock.
// Returns how soon the oldest buffer the device holds will have been heard (0: none held).
std::chrono::milliseconds WOUT::PlayGivenBuffers() {
  std::chrono::milliseconds nextPlayed{0};
  while (!stop) {
    WHDR* next = nullptr;
    {
      WriteGuard guard(queueLock);
      for (auto& buffer : queue) {
        if (buffer->taken) continue;
        if (buffer->given) next = buffer.get();
        break;
      }
    }
    if (next == nullptr) return RetirePlayed();
    const size_t frames = next->bytes.size() / kFrameBytes;
    const int result = device->Play(next->bytes.data(), frames);
    if (result == PcmDevice::kInterrupted) return std::chrono::milliseconds{0};
    lastResult = result;
    {
      // Played or failed, the buffer is done with: a failing device must not stall the source.
      WriteGuard guard(queueLock);
      next->taken = true;
      next->frames = result == 0 ? frames : 0;
      next->takenAt = Clock::now();
      framesInDevice_ += next->frames;
    }
    nextPlayed = RetirePlayed();
  }
  return nextPlayed;
}

// Takes back the buffers the device has played: those whose frames are all older than what
// it still holds.
std::chrono::milliseconds WOUT::RetirePlayed() {
  {
    // With nothing taken the device is not asked: the owner may be draining it.
    WriteGuard guard(queueLock);
    if (queue.empty() || !queue.front()->taken) return std::chrono::milliseconds{0};
  }
  const size_t held = device->Held();
  const auto now = Clock::now();
  WriteGuard guard(queueLock);
  size_t remaining = 0;  // frames of the oldest buffer still to be heard
  while (!queue.empty() && queue.front()->taken) {
    WHDR& oldest = *queue.front();
    const size_t after = framesInDevice_ - oldest.frames;  // taken after the oldest
    const auto length = std::chrono::milliseconds(oldest.frames / 48);
    if (oldest.frames > 0 && held > after && now - oldest.takenAt < length + kPlayStall) {
      remaining = std::min(held - after, oldest.frames);
      break;
    }
    framesInDevice_ = after;
    if (spare_.size() < depth_) spare_.push_back(std::move(queue.front()));
    queue.pop_front();
  }
  if (queue.size() < depth_) {
    if (waitingForRoom_ && !roomGivenAt_) roomGivenAt_ = now;
    waitingForRoom_ = false;
    roomEvent.Set();
  }
  if (remaining == 0) return std::chrono::milliseconds{0};
  return std::chrono::milliseconds(remaining / 48 + 1);
}

}  // namespace faust
