// SPDX-License-Identifier: GPL-3.0-or-later
#include "plexar/vst3/preset_file.h"

#include <cstring>

#include "plexar/vst3/controller.h"
#include "plexar/vst3/memory_stream.h"
#include "plexar/vst3/ref.h"

namespace plexar::vst3 {
namespace {

constexpr size_t kHeaderSize = 48;
constexpr int32 kMaxChunks = 128;
constexpr int32 kFormatVersion = 1;

template <class T>
T ReadLe(const uint8_t* p) {
  T v = 0;
  for (size_t i = 0; i < sizeof(T); ++i) v |= static_cast<T>(static_cast<T>(p[i]) << (8 * i));
  return v;
}

template <class T>
void AppendLe(std::vector<uint8_t>& out, T v) {
  for (size_t i = 0; i < sizeof(T); ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// Byte by byte: GCC 12 misreads a range insert here as an overflow at -O2.
void AppendId(std::vector<uint8_t>& out, const char* id) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(id[i]));
}

bool IsOk(tresult r) { return r == kResultOk || r == kNotImplemented; }

Ref<MemoryStream> StreamOver(std::span<const uint8_t> bytes, const PresetChunk& chunk) {
  auto first = bytes.subspan(static_cast<size_t>(chunk.offset), static_cast<size_t>(chunk.size));
  return Ref<MemoryStream>::Adopt(new MemoryStream(first));
}

}  // namespace

std::string UidToText(const char* uid16) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string text;
  for (int i = 0; i < 16; ++i) {
    auto b = static_cast<uint8_t>(uid16[i]);
    text += kHex[b >> 4];
    text += kHex[b & 15];
  }
  return text;
}

bool UidFromText(std::string_view text, char* uid16) {
  if (text.size() != 32) return false;
  auto nibble = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  };
  for (int i = 0; i < 16; ++i) {
    int hi = nibble(text[2 * i]), lo = nibble(text[2 * i + 1]);
    if (hi < 0 || lo < 0) return false;
    uid16[i] = static_cast<char>(hi * 16 + lo);
  }
  return true;
}

const PresetChunk* PresetImage::Find(const char id[4]) const {
  for (const auto& chunk : chunks) {
    if (std::memcmp(chunk.id, id, 4) == 0) return &chunk;
  }
  return nullptr;
}

std::optional<PresetImage> ParsePreset(std::span<const uint8_t> bytes, std::string* err) {
  auto fail = [err](const char* why) -> std::optional<PresetImage> {
    if (err) *err = why;
    return std::nullopt;
  };
  if (bytes.size() < kHeaderSize || std::memcmp(bytes.data(), "VST3", 4) != 0) {
    return fail("not a VST 3 preset");
  }
  PresetImage image;
  image.classId.assign(reinterpret_cast<const char*>(bytes.data() + 8), 32);
  int64 listOffset = ReadLe<int64>(bytes.data() + 40);
  const auto size = static_cast<int64>(bytes.size());
  if (listOffset <= 0 || listOffset > size - 8) return fail("chunk list missing");
  const uint8_t* list = bytes.data() + listOffset;
  if (std::memcmp(list, "List", 4) != 0) return fail("chunk list missing");
  int32 count = ReadLe<int32>(list + 4);
  if (count < 0 || count > kMaxChunks || listOffset + 8 + int64{count} * 20 > size) {
    return fail("chunk list damaged");
  }
  for (int32 i = 0; i < count; ++i) {
    const uint8_t* entry = list + 8 + 20 * i;
    PresetChunk chunk{};
    std::memcpy(chunk.id, entry, 4);
    chunk.offset = ReadLe<int64>(entry + 4);
    chunk.size = ReadLe<int64>(entry + 12);
    if (chunk.offset < 0 || chunk.size < 0 || chunk.offset > size || chunk.size > size - chunk.offset) {
      return fail("chunk outside the file");
    }
    image.chunks.push_back(chunk);
  }
  return image;
}

std::vector<uint8_t> BuildPreset(const char* classId16, std::span<const uint8_t> componentState,
                                 const std::vector<uint8_t>* controllerState) {
  std::vector<uint8_t> out;
  out.reserve(kHeaderSize + componentState.size() + (controllerState ? controllerState->size() : 0) + 48);
  AppendId(out, "VST3");
  AppendLe<int32>(out, kFormatVersion);
  for (char c : UidToText(classId16)) out.push_back(static_cast<uint8_t>(c));
  AppendLe<int64>(out, 0);  // list offset, patched below

  std::vector<PresetChunk> chunks;
  auto addChunk = [&](const char* id, std::span<const uint8_t> payload) {
    PresetChunk chunk{};
    std::memcpy(chunk.id, id, 4);
    chunk.offset = static_cast<int64>(out.size());
    chunk.size = static_cast<int64>(payload.size());
    out.insert(out.end(), payload.begin(), payload.end());
    chunks.push_back(chunk);
  };
  addChunk("Comp", componentState);
  if (controllerState) addChunk("Cont", *controllerState);

  auto listOffset = static_cast<int64>(out.size());
  for (int i = 0; i < 8; ++i) out[40 + i] = static_cast<uint8_t>(listOffset >> (8 * i));
  AppendId(out, "List");
  AppendLe<int32>(out, static_cast<int32>(chunks.size()));
  for (const auto& chunk : chunks) {
    AppendId(out, chunk.id);
    AppendLe<int64>(out, chunk.offset);
    AppendLe<int64>(out, chunk.size);
  }
  return out;
}

bool SavePreset(IComponent* component, IEditController* controller, const char* classId16,
                std::vector<uint8_t>* out) {
  if (!component || !out) return false;
  auto compStream = Ref<MemoryStream>::Adopt(new MemoryStream);
  if (!IsOk(component->getState(compStream.get()))) return false;
  std::vector<uint8_t> contBytes;
  if (controller) {
    auto contStream = Ref<MemoryStream>::Adopt(new MemoryStream);
    if (!IsOk(controller->getState(contStream.get()))) return false;
    contBytes = contStream->bytes();
  }
  *out = BuildPreset(classId16, compStream->bytes(), controller ? &contBytes : nullptr);
  return true;
}

bool RestorePreset(std::span<const uint8_t> bytes, const PresetImage& image,
                   IComponent* component, IEditController* controller) {
  const PresetChunk* comp = image.Find("Comp");
  if (!comp || !component) return false;
  if (!IsOk(component->setState(StreamOver(bytes, *comp).get()))) return false;
  if (!controller) return true;
  if (!IsOk(controller->setComponentState(StreamOver(bytes, *comp).get()))) return false;
  if (const PresetChunk* cont = image.Find("Cont")) {
    if (!IsOk(controller->setState(StreamOver(bytes, *cont).get()))) return false;
  }
  return true;
}

}  // namespace plexar::vst3
