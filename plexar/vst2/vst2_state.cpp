// SPDX-License-Identifier: GPL-3.0-or-later
// State as the plug-in's chunks, and .fxb bank files holding the bank chunk as it stands.
#include <cstring>

#include "plexar/file_io.h"
#include "plexar/vst2/vst2_plugin.h"

namespace plexar {

using namespace vst2;

namespace {

// Far beyond any real bank; a larger answer is taken as garbage.
constexpr intptr_t kMaxChunk = intptr_t{1} << 30;

}  // namespace

HRESULT VST2::GetState(int32_t index, ByteArray* state) {
  if (!state) return E_POINTER;
  void* data = nullptr;
  const intptr_t size = Dispatch(effGetChunk, index, 0, &data);
  state->clear();
  if (data && size > 0 && size <= kMaxChunk) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    state->assign(bytes, bytes + size);
  }
  return S_OK;
}

// An empty chunk is not handed over: a plug-in would be reading a state of no bytes.
HRESULT VST2::SetState(int32_t index, const ByteArray* state) {
  if (!state || state->empty()) return E_INVALIDARG;
  // The plug-in takes a writable pointer; it gets a copy of its own.
  ByteArray copy = *state;
  Dispatch(effSetChunk, index, static_cast<intptr_t>(copy.size()), copy.data());
  Dispatch(effEditIdle);
  return S_OK;
}

HRESULT VST2::PresetFileCmd(HWND, int32_t mode, std::vector<uint8_t>* bytes,
                            const std::filesystem::path* file) {
  if (mode == 0) {
    if (!bytes && (!file || file->empty())) return E_ABORT;
    ByteArray chunk;
    GetState(0, &chunk);
    if (chunk.empty()) return S_OK;
    if (bytes) {
      *bytes = std::move(chunk);
    } else if (!WriteWholeFile(*file, chunk)) {
      return E_FAIL;
    }
    NotifyStateChanged(1);
    return S_OK;
  }
  if (mode == 1) {
    std::vector<uint8_t> fromFile;
    if (!bytes) {
      if (!file || file->empty()) return E_ABORT;
      if (!ReadWholeFile(*file, &fromFile)) return E_FAIL;
    }
    if (HRESULT hr = SetState(0, bytes ? bytes : &fromFile); hr != S_OK) return hr;
    NotifyStateChanged(1);
    return S_OK;
  }
  return E_NOTIMPL;
}

}  // namespace plexar
