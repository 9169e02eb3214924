// SPDX-License-Identifier: GPL-3.0-or-later
// An ALSA PCM that plays like a sound card without one: it takes frames at 48 kHz by the
// steady clock from the moment it starts, runs dry (an underrun, as ALSA reports them) when
// the writer falls behind, and tells when a watched frame would have been heard. Loaded by
// libasound as the PCM type "tessary_clock"; the benchmark links it too, to ask it.
#include <alsa/asoundlib.h>
#include <alsa/pcm_external.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "alsa_clock_pcm.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr unsigned kRate = 48000;

// What the benchmark watches for, and what the device saw. One device plays at a time.
std::atomic<int> watchAbove{-1};            // a left sample above this marks the frame
std::atomic<int64_t> markerFrame{-1};       // its position, in the device's frames
std::atomic<int64_t> markerHeardNs{0};      // when it was heard, in steady-clock ns
std::atomic<uint64_t> deviceUnderruns{0};

struct ClockPcm {
  snd_pcm_ioplug_t io{};
  int timerFd = -1;
  bool running = false;
  Clock::time_point startedAt;
  snd_pcm_uframes_t startPosition = 0;  // the hardware position at the start
};

int64_t Ns(Clock::time_point at) {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(at.time_since_epoch()).count();
}

snd_pcm_uframes_t Played(const ClockPcm& pcm, Clock::time_point now) {
  const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(now - pcm.startedAt);
  return pcm.startPosition + snd_pcm_uframes_t(elapsed.count() * kRate / 1000000);
}

void DrainTimer(const ClockPcm& pcm) {
  uint64_t ticks;
  [[maybe_unused]] ssize_t ignored = read(pcm.timerFd, &ticks, sizeof ticks);
}

int Start(snd_pcm_ioplug_t* io) {
  auto& pcm = *static_cast<ClockPcm*>(io->private_data);
  pcm.running = true;
  pcm.startedAt = Clock::now();
  pcm.startPosition = io->hw_ptr;
  return 0;
}

int Stop(snd_pcm_ioplug_t* io) {
  static_cast<ClockPcm*>(io->private_data)->running = false;
  return 0;
}

// Where the speaker is, by the clock; past the last frame written the device has run dry.
snd_pcm_sframes_t Pointer(snd_pcm_ioplug_t* io) {
  auto& pcm = *static_cast<ClockPcm*>(io->private_data);
  DrainTimer(pcm);
  if (!pcm.running) return snd_pcm_sframes_t(io->hw_ptr % io->buffer_size);
  const auto now = Clock::now();
  snd_pcm_uframes_t played = Played(pcm, now);
  const int64_t marker = markerFrame.load();
  if (marker >= 0 && markerHeardNs.load() == 0 && played > snd_pcm_uframes_t(marker)) {
    const auto offset = std::chrono::microseconds((snd_pcm_uframes_t(marker) - pcm.startPosition) *
                                                  1000000 / kRate);
    markerHeardNs = Ns(pcm.startedAt + offset);
  }
  if (played >= io->appl_ptr) {
    ++deviceUnderruns;
    if (std::getenv("TESSARY_BENCH_XRUN_LOG")) {
      timespec wall{};
      clock_gettime(CLOCK_REALTIME, &wall);
      std::fprintf(stderr, "UNDERRUN %ld.%03ld, ran dry %.1f ms before\n", long(wall.tv_sec),
                   wall.tv_nsec / 1000000, double(played - io->appl_ptr) * 1000 / kRate);
    }
    pcm.running = false;
    snd_pcm_ioplug_set_state(io, SND_PCM_STATE_XRUN);
    return -EPIPE;
  }
  return snd_pcm_sframes_t(played % io->buffer_size);
}

snd_pcm_sframes_t Transfer(snd_pcm_ioplug_t* io, const snd_pcm_channel_area_t* areas,
                           snd_pcm_uframes_t offset, snd_pcm_uframes_t size) {
  const int above = watchAbove.load();
  if (above < 0 || markerFrame.load() >= 0) return snd_pcm_sframes_t(size);
  const auto* frames = static_cast<const int16_t*>(areas[0].addr) + 2 * offset;
  for (snd_pcm_uframes_t i = 0; i < size; ++i) {
    if (frames[2 * i] > above) {
      markerFrame = int64_t(io->appl_ptr + i);
      break;
    }
  }
  return snd_pcm_sframes_t(size);
}

