// SPDX-License-Identifier: GPL-3.0-or-later
#include <alsa/asoundlib.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "faust/pcm_device.h"

namespace faust {

namespace {

constexpr unsigned kRate = 48000;
constexpr unsigned kChannels = 2;
// Room for all the output queues, at their deepest (about 117 ms, which it counts as queued
// until heard), fed in periods of about 10 ms. A larger buffer adds no delay of its own: the
// output bounds what it hands over.
constexpr unsigned kBufferMicroseconds = 130000;
constexpr unsigned kPeriodMicroseconds = 10000;
// A device that takes no frame for this long is treated as dead, so that the buffers waiting
// for it are handed back instead of holding up the writer for ever.
constexpr int kStallMilliseconds = 2000;

std::atomic<uint64_t> underruns{0};

void QuietAlsa(const char*, int, const char*, int, const char*, ...) {}

// libasound prints its own failures to standard error, which would scribble over the
// terminal whenever there is no sound card. They stay visible with TESSARY_DEBUG.
void SilenceAlsaUnlessDebugging() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (std::getenv("TESSARY_DEBUG") == nullptr) snd_lib_error_set_handler(QuietAlsa);
  });
}

int Configure(snd_pcm_t* pcm) {
  snd_pcm_hw_params_t* hw;
  snd_pcm_hw_params_alloca(&hw);
  int err;
  unsigned bufferTime = kBufferMicroseconds, periodTime = kPeriodMicroseconds;
  if ((err = snd_pcm_hw_params_any(pcm, hw)) < 0 ||
      (err = snd_pcm_hw_params_set_rate_resample(pcm, hw, 1)) < 0 ||
      (err = snd_pcm_hw_params_set_access(pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED)) < 0 ||
      (err = snd_pcm_hw_params_set_format(pcm, hw, SND_PCM_FORMAT_S16_LE)) < 0 ||
      (err = snd_pcm_hw_params_set_channels(pcm, hw, kChannels)) < 0 ||
      (err = snd_pcm_hw_params_set_rate(pcm, hw, kRate, 0)) < 0 ||
      (err = snd_pcm_hw_params_set_buffer_time_near(pcm, hw, &bufferTime, nullptr)) < 0 ||
      (err = snd_pcm_hw_params_set_period_time_near(pcm, hw, &periodTime, nullptr)) < 0 ||
      (err = snd_pcm_hw_params(pcm, hw)) < 0)
    return err;
  snd_pcm_uframes_t period = 0;
  snd_pcm_hw_params_get_period_size(hw, &period, nullptr);
  snd_pcm_sw_params_t* sw;
  snd_pcm_sw_params_alloca(&sw);
  // Start as soon as one period is in: the caller already collects a pre-roll, and a paused
  // source must still hear what it handed over before the pause.
  if ((err = snd_pcm_sw_params_current(pcm, sw)) < 0 ||
      (err = snd_pcm_sw_params_set_start_threshold(pcm, sw, period)) < 0 ||
      (err = snd_pcm_sw_params_set_avail_min(pcm, sw, period)) < 0 ||
      (err = snd_pcm_sw_params(pcm, sw)) < 0)
    return err;
  return 0;
}

class AlsaPcm final : public PcmDevice {
 public:
  AlsaPcm(snd_pcm_t* pcm, int wakeFd) : pcm_(pcm), wakeFd_(wakeFd) {
    const int count = snd_pcm_poll_descriptors_count(pcm_);
    fds_.resize(size_t(count > 0 ? count : 0) + 1);
  }
  ~AlsaPcm() override {
    snd_pcm_close(pcm_);
    close(wakeFd_);
  }

  int Play(const void* frames, size_t count) override {
    auto* next = static_cast<const uint8_t*>(frames);
    while (count > 0) {
      if (interrupted_) return kInterrupted;
      const snd_pcm_sframes_t n = snd_pcm_writei(pcm_, next, count);
      if (n > 0) {
        next += size_t(n) * kFrameBytes;
        count -= size_t(n);
      } else if (n == 0 || n == -EAGAIN) {
        if (const int err = WaitForRoom(); err < 0) return err;
      } else {
        if (n == -EPIPE) ++underruns;
        // Underruns and suspends are recovered; anything else is fatal.
        if (const int err = snd_pcm_recover(pcm_, int(n), 1); err < 0) return err;
      }
    }
    return 0;
  }

  void Interrupt() override {
    interrupted_ = true;
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t ignored = write(wakeFd_, &one, sizeof one);
  }

  void Drop() override { snd_pcm_drop(pcm_); }

  // Only a running device plays what it holds; a stopped one (not started, or run dry)
  // will not play it by itself.
  size_t Held() override {
    snd_pcm_sframes_t delay = 0;
    const snd_pcm_state_t state = snd_pcm_state(pcm_);
    if ((state != SND_PCM_STATE_RUNNING && state != SND_PCM_STATE_DRAINING) ||
        snd_pcm_delay(pcm_, &delay) < 0 || delay <= 0)
      return 0;
    return size_t(delay);
  }

  // Waits while the device plays what it holds (up to 130 ms), in short steps and for a
  // bounded time: a blocking drain would hang for ever on a device that stopped.
  void Drain() override {
    for (int waited = 0; waited < kStallMilliseconds && !interrupted_; waited += 5) {
      snd_pcm_sframes_t delay = 0;
      if (snd_pcm_state(pcm_) != SND_PCM_STATE_RUNNING || snd_pcm_delay(pcm_, &delay) < 0 ||
          delay <= 0) {
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }

 private:
  int WaitForRoom() {
    const int count = int(fds_.size()) - 1;
    snd_pcm_poll_descriptors(pcm_, fds_.data(), unsigned(count));
    fds_[size_t(count)] = {wakeFd_, POLLIN, 0};
    for (;;) {
      const int ready = poll(fds_.data(), fds_.size(), kStallMilliseconds);
      if (ready < 0 && errno == EINTR) continue;
      if (ready < 0) return -errno;
      if (ready == 0) return -ETIMEDOUT;
      // Room or an error: the next write tells which.
      return fds_[size_t(count)].revents != 0 ? kInterrupted : 0;
    }
  }

  snd_pcm_t* const pcm_;
  const int wakeFd_;
  std::atomic<bool> interrupted_{false};
  std::vector<pollfd> fds_;
};

}  // namespace

std::unique_ptr<PcmDevice> OpenAlsaPcm(const std::string& name, int* error) {
  SilenceAlsaUnlessDebugging();
  snd_pcm_t* pcm = nullptr;
  int err = snd_pcm_open(&pcm, name.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
  if (err >= 0 && (err = Configure(pcm)) < 0) snd_pcm_close(pcm);
  int wakeFd = -1;
  if (err >= 0 && (wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) < 0) {
    err = -errno;
    snd_pcm_close(pcm);
  }
  *error = err < 0 ? err : 0;
  if (err < 0) return nullptr;
  return std::make_unique<AlsaPcm>(pcm, wakeFd);
}

uint64_t AlsaUnderruns() { return underruns.load(); }

}  // namespace faust
