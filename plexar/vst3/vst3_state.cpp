// SPDX-License-Identifier: GPL-3.0-or-later
// State and presets: whole-state images, .vstpreset files and the preset folder scan.
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "common/text.h"
#include "plexar/file_io.h"
#include "plexar/vst3/memory_stream.h"
#include "plexar/vst3/preset_file.h"
#include "plexar/vst3/vst3_plugin.h"

namespace plexar {

using namespace vst3;

namespace {

uint64_t ReadU64(const uint8_t* p) {
  uint64_t v = 0;
  for (int i = 0; i < 8; ++i) v |= uint64_t{p[i]} << (8 * i);
  return v;
}

}  // namespace

HRESULT VST3::GetState(int32_t, ByteArray* state) {
  if (!state) return E_POINTER;
  std::vector<uint8_t> bytes;
  if (PresetFileCmd(nullptr, 0, &bytes, nullptr) != S_OK || bytes.empty()) return E_FAIL;
  *state = std::move(bytes);
  return S_OK;
}

HRESULT VST3::SetState(int32_t, const ByteArray* state) {
  if (!state) return E_INVALIDARG;
  const ByteArray& bytes = *state;
  if (bytes.size() >= 4 && common::EqualsIgnoringCase(
                               std::string_view(reinterpret_cast<const char*>(bytes.data()), 4), "VST3")) {
    std::vector<uint8_t> image = bytes;
    return PresetFileCmd(nullptr, 1, &image, nullptr);
  }
  size_t at = 0;
  auto part = [&](std::span<const uint8_t>* out) {
    if (bytes.size() - at < 8) return false;
    uint64_t size = ReadU64(bytes.data() + at);
    at += 8;
    if (size > bytes.size() - at) return false;
    *out = std::span<const uint8_t>(bytes.data() + at, static_cast<size_t>(size));
    at += static_cast<size_t>(size);
    return true;
  };
  std::span<const uint8_t> compPart, contPart;
  if (!part(&compPart) || !part(&contPart)) return E_INVALIDARG;
  if (component) {
    auto stream = Ref<MemoryStream>::Adopt(new MemoryStream(compPart));
    if (component->setState(stream.get()) != kResultOk) return E_FAIL;
  }
  if (controller) {
    auto stream = Ref<MemoryStream>::Adopt(new MemoryStream(contPart));
    if (controller->setState(stream.get()) != kResultOk) return E_FAIL;
  }
  if (component && controller) {
    auto stream = Ref<MemoryStream>::Adopt(new MemoryStream);
    if (component->getState(stream.get()) == kResultOk) {
      stream->Rewind();
      lastResult = controller->setComponentState(stream.get());
    }
  }
  return S_OK;
}

HRESULT VST3::PresetFileCmd(HWND, int32_t mode, std::vector<uint8_t>* bytes,
                            const std::filesystem::path* file) {
  if (mode == 0) {
    if (!bytes && (!file || file->empty())) return E_ABORT;
    std::vector<uint8_t> image;
    // Presets name the IComponent interface id as their class, which mode 1 checks for.
    if (!SavePreset(component.get(), controller.get(), IComponent::iid.data(), &image)) return E_FAIL;
    if (bytes) {
      *bytes = std::move(image);
      return S_OK;
    }
    return WriteWholeFile(*file, image) ? S_OK : E_FAIL;
  }
  if (mode == 1) {
    std::vector<uint8_t> fromFile;
    if (!bytes) {
      if (!file || file->empty()) return E_ABORT;
      if (!ReadWholeFile(*file, &fromFile)) return E_FAIL;
    }
    return LoadPresetImage(bytes ? *bytes : fromFile, true);
  }
  return E_NOTIMPL;
}

HRESULT VST3::LoadPresetImage(const std::vector<uint8_t>& bytes, bool checkClass) {
  if (!component) return E_FAIL;
  auto image = ParsePreset(bytes, nullptr);
  if (!image) return E_FAIL;
  if (checkClass && image->classId != UidToText(IComponent::iid.data())) return E_FAIL;
  if (!RestorePreset(bytes, *image, component.get(), controller.get())) return E_FAIL;
  NotifyStateChanged(1);
  return S_OK;
}

HRESULT VST3::LoadPresetFile(const std::filesystem::path& file) {
  std::vector<uint8_t> bytes;
  if (!ReadWholeFile(file, &bytes)) return E_FAIL;
  return LoadPresetImage(bytes, false);
}

// Linux's VST 3 preset folders: system-wide, local, then the user's own.
void VST3::ScanPresetFolders() {
  if (programs.size() > 1) return;
  std::vector<std::filesystem::path> roots = {"/usr/share/vst3/presets", "/usr/local/share/vst3/presets"};
  if (const char* home = std::getenv("HOME"); home && *home) {
    roots.push_back(std::filesystem::path(home) / ".vst3" / "presets");
  }
  for (const auto& root : roots) {
    std::filesystem::path folder = root / vendor / name;
    std::error_code ec;
    std::vector<std::filesystem::path> found;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
      const auto& file = it->path();
      if (common::ToLowerAscii(file.extension().string()) == ".vstpreset") found.push_back(file);
    }
    if (ec) continue;
    std::sort(found.begin(), found.end());
    for (const auto& file : found) {
      programs.push_back({common::ToLowerAscii(file.stem().string()), 0, file});
    }
  }
}

}  // namespace plexar
