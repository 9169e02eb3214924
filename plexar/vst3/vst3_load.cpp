// SPDX-License-Identifier: GPL-3.0-or-later
// Loading a VST 3 module: factory, class choice, component, controller, buses, units and
// programs; and tearing it all down again in reverse.
#include <algorithm>
#include <cstring>

#include "common/text.h"
#include "plexar/editor/editor.h"
#include "plexar/vst3/memory_stream.h"
#include "plexar/vst3/module_posix.h"
#include "plexar/vst3/text16.h"
#include "plexar/vst3/vst3_plugin.h"

namespace plexar {

using namespace vst3;

namespace {

// Decimal digits of the SDK version text, scaled into the 3000s ("VST 3.7.1" gives 3710).
int32_t VersionFromSdkText(const std::string& text) {
  int64_t v = 0;
  for (char c : text) {
    if (c >= '0' && c <= '9' && v < 100000000) v = v * 10 + (c - '0');
  }
  while (v >= 1 && v < 3000) v *= 10;
  return static_cast<int32_t>(v);
}

// Limits on what a plug-in may report, so that a broken count cannot run the host out of
// memory; real plug-ins stay far below them.
constexpr int32_t kMaxBuses = 256;
constexpr int32_t kMaxBusChannels = 128;
constexpr int32_t kMaxListEntries = 100000;

bool IsAudioModule(const PClassInfo& info) {
  return FromField(info.category, sizeof info.category) == kVstAudioEffectClass;
}

// The Unicode record of a class, from a factory that has one.
bool UnicodeClassAt(IPluginFactory* factory, int32_t index, PClassInfoW& wide) {
  wide = {};
  auto factory3 = QueryRef<IPluginFactory3>(factory);
  return factory3 && factory3->getClassInfoUnicode(index, &wide) == kResultOk;
}

// The class record at `index`. A factory that describes its classes only in Unicode answers
// getClassInfo with kResultFalse and a zeroed record; its Unicode record stands in (the
// 8-bit name stays empty: the Unicode one is read where names are needed).
bool ClassAt(IPluginFactory* factory, int32_t index, PClassInfo& info) {
  info = {};
  if (factory->getClassInfo(index, &info) == kResultOk) return true;
  PClassInfoW wide;
  if (!UnicodeClassAt(factory, index, wide)) return false;
  info = {};
  std::memcpy(info.cid, wide.cid, sizeof info.cid);
  info.cardinality = wide.cardinality;
  std::memcpy(info.category, wide.category, sizeof info.category);
  return true;
}

bool SameObject(FUnknown* a, FUnknown* b) {
  auto ia = QueryRef<FUnknown>(a), ib = QueryRef<FUnknown>(b);
  return ia.get() == ib.get();
}

}  // namespace

HRESULT CreateVst3(void* /*module*/, VST** out) {
  if (!out) return E_POINTER;
  *out = new (std::nothrow) VST3();
  return *out ? S_OK : E_FAIL;
}

VST3::~VST3() {
  FreeBuffers();
  Unload();
}

HRESULT VST3::Load(const std::filesystem::path* file, void* moduleArg, void* entry,
                   int32_t requireEditor, int32_t width, int32_t classIndex) {
  if (width == 32 || width == 64) bits = width;
  if (!file) return E_INVALIDARG;
  if (module && classIndex == 0) return S_FALSE;
  // Another class of a module that is already open: start from a clean object instead of
  // opening the module a second time over the first.
  if (module) Unload();
  path = *file;
  loadError.clear();
  if (HRESULT hr = OpenFactory(*file, moduleArg ? moduleArg : nullptr, entry); hr != S_OK) {
    return hr;
  }
  PFactoryInfo info{};
  lastResult = factory->getFactoryInfo(&info);
  factoryInfo = info;
  const int32_t offered = factory->countClasses();
  // Such a module usually wrote its reason to standard error; the caller can at least say this.
  if (offered <= 0 && classIndex >= 0) loadError = "offers no plug-in class";
  int32_t count = std::max<int32_t>(offered, 1);
  if (classIndex < 0) {
    int32_t audio = 0;
    for (int32_t i = 0; i < count; ++i) {
      PClassInfo ci{};
      if (ClassAt(factory.get(), i, ci) && IsAudioModule(ci)) ++audio;
    }
    return audio;  // module and factory stay loaded
  }
  ReadClassInfo(PickClass(classIndex, count));
  CreateHostObjects();
  audioInputs.clear(), audioOutputs.clear(), eventInputs.clear(), eventOutputs.clear();
  units.clear(), programs.clear();

  void* made = nullptr;
  factory->createInstance(classInfo.cid, IComponent::iid.data(), &made);
  component = Ref<IComponent>::Adopt(static_cast<IComponent*>(made));
  if (!component) return Unload(), E_NOINTERFACE;
  if (component->initialize(static_cast<IHostApplication*>(hostApplication)) != kResultOk) {
    component.reset();  // never initialized, so never terminated
    return Unload(), E_NOINTERFACE;
  }
  if (SetupProcessing() != S_OK) return Unload(), E_FAIL;
  CreateController();
  if (controller) ConnectController();
  if (requireEditor >= 1 && !controller) return Unload(), E_FAIL;
  ReadBuses();
  ReadUnitsAndPrograms();
  if (controller) controller2 = QueryRef<IEditController2>(controller.get());
  return S_OK;
}

HRESULT VST3::OpenFactory(const std::filesystem::path& file, void* moduleArg, void* entry) {
  if (moduleArg) {
    module = moduleArg;
  } else {
    std::string err;
    module = OpenModule(file, &err);
    if (!module && !entry) return loadError = "could not be opened: " + err, E_FAIL;
  }
  callerModule = entry != nullptr;
  getPluginFactory = reinterpret_cast<GetFactoryProc>(
      entry ? entry : ModuleSymbol(module, "GetPluginFactory"));
  if (!getPluginFactory) return Unload(), E_NOINTERFACE;
  if (!initDllCalled) {
    if (auto init = reinterpret_cast<ModuleEntryProc>(ModuleSymbol(module, "ModuleEntry"))) {
      if (!init(module)) return Unload(), E_FAIL;
      initDllCalled = true;
    }
  }
  factory = Ref<IPluginFactory>::Adopt(getPluginFactory());
  if (!factory) return Unload(), E_NOINTERFACE;
  return S_OK;
}

int32_t VST3::PickClass(int32_t classIndex, int32_t count) {
  int32_t chosen = 0;
  if (classIndex >= 1) {
    int32_t seen = 0;
    for (int32_t i = 0; i < count; ++i) {
      PClassInfo ci{};
      if (ClassAt(factory.get(), i, ci) && IsAudioModule(ci) && ++seen == classIndex) {
        chosen = i;
        break;
      }
    }
  }
  return chosen < 0 || chosen >= count ? 0 : chosen;
}

void VST3::ReadClassInfo(int32_t index) {
  classInfo = {};
  lastResult = ClassAt(factory.get(), index, classInfo) ? kResultOk : kResultFalse;
  vendor = FromField(factoryInfo.vendor, sizeof factoryInfo.vendor);
  name = FromField(classInfo.name, sizeof classInfo.name);
  productUrl = FromField(factoryInfo.url, sizeof factoryInfo.url);
  subCategories.clear();
  vstVersion = 0;
  factory2 = QueryRef<IPluginFactory2>(factory.get());
  classInfo2 = {};
  if (factory2 && factory2->getClassInfo2(index, &classInfo2) == kResultOk) {
    if (vendor.empty()) vendor = FromField(classInfo2.vendor, sizeof classInfo2.vendor);
    if (name.empty()) name = FromField(classInfo2.name, sizeof classInfo2.name);
    subCategories = FromField(classInfo2.subCategories, sizeof classInfo2.subCategories);
    vstVersion = VersionFromSdkText(FromField(classInfo2.sdkVersion, sizeof classInfo2.sdkVersion));
  }
  PClassInfoW wide;
  if ((name.empty() || vendor.empty()) && UnicodeClassAt(factory.get(), index, wide)) {
    if (name.empty()) name = FromUtf16(wide.name, PClassInfo::kNameSize);
    if (vendor.empty()) vendor = FromUtf16(wide.vendor, PClassInfo2::kVendorSize);
    if (subCategories.empty())
      subCategories = FromField(wide.subCategories, sizeof wide.subCategories);
    if (vstVersion == 0)
      vstVersion = VersionFromSdkText(FromUtf16(wide.sdkVersion, PClassInfo2::kVersionSize));
  }
  if (name.empty()) name = vendor;
}

void VST3::CreateHostObjects() {
  ReleaseHostObjects();
  hostApplication = new MyHostApplication(this);
  componentHandler = new MyComponentHandler(this);
  componentHandler2 = new MyComponentHandler2(this);
  componentHandler3 = new MyComponentHandler3(this);
  unitHandler = new MyUnitHandler(this);
  plugFrame = new MyPlugFrame(this);
  eventList = new MyEventList(this);
  parameterChanges = new MyParameterChanges(this, &pluginLock);
}

template <class T>
static void DropHostObject(T*& object) {
  if (!object) return;
  object->Detach();
  object->release();
  object = nullptr;
}

void VST3::ReleaseHostObjects() {
  DropHostObject(hostApplication);
  DropHostObject(componentHandler);
  DropHostObject(componentHandler2);
  DropHostObject(componentHandler3);
  DropHostObject(unitHandler);
  DropHostObject(plugFrame);
  DropHostObject(eventList);
  DropHostObject(parameterChanges);
}

HRESULT VST3::CreateController() {
  auto* context = static_cast<IHostApplication*>(hostApplication);
  controller = QueryRef<IEditController>(component.get());
  if (!controller) {
    TUID cid{};
    if (component->getControllerClassId(cid) != kResultOk) return E_NOINTERFACE;
    void* made = nullptr;
    lastResult = factory->createInstance(cid, IEditController::iid.data(), &made);
    controller = Ref<IEditController>::Adopt(static_cast<IEditController*>(made));
    if (!controller) return E_NOINTERFACE;
    if (controller->initialize(context) != kResultOk) {
      controller.reset();
      return E_NOINTERFACE;
    }
  } else if (vendor != "Softube") {
    lastResult = controller->initialize(context);
  }
  return S_OK;
}

void VST3::ConnectController() {
  noteExpression = QueryRef<INoteExpressionController>(controller.get());
  controller->setComponentHandler(componentHandler);
  // A single-object plug-in would be connected to itself; only separate halves are joined.
  if (!SameObject(component.get(), controller.get())) {
    componentConnection = QueryRef<IConnectionPoint>(component.get());
    controllerConnection = QueryRef<IConnectionPoint>(controller.get());
    if (componentConnection && controllerConnection) {
      componentConnection->connect(controllerConnection.get());
      controllerConnection->connect(componentConnection.get());
    }
  }
  auto stream = Ref<MemoryStream>::Adopt(new MemoryStream);
  if (component->getState(stream.get()) == kResultOk) {
    stream->Rewind();
    lastResult = controller->setComponentState(stream.get());
  }
}

void VST3::ReadBuses() {
  std::vector<ChannelRecord>* lists[4] = {&audioInputs, &audioOutputs, &eventInputs, &eventOutputs};
  const bool fx = subCategories.find("Fx") != std::string::npos;
  for (int k = 0; k < 4; ++k) {
    const MediaType type = k < 2 ? kAudio : kEvent;
    const BusDirection dir = k % 2 == 0 ? kInput : kOutput;
    busInfos[k].clear();
    lists[k]->clear();
    int32_t count = std::min(component->getBusCount(type, dir), kMaxBuses);
    if (k == 2 && fx) count = 0;
    for (int32_t b = 0; b < count; ++b) {
      BusInfo info{};
      lastResult = component->getBusInfo(type, dir, b, info);
      if (lastResult != kResultOk) info = {};
      info.channelCount = std::clamp(info.channelCount, 0, kMaxBusChannels);
      busInfos[k].push_back(info);
      std::string busName = FromUtf16(info.name, 128);
      for (int32_t c = 0; c < info.channelCount; ++c) lists[k]->push_back({b, type, dir, busName});
      component->activateBus(type, dir, b, 1);
    }
  }
}

void VST3::ReadUnitsAndPrograms() {
  for (FUnknown* from : {static_cast<FUnknown*>(controller.get()), static_cast<FUnknown*>(factory.get()),
                         static_cast<FUnknown*>(component.get())}) {
    if (!unitInfo) unitInfo = QueryRef<IUnitInfo>(from);
    if (!programListData) programListData = QueryRef<IProgramListData>(from);
  }
  if (!unitInfo) {
    ScanPresetFolders();
    if (programs.empty()) programs.push_back({});
    return;
  }
  programs.clear();
  const int32_t lists = std::min(unitInfo->getProgramListCount(), kMaxListEntries);
  for (int32_t l = 0; l < lists; ++l) {
    ProgramListInfo list{};
    if ((lastResult = unitInfo->getProgramListInfo(l, list)) != kResultOk) continue;
    const int32_t count = std::min(list.programCount, kMaxListEntries);
    for (int32_t p = 0; p < count; ++p) {
      String128 text{};
      lastResult = unitInfo->getProgramName(list.id, p, text);
      programs.push_back({FromUtf16(text, 128), list.id, {}});
    }
  }
  units.clear();
  const int32_t unitCount = std::min(unitInfo->getUnitCount(), kMaxListEntries);
  for (int32_t u = 0; u < unitCount; ++u) {
    UnitInfo info{};
    if ((lastResult = unitInfo->getUnitInfo(u, info)) != kResultOk) continue;
    units.push_back({info.id, info.parentUnitId, info.programListId, FromUtf16(info.name, 128)});
  }
  SelectUnit(0);
  if (programs.size() < 2) ScanPresetFolders();
}

HRESULT VST3::SetupProcessing() {
  if (!processor) processor = QueryRef<IAudioProcessor>(component.get());
  if (!processor) return E_FAIL;
  const int32 symbolic = bits == 64 ? kSample64 : kSample32;
  if (processor->canProcessSampleSize(symbolic) != kResultOk) {
    processor.reset();
    return E_FAIL;
  }
  ProcessSetup setup{kRealtime, symbolic, blockSize, static_cast<double>(sampleRate)};
  lastResult = processor->setupProcessing(setup);
  processor->setProcessing(1);
  return S_OK;
}

HRESULT VST3::Unload() {
  editor::CloseFrame(this);
  editor::CloseParameterList(this);
  if (view) {
    view->removed();
    view.reset();
    editorOpen = false;
  }
  if (processor) {
    processor->setProcessing(0);
    processor.reset();
  }
  // Plug-ins expect to be switched off before they are terminated.
  if (component && componentActive) component->setActive(0);
  componentActive = false;
  if (componentConnection && controllerConnection) {
    componentConnection->disconnect(controllerConnection.get());
    controllerConnection->disconnect(componentConnection.get());
  }
  componentConnection.reset();
  controllerConnection.reset();
  if (controller) {
    controller->terminate();
    controller.reset();
  }
  controller2.reset(), noteExpression.reset(), unitInfo.reset(), programListData.reset();
  factory2.reset(), factory.reset();
  if (component) {
    component->terminate();
    component.reset();
  }
  ReleaseHostObjects();
  if (!callerModule && module) {
    // ModuleExit is counted against ModuleEntry, so it runs only after a successful entry.
    if (initDllCalled) {
      if (auto exit = reinterpret_cast<ModuleExitProc>(ModuleSymbol(module, "ModuleExit"))) exit();
    }
    CloseModule(module);
  }
  initDllCalled = false;
  getPluginFactory = nullptr;
  module = nullptr;
  callerModule = false;
  return S_OK;
}

}  // namespace plexar
