// SPDX-License-Identifier: GPL-3.0-or-later
#include "faust/audio_decoder.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "common/debug.h"
#include "common/terminal_text.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswresample/swresample.h>
}

namespace faust {

namespace {

constexpr int kRate = 48000;

std::string Reason(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

// FFmpeg writes its warnings straight to the terminal, across the prompt. They are debug
// lines here, cleaned like any text that comes from outside. A line may come in pieces.
void ToDebugLog(void* object, int level, const char* format, va_list arguments) {
  if (level > av_log_get_level() || !std::getenv("TESSARY_DEBUG")) return;
  thread_local std::string line;
  thread_local int printPrefix = 1;
  char piece[1024];
  av_log_format_line2(object, level, format, arguments, piece, sizeof piece, &printPrefix);
  line += piece;
  if (line.empty() || line.back() != '\n') return;
  line.pop_back();
  common::DebugLine(common::TerminalSafeLine(line));
  line.clear();
}

void RouteFfmpegLog() {
  static std::once_flag once;
  std::call_once(once, [] { av_log_set_callback(&ToDebugLog); });
}

// Opening a FIFO waits for a writer, a socket or a terminal never ends: only regular files.
bool IsRegularFile(const std::string& file, std::string* error) {
  struct stat status;
  if (stat(file.c_str(), &status) != 0) return *error = std::strerror(errno), false;
  if (S_ISREG(status.st_mode)) return true;
  *error = S_ISDIR(status.st_mode)    ? "it is a folder"
           : S_ISFIFO(status.st_mode) ? "it is a FIFO, not a regular file"
           : S_ISSOCK(status.st_mode) ? "it is a socket, not a regular file"
                                      : "it is a device, not a regular file";
  return false;
}

}  // namespace

struct AudioDecoder::Context {
  AVFormatContext* format = nullptr;
  AVCodecContext* codec = nullptr;
  SwrContext* resampler = nullptr;
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  int stream = -1;
  bool draining = false;

  ~Context() {
    swr_free(&resampler);
    avcodec_free_context(&codec);
    avformat_close_input(&format);
    av_packet_free(&packet);
    av_frame_free(&frame);
  }

  bool OpenResampler(std::string* error) {
    AVChannelLayout in{}, out{};
    if (codec->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || codec->ch_layout.nb_channels < 1) {
      av_channel_layout_default(&in, std::max(codec->ch_layout.nb_channels, 1));
    } else {
      av_channel_layout_copy(&in, &codec->ch_layout);
    }
    av_channel_layout_default(&out, 2);
    int result = swr_alloc_set_opts2(&resampler, &out, AV_SAMPLE_FMT_FLT, kRate, &in,
                                     codec->sample_fmt, codec->sample_rate, 0, nullptr);
    // A mono file plays at its own level on both sides, not 3 dB down as FFmpeg would mix it.
    if (result >= 0 && in.nb_channels == 1) {
      const double bothSides[2] = {1.0, 1.0};
      result = swr_set_matrix(resampler, bothSides, 1);
    }
    av_channel_layout_uninit(&in);
    av_channel_layout_uninit(&out);
    if (result >= 0) result = swr_init(resampler);
    if (result < 0) *error = "cannot convert its audio: " + Reason(result);
    return result >= 0;
  }

  // Appends the resampled frames of `input` (null: what the resampler still holds).
  bool Convert(const AVFrame* input, std::vector<float>* samples) {
    const int inCount = input ? input->nb_samples : 0;
    const int room = swr_get_out_samples(resampler, inCount);
    if (room <= 0) return true;
    const size_t at = samples->size();
    samples->resize(at + 2 * static_cast<size_t>(room));
    uint8_t* out = reinterpret_cast<uint8_t*>(samples->data() + at);
    const int made = swr_convert(resampler, &out, room,
                                 input ? const_cast<const uint8_t**>(input->extended_data) : nullptr,
                                 inCount);
    samples->resize(at + 2 * static_cast<size_t>(std::max(made, 0)));
    return made >= 0;
  }

