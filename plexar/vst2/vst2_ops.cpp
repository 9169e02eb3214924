// SPDX-License-Identifier: GPL-3.0-or-later
// Parameters, programs, format changes, precision, latency and the plug-in's own editor.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "plexar/editor/editor.h"
#include "plexar/vst2/vst2_plugin.h"

namespace plexar {

using namespace vst2;

namespace {

constexpr int32_t kMaxParameters = 100000;
constexpr int32_t kMaxPrograms = 100000;
constexpr size_t kNameBuffer = 1000;
// Parameter texts are at most this many characters.
constexpr size_t kParameterText = 20;

}  // namespace

// An index the plug-in did not declare is never handed to it: many plug-ins index their
// parameter arrays with it unchecked.
bool VST2::ValidParameter(int32_t index) const {
  return index >= 0 && index < std::min(effect->numParams, kMaxParameters);
}

HRESULT VST2::GetParameter(int32_t id, float* value) {
  if (!value) return E_POINTER;
  if (!effect) return E_UNEXPECTED;
  if (!ValidParameter(id)) return E_INVALIDARG;
  if (!effect->getParameter) return E_FAIL;
  try {
    *value = effect->getParameter(effect, id);
  } catch (...) {
    return E_FAIL;
  }
  return S_OK;
}

HRESULT VST2::SetParameter(int32_t id, float value) {
  if (!effect) return E_UNEXPECTED;
  if (!ValidParameter(id)) return E_INVALIDARG;
  if (!effect->setParameter) return E_FAIL;
  value = std::clamp(value, 0.0f, 1.0f);
  try {
    effect->setParameter(effect, id, value);
  } catch (...) {
    return E_FAIL;
  }
  Dispatch(effEditIdle);
  return S_OK;
}

HRESULT VST2::GetParameters(std::vector<ParameterRecord>* params) {
  if (!params) return E_POINTER;
  if (!effect) return E_UNEXPECTED;
  params->clear();
  const int32_t count = std::clamp(effect->numParams, 0, kMaxParameters);
  for (int32_t i = 0; i < count; ++i) {
    ParameterRecord record;
    record.id = i;
    float value = 0;
    if (GetParameter(i, &value) == S_OK) record.value = value;
    char text[kNameBuffer] = {};
    Dispatch(effGetParamName, i, 0, text);
    text[kNameBuffer - 1] = 0;
    record.name = text;
    params->push_back(std::move(record));
  }
  return S_OK;
}

HRESULT VST2::GetProgram(int32_t* program) {
  if (!program) return E_POINTER;
  if (!effect) return E_UNEXPECTED;
  *program = static_cast<int32_t>(Dispatch(effGetProgram));
  return S_OK;
}

HRESULT VST2::SetProgram(int32_t program) {
  if (!effect) return E_UNEXPECTED;
  Dispatch(effSetProgram, 0, program);
  Dispatch(effEditIdle);
  return S_OK;
}

HRESULT VST2::GetSelectedUnit(int32_t* unit) { return GetProgram(unit); }
HRESULT VST2::SelectUnit(int32_t unit) { return SetProgram(unit); }

// At least one record, as after loading: a plug-in without programs still has its current
// settings to show.
HRESULT VST2::GetPrograms(std::vector<ProgramRecord>* out) {
  if (!out) return E_POINTER;
  if (!effect) return E_UNEXPECTED;
  const int32_t count = std::clamp(effect->numPrograms, 1, kMaxPrograms);
  out->clear();
  for (int32_t i = 0; i < count; ++i) {
    char text[kNameBuffer] = {};
    Dispatch(effGetProgramNameIndexed, i, 0, text);
    text[kNameBuffer - 1] = 0;
    out->push_back({text, 0, {}});
  }
  return S_OK;
}

HRESULT VST2::GetVstVersion(int32_t* version) {
  if (!version) return E_POINTER;
  *version = vstVersion = static_cast<int32_t>(Dispatch(effGetVstVersion));
  return S_OK;
}

HRESULT VST2::Suspend(int32_t) {
  Dispatch(effMainsChanged, 0, 0);
  mainsOn = false;
  return S_OK;
}

HRESULT VST2::Resume(int32_t) {
  Dispatch(effMainsChanged, 0, 1);
  mainsOn = effect != nullptr;
  return S_OK;
}

HRESULT VST2::SetFormat(int32_t rate, int32_t frames, int32_t width, int32_t allocate) {
  if (inputTable || outputTable) {
    Suspend(1);
    FreeBuffers();
  }
  bits = width;
  blockSize = frames;
  sampleRate = rate;
  if (allocate != 1) return S_OK;
  HRESULT hr = AllocateBuffers();
  Resume(1);
  return Succeeded(hr) ? S_OK : hr;
}

HRESULT VST2::CanProcessPrecision(int32_t width) {
  if (!effect) return E_UNEXPECTED;
  if (width == 32) return S_OK;
  if (width == 64 && (effect->flags & effFlagsCanDoubleReplacing)) return S_OK;
  return E_FAIL;
}

HRESULT VST2::GetLatency(int32_t* frames) {
  if (!frames) return E_POINTER;
  if (!effect) return E_FAIL;
  *frames = effect->initialDelay;
  return S_OK;
}

HRESULT VST2::GetNative(const void* selector, void** out) {
  if (!out || !selector) return E_POINTER;
  *out = effect;
  return effect ? S_OK : E_NOINTERFACE;
}

HRESULT VST2::GetParameterText(int32_t, float value, BSTR* text) {
  if (!text) return E_POINTER;
  char formatted[kParameterText + 1];
  std::snprintf(formatted, sizeof formatted, "%.3f", static_cast<double>(value));
  *text = formatted;
  return S_OK;
}

HRESULT VST2::FormatParameter(int32_t, float value, char* text) {
  if (!text) return E_POINTER;
  std::snprintf(text, kParameterText + 1, "%.3f", static_cast<double>(value));
  return S_OK;
}

HRESULT VST2::ShowEditor(HWND owner, int32_t mode, int32_t modal) {
  if (!effect) return E_UNEXPECTED;
  if (mode == 2 || !(effect->flags & effFlagsHasEditor)) {
    return Succeeded(editor::ShowParameterList(this, owner, modal != 0)) ? S_OK : E_FAIL;
  }
  editorRibbon = mode != 0;
  return editor::ShowFrame(this, owner, modal != 0);
}

bool VST2::PrepareView() { return effect && (effect->flags & effFlagsHasEditor) && !editorOpen; }

bool VST2::AttachView(unsigned long window) {
  // On Linux the parent is the X11 window id itself.
  Dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(window));
  editorOpen = effect != nullptr;
  return editorOpen;
}

