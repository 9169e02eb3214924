// SPDX-License-Identifier: GPL-3.0-or-later
// The .vstpreset container: a 48-byte header naming the class, chunk payloads, and a chunk
// list at the end. All integers little-endian, no padding.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "plexar/vst3/base.h"

namespace plexar::vst3 {

class IComponent;
class IEditController;

/// The 32-character upper-case hex text of a class id (same text on every platform).
std::string UidToText(const char* uid16);
/// Parses that text back into 16 bytes; false for anything but 32 hex digits.
bool UidFromText(std::string_view text, char* uid16);

struct PresetChunk {
  char id[4];
  int64 offset;
  int64 size;
};

/// A parsed preset image. The chunk spans point into the bytes given to `ParsePreset`.
struct PresetImage {
  std::string classId;  // 32 hex characters as found in the file
  std::vector<PresetChunk> chunks;

  const PresetChunk* Find(const char id[4]) const;
};

/// Checks header and chunk list; every chunk must lie inside the bytes. Nothing on error.
std::optional<PresetImage> ParsePreset(std::span<const uint8_t> bytes, std::string* err);

/// Builds a preset file: header, "Comp", then "Cont" when `controllerState` is given, then the
/// chunk list.
std::vector<uint8_t> BuildPreset(const char* classId16, std::span<const uint8_t> componentState,
                                 const std::vector<uint8_t>* controllerState);

/// Asks the component (and controller, when given) for their states and builds a preset.
/// A plug-in answering kNotImplemented counts as an empty state.
bool SavePreset(IComponent* component, IEditController* controller, const char* classId16,
                std::vector<uint8_t>* out);

/// Restores a parsed preset: "Comp" into the component and, with a controller, into the
/// controller's component state, then "Cont" (when present) into the controller.
bool RestorePreset(std::span<const uint8_t> bytes, const PresetImage& image,
                   IComponent* component, IEditController* controller);

}  // namespace plexar::vst3
