// SPDX-License-Identifier: GPL-3.0-or-later
// The format-neutral operations of the plug-in object: identity and lifetime, properties,
// names and records, sinks and options.
#include "plexar/vst.h"

#include <algorithm>

#include "plexar/editor/editor.h"

namespace plexar {

VST::VST() {
  midiQueue.reserve(256);
  midi2Queue.reserve(64);
}

VST::~VST() {
  std::lock_guard guard(sinkLock);
  for (VSTNOTIFICATION* sink : sinks) sink->Release();
  sinks.clear();
}

HRESULT VST::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_VSTZ || iid == IID_VSTZ2 ||
      iid == IID_VST) {
    *out = this;
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

uint32_t VST::AddRef() { return ++refCount; }

uint32_t VST::Release() {
  uint32_t before = refCount.fetch_sub(1);
  if (before != 1) return before - 1;
  {
    std::lock_guard guard(sinkLock);
    for (size_t i = 0; i < sinks.size(); ++i) sinks[i]->OnRelease(this);
  }
  // A sink may have taken a new reference and so keeps the object alive.
  if (uint32_t now = refCount.load(); now != 0) return now;
  FreeBuffers();
  Unload();
  delete this;
  return 0;
}

// No type library exists here, so dispatch by name is unavailable.
HRESULT VST::GetTypeInfoCount(uint32_t* count) {
  if (!count) return E_POINTER;
  *count = 1;
  return S_OK;
}

HRESULT VST::GetTypeInfo(uint32_t index, uint32_t, void** typeInfo) {
  if (!typeInfo) return E_POINTER;
  *typeInfo = nullptr;
  return index != 0 ? DISP_E_BADINDEX : E_FAIL;
}

HRESULT VST::GetIDsOfNames(REFIID, const char* const*, uint32_t, uint32_t, int32_t*) {
  return E_FAIL;
}

HRESULT VST::Invoke(int32_t, REFIID, uint32_t, uint16_t, void*, void*, void*, uint32_t*) {
  return E_FAIL;
}

HRESULT VST::ChangeProperty(int32_t* field, int32_t value) {
  if (!inputTable && !outputTable) {
    *field = value;
    return S_OK;
  }
  Suspend(1);
  FreeBuffers();
  *field = value;
  HRESULT hr = AllocateBuffers();
  Resume(1);
  return Succeeded(hr) ? S_OK : hr;
}

HRESULT VST::GetBits(int32_t* out) {
  if (!out) return E_POINTER;
  *out = bits;
  return S_OK;
}
HRESULT VST::SetBits(int32_t value) { return ChangeProperty(&bits, value); }
HRESULT VST::GetSampleRate(int32_t* out) {
  if (!out) return E_POINTER;
  *out = sampleRate;
  return S_OK;
}
HRESULT VST::SetSampleRate(int32_t value) { return ChangeProperty(&sampleRate, value); }
HRESULT VST::GetBlockSize(int32_t* out) {
  if (!out) return E_POINTER;
  *out = blockSize;
  return S_OK;
}
HRESULT VST::SetBlockSize(int32_t value) { return ChangeProperty(&blockSize, value); }

HRESULT VST::GetBypass(int32_t* out) {
  if (!out) return E_POINTER;
  *out = bypass.load();
  return S_OK;
}
HRESULT VST::SetBypass(int32_t flag) {
  bypass = flag ? 1 : 0;
  return S_OK;
}
HRESULT VST::GetSilence(int32_t* out) {
  if (!out) return E_POINTER;
  *out = silence.load();
  return S_OK;
}
HRESULT VST::SetSilence(int32_t flag) {
  silence = flag ? 1 : 0;
  return S_OK;
}
HRESULT VST::GetDirty(int32_t* out) {
  if (!out) return E_POINTER;
  *out = dirty ? 1 : 0;
  return S_OK;
}

HRESULT VST::GetNames(int32_t type, BstrArray* names) {
  if (!names) return E_POINTER;
  const std::vector<ChannelRecord>* channels = nullptr;
  switch (type) {
    case kProgramNames:
      names->clear();
      for (const auto& p : programs) names->push_back(p.name);
      return S_OK;
    case kUnitNames:
      names->clear();
      for (const auto& u : units) names->push_back(u.name);
      return S_OK;
    case kAudioInputNames: channels = &audioInputs; break;
    case kAudioOutputNames: channels = &audioOutputs; break;
    case kEventInputNames: channels = &eventInputs; break;
    case kEventOutputNames: channels = &eventOutputs; break;
    default: return E_INVALIDARG;
  }
  names->clear();
  for (const auto& c : *channels) names->push_back(c.name);
  return S_OK;
}

HRESULT VST::GetChannelCounts(int32_t* audioIn, int32_t* audioOut, int32_t* eventIn,
                              int32_t* eventOut) {
  if (!audioIn || !audioOut || !eventIn || !eventOut) return E_POINTER;
  *audioIn = static_cast<int32_t>(audioInputs.size());
  *audioOut = static_cast<int32_t>(audioOutputs.size());
  *eventIn = static_cast<int32_t>(eventInputs.size());
  *eventOut = static_cast<int32_t>(eventOutputs.size());
  return S_OK;
}

HRESULT VST::GetHostMode(int32_t* mode) {
  if (!mode) return E_POINTER;
  *mode = hostMode;
  return S_OK;
}
HRESULT VST::SetHostMode(int32_t mode) {
  hostMode = mode;
  return S_OK;
}

HRESULT VST::GetVirtualization(int32_t* flag) {
  if (!flag) return E_POINTER;
  if (hostMode != 4) return E_NOTIMPL;
  *flag = virtualization;
  return S_OK;
}

// File-system virtualization of a process token does not exist on Linux: the flag is kept but
// setting it is reported as a refused system call.
HRESULT VST::SetVirtualization(int32_t flag) {
  if (hostMode != 4) return E_NOTIMPL;
  virtualization = flag ? 1 : 0;
  return E_FAIL;
}

HRESULT VST::Advise(VSTNOTIFICATION* sink) {
  if (!sink) return E_POINTER;
  sink->AddRef();
  std::lock_guard guard(sinkLock);
  sinks.push_back(sink);
  return S_OK;
}

HRESULT VST::Unadvise(VSTNOTIFICATION* sink) {
  if (!sink) return E_POINTER;
  void* identity = nullptr;
  if (sink->QueryInterface(IID_IUnknown, &identity) != S_OK) return E_INVALIDARG;
  static_cast<IUnknown*>(identity)->Release();
  std::lock_guard guard(sinkLock);
  for (auto it = sinks.begin(); it != sinks.end(); ++it) {
    void* other = nullptr;
    if ((*it)->QueryInterface(IID_IUnknown, &other) != S_OK) continue;
    static_cast<IUnknown*>(other)->Release();
    if (other == identity) {
      VSTNOTIFICATION* found = *it;
      sinks.erase(it);
      found->Release();
      return S_OK;
    }
  }
  return E_INVALIDARG;
}

HRESULT VST::GetInfo(BSTR* outName, BSTR* outVendor) {
  if (outName) *outName = name;
  if (outVendor) *outVendor = vendor;
  return S_OK;
}

HRESULT VST::GetParametersXml(BstrArray* xml) {
  if (!xml) return E_POINTER;
  std::vector<ParameterRecord> params;
  if (!Succeeded(GetParameters(&params))) return E_FAIL;
  xml->clear();
  for (const auto& p : params) xml->push_back(p.ToXml());
  return S_OK;
}

HRESULT VST::GetProgramsXml(BstrArray* xml) {
  if (!xml) return E_POINTER;
  std::vector<ProgramRecord> list;
  if (!Succeeded(GetPrograms(&list))) return E_FAIL;
  xml->clear();
  for (const auto& p : list) xml->push_back(p.ToXml());
  return S_OK;
}

HRESULT VST::GetEditorWindow(HWND* window) {
  if (!window) return E_POINTER;
  *window = editor::FrameWindow(this);
  return S_OK;
}

HRESULT VST::CloseEditor() {
  editor::CloseFrame(this);
  return S_OK;
}

HRESULT VST::GetSubCategories(BSTR* text) {
  if (!text) return E_POINTER;
  *text = subCategories;
  return S_OK;
}

HRESULT VST::GetParameterDisplay(int32_t, std::string*, std::string*) { return E_NOTIMPL; }

HRESULT VST::SetParameterText(int32_t, const std::string&, std::string*) { return E_NOTIMPL; }

HRESULT VST::SetOption(int32_t option, int32_t value) {
  switch (option) {
    case 1: useNoteOffset = value; return S_OK;
    case 2: editorIdleMs = value; return S_OK;
    default: return E_NOTIMPL;
  }
}

HRESULT VST::Command(const IntArray* command) {
  if (!command) return E_INVALIDARG;
  if (!command->empty() && (*command)[0] == 1) pluginLock.ForgetReaders();
  return S_OK;
}

HRESULT VST::SetKeyTarget(HWND window, int32_t messageOffset) {
  keyTarget = window;
  keyMessageOffset = messageOffset;
  return S_OK;
}

void VST::NotifyParameterChanged(int32_t id, float value) {
  std::lock_guard guard(sinkLock);
  for (size_t i = 0; i < sinks.size(); ++i) sinks[i]->OnParameterChanged(id, value);
}

void VST::NotifyStateChanged(int32_t flag) {
  std::lock_guard guard(sinkLock);
  for (size_t i = 0; i < sinks.size(); ++i) sinks[i]->OnStateChanged(flag);
}

void VST::NotifyEditorClosed() {
  std::lock_guard guard(sinkLock);
  for (size_t i = 0; i < sinks.size(); ++i) sinks[i]->OnEditorClosed(this);
}

void VST::NotifyCommand(int32_t command) {
  std::lock_guard guard(sinkLock);
  for (size_t i = 0; i < sinks.size(); ++i) sinks[i]->OnCommand(command, this);
}

void VST::NotifyEvents(const BstrArray& events) {
  std::lock_guard guard(sinkLock);
  for (size_t i = 0; i < sinks.size(); ++i) sinks[i]->OnEvents(events);
}

HMENU VST::AskContextMenu(void* view, intptr_t item) {
  std::lock_guard guard(sinkLock);
  for (size_t i = 0; i < sinks.size(); ++i) {
    if (HMENU menu = sinks[i]->OnContextMenu(view, item)) return menu;
  }
  return nullptr;
}

}  // namespace plexar