  // Every frame the decoder has ready, appended.
  bool Receive(std::vector<float>* samples, bool* ended) {
    for (;;) {
      int result = avcodec_receive_frame(codec, frame);
      if (result == AVERROR(EAGAIN)) return true;
      if (result == AVERROR_EOF) return *ended = true, true;
      if (result < 0) return false;
      bool ok = Convert(frame, samples);
      av_frame_unref(frame);
      if (!ok) return false;
    }
  }
};

AudioDecoder::AudioDecoder() = default;
AudioDecoder::~AudioDecoder() = default;

bool AudioDecoder::Open(const std::string& file, std::string* error) {
  RouteFfmpegLog();
  if (!IsRegularFile(file, error)) return false;
  auto c = std::make_unique<Context>();
  if (!c->packet || !c->frame) return *error = "out of memory", false;
  int result = avformat_open_input(&c->format, file.c_str(), nullptr, nullptr);
  if (result < 0) return *error = Reason(result), false;
  if ((result = avformat_find_stream_info(c->format, nullptr)) < 0) return *error = Reason(result), false;
  const AVCodec* decoder = nullptr;
  c->stream = av_find_best_stream(c->format, AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
  if (c->stream < 0 || !decoder) return *error = "it holds no audio FFmpeg can decode", false;
  c->codec = avcodec_alloc_context3(decoder);
  if (!c->codec) return *error = "out of memory", false;
  avcodec_parameters_to_context(c->codec, c->format->streams[c->stream]->codecpar);
  if ((result = avcodec_open2(c->codec, decoder, nullptr)) < 0) return *error = Reason(result), false;
  if (c->codec->sample_rate <= 0) return *error = "its audio has no sample rate", false;
  if (!c->OpenResampler(error)) return false;
  context_ = std::move(c);
  return true;
}

AudioDecoder::Result AudioDecoder::Read(std::vector<float>* samples) {
  samples->clear();
  if (!context_) return Result::Failed;
  Context& c = *context_;
  bool ended = false;
  if (c.draining) {
    if (!c.Receive(samples, &ended)) return Result::Failed;
    return c.Convert(nullptr, samples) ? Result::End : Result::Failed;
  }
  int result = av_read_frame(c.format, c.packet);
  if (result == AVERROR_EOF) {
    c.draining = true;
    avcodec_send_packet(c.codec, nullptr);
    return Read(samples);
  }
  if (result < 0) return Result::Failed;
  if (c.packet->stream_index == c.stream) result = avcodec_send_packet(c.codec, c.packet);
  av_packet_unref(c.packet);
  // A damaged packet is skipped, as players do; a broken decoder ends the file.
  if (result < 0 && result != AVERROR_INVALIDDATA) return Result::Failed;
  return c.Receive(samples, &ended) ? Result::Samples : Result::Failed;
}

bool AudioDecoder::Rewind() {
  if (!context_) return false;
  Context& c = *context_;
  if (av_seek_frame(c.format, c.stream, 0, AVSEEK_FLAG_BACKWARD) < 0 &&
      avformat_seek_file(c.format, -1, INT64_MIN, 0, 0, 0) < 0) {
    return false;
  }
  avcodec_flush_buffers(c.codec);
  c.draining = false;
  // The resampler may hold frames from before the seek.
  swr_close(c.resampler);
  return swr_init(c.resampler) >= 0;
}

bool CanDecode(const std::string& file, std::string* error) {
  AudioDecoder decoder;
  if (!decoder.Open(file, error)) return false;
  std::vector<float> samples;
  for (int packets = 0; packets < 64; ++packets) {
    switch (decoder.Read(&samples)) {
      case AudioDecoder::Result::Failed:
        return *error = "its audio cannot be decoded", false;
      case AudioDecoder::Result::End:
        return true;
      case AudioDecoder::Result::Samples:
        if (!samples.empty()) return true;
    }
  }
  return true;
}

}  // namespace faust
