// SPDX-License-Identifier: GPL-3.0-or-later
// Parameters, programs, units, format changes and the plug-in's own view.
#include <algorithm>
#include <cstring>

#include "plexar/editor/commands.h"
#include "plexar/editor/editor.h"
#include "plexar/editor/run_loop.h"
#include "plexar/editor/ui_thread.h"
#include "plexar/vst3/text16.h"
#include "plexar/vst3/vst3_plugin.h"

namespace plexar {

using namespace vst3;

HRESULT VST3::GetParameter(int32_t id, float* value) {
  if (!value) return E_POINTER;
  if (!controller) return E_UNEXPECTED;
  *value = static_cast<float>(controller->getParamNormalized(static_cast<ParamID>(id)));
  return S_OK;
}

HRESULT VST3::SetParameter(int32_t id, float value) {
  if (!controller) return E_UNEXPECTED;
  value = std::clamp(value, 0.0f, 1.0f);
  {
    std::lock_guard guard(pendingLock);
    pendingChanges.push_back({static_cast<uint32_t>(id), value});
    changesPending = true;
  }
  if (controller->setParamNormalized(static_cast<ParamID>(id), value) != kResultOk) return E_FAIL;
  return S_OK;
}

HRESULT VST3::GetParameters(std::vector<ParameterRecord>* params) {
  if (!params) return E_POINTER;
  if (!controller) return E_UNEXPECTED;
  params->clear();
  const int32 count = controller->getParameterCount();
  for (int32 i = 0; i < count; ++i) {
    ParameterInfo info{};
    lastResult = controller->getParameterInfo(i, info);
    ParameterRecord record;
    const auto* raw = reinterpret_cast<const uint8_t*>(&info);
    record.native.assign(raw, raw + sizeof info);
    record.name = FromUtf16(info.title, 128);
    record.shortName = FromUtf16(info.shortTitle, 128);
    record.id = static_cast<int32_t>(info.id);
    record.value = controller->getParamNormalized(info.id);
    params->push_back(std::move(record));
  }
  return S_OK;
}

// The first parameter flagged as program change, if any.
static bool FindProgramParameter(IEditController* controller, ParamID* id) {
  const int32 count = controller->getParameterCount();
  for (int32 i = 0; i < count; ++i) {
    ParameterInfo info{};
    if (controller->getParameterInfo(i, info) == kResultOk &&
        (info.flags & ParameterInfo::kIsProgramChange)) {
      *id = info.id;
      return true;
    }
  }
  return false;
}

HRESULT VST3::GetProgram(int32_t* program) {
  if (!program) return E_POINTER;
  if (!controller) return E_UNEXPECTED;
  ParamID id = 0;
  if (!FindProgramParameter(controller.get(), &id)) return E_FAIL;
  double plain = controller->normalizedParamToPlain(id, controller->getParamNormalized(id));
  *program = static_cast<int32_t>(plain);
  return S_OK;
}

HRESULT VST3::SetProgram(int32_t program) {
  ParamID id = 0;
  if (controller && FindProgramParameter(controller.get(), &id)) {
    double normalized = controller->plainParamToNormalized(id, program);
    return SetParameter(static_cast<int32_t>(id), static_cast<float>(normalized));
  }
  if (program >= 0 && static_cast<size_t>(program) < programs.size() &&
      !programs[static_cast<size_t>(program)].local_file.empty()) {
    return LoadPresetFile(programs[static_cast<size_t>(program)].local_file);
  }
  return E_FAIL;
}

HRESULT VST3::GetPrograms(std::vector<ProgramRecord>* out) {
  if (!out) return E_POINTER;
  if (!controller) return E_UNEXPECTED;
  *out = programs;
  return S_OK;
}

HRESULT VST3::GetSelectedUnit(int32_t* unit) {
  if (!unit) return E_POINTER;
  if (!unitInfo) return E_NOINTERFACE;
  *unit = unitInfo->getSelectedUnit();
  return S_OK;
}

HRESULT VST3::SelectUnit(int32_t unit) {
  if (!unitInfo) return E_NOINTERFACE;
  return unitInfo->selectUnit(unit) == kResultOk ? S_OK : E_FAIL;
}

HRESULT VST3::GetVstVersion(int32_t* version) {
  if (!version) return E_POINTER;
  *version = std::max(vstVersion, 3000);
  return S_OK;
}

HRESULT VST3::Suspend(int32_t all) {
  if (component) component->setActive(0);
  componentActive = false;
  if (all == 1 && processor) {
    processor->setProcessing(0);
    processor.reset();
  }
  return S_OK;
}

HRESULT VST3::Resume(int32_t all) {
  if (!component) return E_UNEXPECTED;
  component->setActive(1);
  componentActive = true;
  if (all == 1) return SetupProcessing();
  return S_OK;
}

HRESULT VST3::SetFormat(int32_t rate, int32_t frames, int32_t width, int32_t allocate) {
  if (rate == sampleRate && frames == blockSize && width == bits) return S_FALSE;
  if (inputTable || outputTable) Suspend(1);
  FreeBuffers();
  if (processor) {
    processor->setProcessing(0);
    processor.reset();
  }
  sampleRate = rate;
  blockSize = frames;
  bits = width;
  if (!component) return S_OK;
  HRESULT hr = SetupProcessing();
  if (allocate == 1) {
    if (HRESULT a = AllocateBuffers(); !Succeeded(a)) return a;
    SetupProcessing();
    hr = Resume(1);
  }
  return hr;
}

HRESULT VST3::CanProcessPrecision(int32_t width) {
  if (!component) return E_UNEXPECTED;
  if (width != 32 && width != 64) return E_FAIL;
  Ref<IAudioProcessor> asked = processor ? processor : QueryRef<IAudioProcessor>(component.get());
  if (!asked) return E_FAIL;
  return asked->canProcessSampleSize(width == 64 ? kSample64 : kSample32) == kResultOk ? S_OK
                                                                                      : E_FAIL;
}

HRESULT VST3::GetLatency(int32_t* frames) {
  if (!frames) return E_POINTER;
  if (!processor) return E_FAIL;
  *frames = static_cast<int32_t>(processor->getLatencySamples());
  return S_OK;
}

HRESULT VST3::GetNative(const void* selector, void** out) {
  if (!selector || !out) return E_POINTER;
  *out = nullptr;
  auto hand = [out](auto& ref) -> HRESULT {
    if (!ref) return E_NOINTERFACE;
    ref->addRef();
    *out = ref.get();
    return S_OK;
  };
  const char* iid = static_cast<const char*>(selector);
  if (IPluginFactory::iid.Matches(iid)) return hand(factory);
  if (IComponent::iid.Matches(iid)) return hand(component);
  if (IAudioProcessor::iid.Matches(iid)) return hand(processor);
  if (IEditController::iid.Matches(iid)) return hand(controller);
  if (IEditController2::iid.Matches(iid)) return hand(controller2);
  if (INoteExpressionController::iid.Matches(iid)) return hand(noteExpression);
  if (IPlugView::iid.Matches(iid)) return hand(view);
  if (IUnitInfo::iid.Matches(iid)) return hand(unitInfo);
  return E_NOINTERFACE;
}

HRESULT VST3::GetParameterText(int32_t id, float value, BSTR* text) {
  if (!text) return E_POINTER;
  if (!controller) return E_UNEXPECTED;
  String128 buffer{};
  if (controller->getParamStringByValue(static_cast<ParamID>(id), value, buffer) != kResultOk) {
    return E_FAIL;
  }
  buffer[127] = 0;
  *text = FromUtf16(buffer, 128);
  return S_OK;
}

HRESULT VST3::FormatParameter(int32_t id, float value, char* text) {
  if (!text) return E_POINTER;
  BSTR formatted;
  if (HRESULT hr = GetParameterText(id, value, &formatted); hr != S_OK) return hr;
  // The caller's buffer holds 128 bytes, terminator included.
  size_t n = std::min<size_t>(formatted.size(), 127);
  std::memcpy(text, formatted.data(), n);
  text[n] = 0;
  return S_OK;
}

HRESULT VST3::ShowEditor(HWND owner, int32_t mode, int32_t modal) {
  if (mode == 2) {
    return Succeeded(editor::ShowParameterList(this, owner, modal != 0)) ? S_OK : E_FAIL;
  }
  if (!controller) return E_FAIL;
  editorRibbon = mode != 0;
  return editor::ShowFrame(this, owner, modal != 0);
}

bool VST3::PrepareView() {
  if (!controller || editorOpen) return false;
  view = Ref<IPlugView>::Adopt(controller->createView("editor"));
  if (!view) return false;
  if (view->isPlatformTypeSupported(kPlatformTypeX11EmbedWindowID) != kResultTrue) {
    view.reset();
    return false;
  }
  viewRect = {};
  runLoop = new editor::RunLoop;
  return true;
}

bool VST3::AttachView(unsigned long window) {
  editorOpen = true;
  view->setFrame(plugFrame);
  // On Linux the parent is the X11 window id passed by value.
  if (view->attached(reinterpret_cast<void*>(window), kPlatformTypeX11EmbedWindowID) != kResultOk) {
    view->setFrame(nullptr);
    DropView();
    return false;
  }
  return true;
}

bool VST3::ViewSize(int* width, int* height) {
  ViewRect rect = viewRect;
  constexpr int kSmallest = 5;
  if (rect.right - rect.left < kSmallest || rect.bottom - rect.top < kSmallest) {
    if (!view || view->getSize(&rect) != kResultOk) return false;
  }
  *width = rect.right - rect.left;
  *height = rect.bottom - rect.top;
  return true;
}

void VST3::ViewPlaced(int width, int height) {
  ViewRect rect{0, 0, width, height};
  if (view) view->onSize(&rect);
}

void VST3::DetachView() {
  NotifyEditorClosed();
  if (view) view->removed();
  DropView();
}

// A plug-in may show its own about box and help; without them the frame's own are shown.
bool VST3::TakeCommand(unsigned command) {
  if (!controller2) return false;
  if (command == editor::kAbout) return controller2->openAboutBox(0) == kResultOk;
  if (command == editor::kHelp) return controller2->openHelp(0) == kResultOk;
  return false;
}

// The view goes before the run loop's handlers, which may belong to it.
void VST3::DropView() {
  view.reset();
  if (runLoop) {
    runLoop->Clear();
    runLoop->release();
    runLoop = nullptr;
  }
  viewRect = {};
  editorOpen = false;
}

HRESULT VST3::AttachEditor(HWND parent) {
  if (!parent) {
    if (view) {
      view->removed();
      view.reset();
    }
    editorOpen = false;
    return S_OK;
  }
  if (editorOpen) return S_FALSE;
  if (!controller) return E_FAIL;
  view = Ref<IPlugView>::Adopt(controller->createView("editor"));
  if (!view) return E_FAIL;
  editorOpen = true;
  view->setFrame(plugFrame);
  // On Linux the parent is an X11 window id passed by value.
  view->attached(parent, kPlatformTypeX11EmbedWindowID);
  return S_OK;
}

// A view shown in the editor frame is only touched on the UI thread.
HRESULT VST3::KeyDown(int32_t key) {
  HRESULT hr = E_NOINTERFACE;
  auto press = [&] {
    if (view) hr = view->onKeyDown(0, static_cast<int16>(key), 0) == kResultOk ? S_OK : E_FAIL;
  };
  if (!editor::RunOnUi(press)) press();
  return hr;
}

HRESULT VST3::KeyUp(int32_t key) {
  HRESULT hr = E_NOINTERFACE;
  auto release = [&] {
    if (view) hr = view->onKeyUp(0, static_cast<int16>(key), 0) == kResultOk ? S_OK : E_FAIL;
  };
  if (!editor::RunOnUi(release)) release();
  return hr;
}

}  // namespace plexar
