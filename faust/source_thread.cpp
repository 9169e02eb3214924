// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>

#include "faust/audio_decoder.h"
#include "faust/audio_in.h"
#include "faust/chain.h"
#include "faust/wave_output.h"
#include "faust/workbench.h"
#include "platform/console.h"

using namespace std::chrono_literals;

void AUDIO_IN::SetState(int32_t next) {
  state.store(next);
  Wake();
}

void AUDIO_IN::Wake() {
  {
    std::lock_guard guard(wakeLock_);
    ++wakeups_;
  }
  wake_.notify_all();
}

uint64_t AUDIO_IN::Epoch() {
  std::lock_guard guard(wakeLock_);
  return wakeups_;
}

void AUDIO_IN::Sleep(std::chrono::milliseconds limit, uint64_t epoch) {
  std::unique_lock lock(wakeLock_);
  wake_.wait_for(lock, limit, [&] { return wakeups_ != epoch; });
}

namespace {

constexpr size_t kBlockFloats = 2 * faust::kBlockFrames;

// One interleaved block through the chain, in place.
void RunBlock(const std::vector<std::shared_ptr<VST>>& chain, float* block) {
  float left[faust::kBlockFrames], right[faust::kBlockFrames];
  for (int32_t i = 0; i < faust::kBlockFrames; ++i) {
    left[i] = block[2 * i], right[i] = block[2 * i + 1];
  }
  faust::RunChain(chain, left, right);
  for (int32_t i = 0; i < faust::kBlockFrames; ++i) {
    block[2 * i] = left[i], block[2 * i + 1] = right[i];
  }
}

// What the device still holds plays out, unless the user stops or pauses meanwhile.
void PlayOut(AUDIO_IN& source, faust::WOUT& output, const std::atomic<bool>& quitting) {
  output.StartPlaying();
  for (int waited = 0; waited < 200 && output.QueuedBuffers() > 0; ++waited) {
    const uint64_t epoch = source.Epoch();
    if (quitting.load() || source.state.load() != kSourcePlaying) return;
    source.Sleep(10ms, epoch);
  }
  output.Drain();
}

struct Player {
  AUDIO_IN& source;
  const std::atomic<bool>& quitting;
  faust::AudioDecoder decoder;
  std::unique_ptr<faust::WOUT> output;
  uint64_t epoch = 0;  // read before the state this pass acts on
  bool rewound = false;
  std::vector<float> decoded, pending;
  std::vector<int16_t> pcm;
  std::vector<std::shared_ptr<VST>> chain;  // as last read
  bool chainRead = false;

  // The lock can be held for long (an answer's code compiles under it); the sound must not
  // wait for it, so the chain as last read serves until it is free again.
  void ReadChain() {
    std::unique_lock guard(workbenchLock, std::defer_lock);
    if (!chainRead)
      guard.lock();
    else if (!guard.try_lock())
      return;
    chain = source.chain;
    chainRead = true;
  }

  // The 512-frame blocks of `pending` through the chain to the output, each taken through the
  // chain only once the output has room for it: a changed chain is heard after what the
  // output holds, however large the decoder's packets. A remainder waits for more frames,
  // except that without plug-ins it goes along with the last block.
  void PlayPending() {
    size_t used = 0;
    while (pending.size() - used >= kBlockFloats) {
      output->WaitForRoom();
      ReadChain();
      size_t floats = kBlockFloats;
      if (!chain.empty())
        RunBlock(chain, pending.data() + used);
      else if (pending.size() - used < 2 * kBlockFloats)
        floats = pending.size() - used;
      pcm.clear();
      faust::AppendPcm16(pending.data() + used, floats, &pcm);
      output->Write(pcm.data(), pcm.size() * sizeof(int16_t));
      used += floats;
    }
    pending.erase(pending.begin(), pending.begin() + static_cast<ptrdiff_t>(used));
  }

  void Stopped() {
    if (!rewound) {
      decoder.Rewind();
      pending.clear();
      chain.clear();
      chainRead = false;
      rewound = true;
    }
    output.reset();  // silences the device at once
    source.Sleep(100ms, epoch);
  }

  // At the end the source rewinds and stops, so that play starts it again.
  void Ended() {
    if (output) PlayOut(source, *output, quitting);
    output.reset();
    source.ended.store(true);
    source.state.store(kSourceStopped);
    rewound = false;
  }

  void Playing() {
    if (!output) {
      output = std::make_unique<faust::WOUT>();
      if (!output->Open()) {
        platform::ConsoleWrite("\x1b[31mCannot play " + source.file + ": no sound device (" +
                               faust::WaveOutputDeviceName() + ").\x1b[0m\r\n");
        output.reset();
        source.state.store(kSourceStopped);
        return;
      }
    }
    const auto result = decoder.Read(&decoded);
    rewound = false;
    if (result == faust::AudioDecoder::Result::Failed) return Ended();
    pending.insert(pending.end(), decoded.begin(), decoded.end());
    PlayPending();
    if (result == faust::AudioDecoder::Result::End) Ended();
  }
};

}  // namespace

void SourceThread(std::shared_ptr<AUDIO_IN> source, std::string file,
                  const std::atomic<bool>& quitting) {
  Player player{*source, quitting, {}, {}, 0, false, {}, {}, {}, {}, false};
  std::string error;
  if (!player.decoder.Open(file, &error)) return;
  for (;;) {
    player.epoch = source->Epoch();
    if (quitting.load()) break;
    switch (source->state.load()) {
      case kSourcePaused:
        source->Sleep(100ms, player.epoch);
        break;
      case kSourcePlaying:
        player.Playing();
        break;
      default:
        player.Stopped();
    }
  }
}

std::shared_ptr<AUDIO_IN> StartSource(const std::string& file, const std::atomic<bool>& quitting) {
  auto source = std::make_shared<AUDIO_IN>();
  source->file = file;
  source->thread = std::make_shared<std::thread>(SourceThread, source, file, std::cref(quitting));
  return source;
}

void StopAllSources(std::atomic<bool>& quitting) {
  quitting.store(true);
  std::vector<std::shared_ptr<AUDIO_IN>> all;
  {
    std::lock_guard guard(workbenchLock);
    all = sources;
  }
  for (const auto& source : all) source->Wake();
  for (const auto& source : all) {
    if (source->thread && source->thread->joinable()) source->thread->join();
  }
}
