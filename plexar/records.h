// SPDX-License-Identifier: GPL-3.0-or-later
// The records the plug-in object hands out and takes in: channels, units, programs,
// parameters, MIDI events, pending parameter changes and buffer sets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace plexar {

/// One channel of a bus; a stereo bus yields two records with the bus's name.
struct ChannelRecord {
  int32_t bus = 0;
  int32_t mediaType = 0;  // 0 audio, 1 event
  int32_t direction = 0;  // 0 input, 1 output
  std::string name;
};

struct UnitRecord {
  int32_t id = 0;
  int32_t parentId = 0;
  int32_t programListId = 0;
  std::string name;
};

struct ProgramRecord {
  std::string name;
  int32_t id = 0;  // VST 3 program list id, 0 otherwise
  std::filesystem::path local_file;  // preset file the program comes from, empty if built in

  /// <e><n>name</n><id>id</id><local_file>path</local_file></e>
  std::string ToXml() const;
};

struct ParameterRecord {
  std::string name;
  std::string shortName;
  double value = 0;
  double value2 = 0;
  int32_t id = 0;
  std::vector<uint8_t> native;  // the format's own parameter description, copied whole

  /// <e><n/><d/><v/><v2f/><i/>[<v3>Base64 of native</v3>]</e>
  std::string ToXml() const;
};

/// One queued MIDI 1.0 event, 80 bytes; the layout is shared with callers that pass arrays.
struct MIDI {
  int32_t deltaTime;     // frames; rewritten by AddMidi into the offset from the block start
  int32_t noteOffset;
  uint8_t bytes[4];      // status, data 1, data 2, ignored
  uint8_t reserved1[12];
  uint8_t hasNative;     // nonzero: `native` holds a ready VST 3 event
  uint8_t reserved2[7];
  alignas(8) uint8_t native[48];
};

/// One queued MIDI 2.0 Universal MIDI Packet, 80 bytes.
struct MIDI2 {
  uint32_t ump[4];
  uint8_t reserved1[8];
  int32_t deltaTime;
  uint8_t hasNative;
  uint8_t reserved2[3];
  alignas(8) uint8_t native[48];
};

static_assert(sizeof(MIDI) == 80 && offsetof(MIDI, noteOffset) == 4 && offsetof(MIDI, bytes) == 8 &&
              offsetof(MIDI, hasNative) == 24 && offsetof(MIDI, native) == 32);
static_assert(sizeof(MIDI2) == 80 && offsetof(MIDI2, deltaTime) == 24 &&
              offsetof(MIDI2, hasNative) == 28 && offsetof(MIDI2, native) == 32);

/// A pending VST 3 parameter change.
struct VST3_PC {
  uint32_t id;
  float value;
};

/// A set of owned, non-interleaved channels of `frames` samples of `bits` width.
class VSTBUFFER {
 public:
  VSTBUFFER(int32_t channels, int32_t bits, int32_t frames);

  int32_t channels() const { return channels_; }
  int32_t bits() const { return bits_; }
  int32_t frames() const { return frames_; }
  void* channel(int32_t k) const { return data_[static_cast<size_t>(k)].get(); }

 private:
  int32_t channels_;
  int32_t bits_;
  int32_t frames_;
  std::vector<std::unique_ptr<uint8_t[]>> data_;
};

}  // namespace plexar
