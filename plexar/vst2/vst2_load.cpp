// SPDX-License-Identifier: GPL-3.0-or-later
// Loading a VST 2 module: entry point, AEffect, channel lists, names, programs and the
// processing format; tearing it down again; and the dispatcher wrapper.
#include <algorithm>
#include <cstring>

#include "plexar/editor/editor.h"
#include "plexar/vst2/instance_list.h"
#include "plexar/vst2/vst2_plugin.h"
#include "plexar/vst3/module_posix.h"

namespace plexar {

using namespace vst2;

namespace {

// Limits on what a plug-in may report, so that a broken count cannot run the host out of
// memory; real plug-ins stay far below them.
constexpr int32_t kMaxChannels = 256;
constexpr int32_t kMaxPrograms = 100000;

// A plug-in writes names into buffers of this size; the last byte always stays 0.
constexpr size_t kTextBuffer = 1000;

template <class F>
std::string AskText(F&& ask) {
  char text[kTextBuffer] = {};
  ask(text);
  text[kTextBuffer - 1] = 0;
  return text;
}

}  // namespace

Vst2InstanceList& instanceList() {
  static Vst2InstanceList* list = new Vst2InstanceList;
  return *list;
}

void AddInstance(VST2* object) {
  common::WriteGuard guard(instanceList().lock);
  instanceList().objects.push_back(object);
}

void RemoveInstance(VST2* object) {
  common::WriteGuard guard(instanceList().lock);
  std::erase(instanceList().objects, object);
}

HRESULT CreateVst2(void* /*module*/, VST** out) {
  if (!out) return E_POINTER;
  *out = new (std::nothrow) VST2();
  return *out ? S_OK : E_FAIL;
}

VST2::~VST2() {
  FreeBuffers();
  Unload();
}

intptr_t VST2::Dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr,
                        float opt) noexcept {
  if (!entry || !effect || !effect->dispatcher) return 0;
  try {
    return effect->dispatcher(effect, opcode, index, value, ptr, opt);
  } catch (...) {
    return 0;
  }
}

HRESULT VST2::Load(const std::filesystem::path* file, void* moduleArg, void* entryArg,
                   int32_t /*requireEditor*/, int32_t width, int32_t classIndex) {
  if (classIndex < 0) return S_FALSE;
  if (width == 32 || width == 64) bits = width;
  if (!file) return E_INVALIDARG;
  if (module || effect) return S_FALSE;
  path = *file;
  loadError.clear();
  if (HRESULT hr = OpenEntry(*file, moduleArg, entryArg); hr != S_OK) return hr;
  try {
    effect = entry(&VST2::hostCallback);
    if (!effect) {
      entry = nullptr;
      CloseModuleUnlessCallers();
      return E_FAIL;
    }
    AddInstance(this);
    Dispatch(effOpen);
    ReadChannels();
    ReadNames();
    ReadPrograms();
    SendFormat(bits == 64);
    Dispatch(effMainsChanged, 0, 1);
    mainsOn = true;
    Dispatch(effStartProcess);
    started = true;
  } catch (...) {
    Unload();
    return E_UNEXPECTED;
  }
  return S_OK;
}

HRESULT VST2::OpenEntry(const std::filesystem::path& file, void* moduleArg, void* entryArg) {
  if (moduleArg) {
    module = moduleArg;
  } else {
    std::string err;
    module = vst3::OpenModule(file, &err);
    if (!module && !entryArg) return loadError = "could not be opened: " + err, E_FAIL;
  }
  callerModule = entryArg != nullptr;
  entry = reinterpret_cast<EntryProc>(entryArg);
  if (!entry) entry = reinterpret_cast<EntryProc>(vst3::ModuleSymbol(module, "main"));
  if (!entry) entry = reinterpret_cast<EntryProc>(vst3::ModuleSymbol(module, "VSTPluginMain"));
  if (!entry) {
    CloseModuleUnlessCallers();
    return E_FAIL;
  }
  return S_OK;
}

void VST2::CloseModuleUnlessCallers() {
  if (!callerModule && module) vst3::CloseModule(module);
  module = nullptr;
  callerModule = false;
}

void VST2::ReadChannels() {
  audioInputs.assign(static_cast<size_t>(std::clamp(effect->numInputs, 0, kMaxChannels)), {});
  audioOutputs.assign(static_cast<size_t>(std::clamp(effect->numOutputs, 0, kMaxChannels)), {});
  eventInputs.assign((effect->flags & effFlagsIsSynth) ? 1 : 0, {});
  char canDo[] = "sendVstMidiEvent";
  eventOutputs.assign(Dispatch(effCanDo, 0, 0, canDo) == 1 ? 1 : 0, {});
}

void VST2::ReadNames() {
  name = AskText([this](char* text) { Dispatch(effGetEffectName, 0, 0, text); });
  vendor = AskText([this](char* text) { Dispatch(effGetVendorString, 0, 0, text); });
}

void VST2::ReadPrograms() {
  const int32_t count = std::clamp(effect->numPrograms, 1, kMaxPrograms);
  programs.clear();
  for (int32_t i = 0; i < count; ++i) {
    programs.push_back(
        {AskText([this, i](char* text) { Dispatch(effGetProgramNameIndexed, i, 0, text); }), 0, {}});
  }
}

void VST2::SendFormat(bool precision) {
  if (precision) {
    Dispatch(effSetProcessPrecision, 0, bits == 64 ? kVstProcessPrecision64 : kVstProcessPrecision32);
  }
  Dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(sampleRate));
  Dispatch(effSetBlockSize, 0, blockSize);
}

HRESULT VST2::Unload() {
  editor::CloseFrame(this);
  editor::CloseParameterList(this);
  if (editorOpen) AttachEditor(nullptr);
  // Plug-ins expect to be stopped and switched off before they are closed.
  if (started) Dispatch(effStopProcess);
  if (mainsOn) Dispatch(effMainsChanged, 0, 0);
  started = mainsOn = false;
  Dispatch(effClose);
  RemoveInstance(this);
  effect = nullptr;
  entry = nullptr;
  CloseModuleUnlessCallers();
  return S_OK;
}

}  // namespace plexar