int Prepare(snd_pcm_ioplug_t* io) {
  static_cast<ClockPcm*>(io->private_data)->running = false;
  // Whatever the ring held is gone, a marker in it too.
  if (markerHeardNs.load() == 0) markerFrame = -1;
  return 0;
}

int PollRevents(snd_pcm_ioplug_t* io, struct pollfd*, unsigned int, unsigned short* revents) {
  DrainTimer(*static_cast<ClockPcm*>(io->private_data));
  *revents = POLLOUT;  // the next write tells whether there was room
  return 0;
}

int Close(snd_pcm_ioplug_t* io) {
  auto* pcm = static_cast<ClockPcm*>(io->private_data);
  close(pcm->timerFd);
  delete pcm;
  return 0;
}

const snd_pcm_ioplug_callback_t kCallbacks = [] {
  snd_pcm_ioplug_callback_t callbacks{};
  callbacks.start = Start;
  callbacks.stop = Stop;
  callbacks.pointer = Pointer;
  callbacks.transfer = Transfer;
  callbacks.prepare = Prepare;
  callbacks.poll_revents = PollRevents;
  callbacks.close = Close;
  return callbacks;
}();

int Constrain(snd_pcm_ioplug_t* io) {
  static const unsigned accesses[] = {SND_PCM_ACCESS_RW_INTERLEAVED};
  static const unsigned formats[] = {SND_PCM_FORMAT_S16_LE};
  int err;
  if ((err = snd_pcm_ioplug_set_param_list(io, SND_PCM_IOPLUG_HW_ACCESS, 1, accesses)) < 0 ||
      (err = snd_pcm_ioplug_set_param_list(io, SND_PCM_IOPLUG_HW_FORMAT, 1, formats)) < 0 ||
      (err = snd_pcm_ioplug_set_param_minmax(io, SND_PCM_IOPLUG_HW_CHANNELS, 2, 2)) < 0 ||
      (err = snd_pcm_ioplug_set_param_minmax(io, SND_PCM_IOPLUG_HW_RATE, kRate, kRate)) < 0 ||
      (err = snd_pcm_ioplug_set_param_minmax(io, SND_PCM_IOPLUG_HW_PERIOD_BYTES, 64 * 4,
                                             kRate * 4)) < 0 ||
      (err = snd_pcm_ioplug_set_param_minmax(io, SND_PCM_IOPLUG_HW_PERIODS, 2, 64)) < 0 ||
      (err = snd_pcm_ioplug_set_param_minmax(io, SND_PCM_IOPLUG_HW_BUFFER_BYTES, 256 * 4,
                                             kRate * 4)) < 0)
    return err;
  return 0;
}

}  // namespace

extern "C" {

void TessaryClockWatch(int above) {
  markerFrame = -1;
  markerHeardNs = 0;
  watchAbove = above;
}

int64_t TessaryClockHeardNs() { return markerHeardNs.load(); }

uint64_t TessaryClockUnderruns() { return deviceUnderruns.load(); }

SND_PCM_PLUGIN_DEFINE_FUNC(tessary_clock) {
  (void)root, (void)conf;
  if (stream != SND_PCM_STREAM_PLAYBACK) return -EINVAL;
  auto* pcm = new ClockPcm;
  // A tick a millisecond wakes a writer waiting for room; the device has no interrupt.
  pcm->timerFd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
  const itimerspec tick{{0, 1000000}, {0, 1000000}};
  if (pcm->timerFd < 0 || timerfd_settime(pcm->timerFd, 0, &tick, nullptr) < 0) {
    if (pcm->timerFd >= 0) close(pcm->timerFd);
    delete pcm;
    return -errno;
  }
  pcm->io.version = SND_PCM_IOPLUG_VERSION;
  pcm->io.name = "Tessary clock PCM";
  pcm->io.poll_fd = pcm->timerFd;
  pcm->io.poll_events = POLLIN;
  pcm->io.callback = &kCallbacks;
  pcm->io.private_data = pcm;
  int err = snd_pcm_ioplug_create(&pcm->io, name, stream, mode);
  if (err < 0) {
    close(pcm->timerFd);
    delete pcm;
    return err;
  }
  if ((err = Constrain(&pcm->io)) < 0) {
    snd_pcm_ioplug_delete(&pcm->io);
    return err;
  }
  *pcmp = pcm->io.pcm;
  return 0;
}

SND_PCM_PLUGIN_SYMBOL(tessary_clock);

}  // extern "C"