bool VST2::ViewSize(int* width, int* height) {
  if (requestedWidth > 0 && requestedHeight > 0) {
    *width = requestedWidth, *height = requestedHeight;
    return true;
  }
  ERect* rect = nullptr;
  Dispatch(effEditGetRect, 0, 0, &rect);
  if (!rect) return false;
  *width = rect->right - rect->left;
  *height = rect->bottom - rect->top;
  return *width > 0 && *height > 0;
}

// VST 2 editors on Linux have no window procedure of their own: they handle their X events
// and draw only inside effEditIdle, so the frame always idles them, by default every 30 ms.
int VST2::IdleInterval() { return editorIdleMs > 0 ? editorIdleMs : 30; }

void VST2::IdleView() { Dispatch(effEditIdle); }

void VST2::DetachView() {
  NotifyEditorClosed();
  Dispatch(effEditClose);
  editorOpen = false;
  requestedWidth = requestedHeight = 0;
}

HRESULT VST2::AttachEditor(HWND parent) {
  if (!parent) {
    Dispatch(effEditClose);
    editorOpen = false;
    return S_OK;
  }
  if (editorOpen) return S_FALSE;
  Dispatch(effEditOpen, 0, 0, parent);
  editorOpen = effect != nullptr;
  return S_OK;
}

HRESULT VST2::KeyDown(int32_t key) {
  Dispatch(effEditKeyDown, 0, key);
  return S_OK;
}

HRESULT VST2::KeyUp(int32_t key) {
  Dispatch(effEditKeyUp, 0, key);
  return S_OK;
}

}  // namespace plexar
