// SPDX-License-Identifier: GPL-3.0-or-later
// plexar::VST3, the plug-in object for VST 3 modules.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "plexar/editor/plugin_view.h"
#include "plexar/vst.h"
#include "plexar/vst3/host_objects.h"
#include "plexar/vst3/ref.h"

namespace plexar {

namespace editor {
class RunLoop;
}

class VST3 final : public VST, private vst3::HostOwner, private editor::PluginView {
 public:
  VST3() = default;
  ~VST3() override;

  HRESULT GetProgram(int32_t* program) override;
  HRESULT SetProgram(int32_t program) override;
  HRESULT GetState(int32_t index, ByteArray* state) override;
  HRESULT SetState(int32_t index, const ByteArray* state) override;
  HRESULT GetParameter(int32_t id, float* value) override;
  HRESULT SetParameter(int32_t id, float value) override;
  HRESULT GetSelectedUnit(int32_t* unit) override;
  HRESULT SelectUnit(int32_t unit) override;
  HRESULT Load(const std::filesystem::path* path, void* module, void* entry,
               int32_t requireEditor, int32_t bits, int32_t classIndex) override;
  HRESULT ShowEditor(HWND owner, int32_t mode, int32_t modal) override;
  HRESULT GetVstVersion(int32_t* version) override;
  HRESULT Unload() override;
  HRESULT Suspend(int32_t all) override;
  HRESULT Resume(int32_t all) override;
  HRESULT KeyDown(int32_t key) override;
  HRESULT KeyUp(int32_t key) override;
  HRESULT GetParameters(std::vector<ParameterRecord>* params) override;
  HRESULT SetFormat(int32_t rate, int32_t frames, int32_t bits, int32_t allocate) override;
  HRESULT AttachEditor(HWND parent) override;
  HRESULT CanProcessPrecision(int32_t bits) override;
  HRESULT GetLatency(int32_t* frames) override;
  HRESULT GetPrograms(std::vector<ProgramRecord>* programs) override;
  HRESULT GetNative(const void* selector, void** out) override;
  HRESULT GetParameterText(int32_t id, float value, BSTR* text) override;
  HRESULT FormatParameter(int32_t id, float value, char* text) override;
  HRESULT GetParameterDisplay(int32_t id, std::string* text, std::string* unit) override;
  HRESULT SetParameterText(int32_t id, const std::string& text, std::string* why) override;
  HRESULT PresetFileCmd(HWND owner, int32_t mode, std::vector<uint8_t>* bytes,
                        const std::filesystem::path* file) override;
  /// The silence flags the plug-in set on output bus `bus` in the last block: bit n for a
  /// silent channel n.
  uint64_t OutputSilence(size_t bus) const {
    return bus < outputBuses.size() ? outputBuses[bus].silenceFlags : 0;
  }

 protected:
  void StoreTiming(uint32_t state, int32_t rate, int64_t projectTime, int64_t systemTime,
                   int64_t continuousTime, float projectQuarters, float barStart, float cycleStart,
                   float cycleEnd, float tempo, int32_t numerator, int32_t denominator) override;
  void DeliverEvents() override;
  void ProcessBlock() override;
  HRESULT BuildBuffers(bool shared, BSTR* mappingName) override;
  void FreeFormatBuffers() override;

 private:
  // HostOwner
  void PerformEdit(vst3::ParamID id, vst3::ParamValue value) override;
  void SetDirty(bool dirty) override;
  void* OfferContextMenu(vst3::IPlugView* view, const vst3::ParamID* param) override;
  void ExecuteMenuItem(vst3::int32 tag) override;
  void ResizeView(vst3::IPlugView* view, vst3::ViewRect* rect) override;
  vst3::int32 InputEventCount() override;
  bool InputEvent(vst3::int32 index, vst3::Event& out) override;
  void OutputEvent(const vst3::Event& event) override;
  vst3::tresult QueryHostObjects(const vst3::TUID iid, void** obj) override;

  // PluginView, on the UI thread.
  bool PrepareView() override;
  bool AttachView(unsigned long window) override;
  bool ViewSize(int* width, int* height) override;
  void ViewPlaced(int width, int height) override;
  int IdleInterval() override { return 0; }
  void IdleView() override {}
  void DetachView() override;
  VST* Object() override { return this; }
  bool TakeCommand(unsigned command) override;
  void DropView();

  // Loading steps.
  HRESULT OpenFactory(const std::filesystem::path& path, void* moduleArg, void* entry);
  int32_t PickClass(int32_t classIndex, int32_t count);
  void ReadClassInfo(int32_t index);
  void CreateHostObjects();
  void ReleaseHostObjects();
  HRESULT CreateController();
  void ConnectController();
  void ReadBuses();
  void ReadUnitsAndPrograms();
  void ScanPresetFolders();
  HRESULT SetupProcessing();
  HRESULT LoadPresetImage(const std::vector<uint8_t>& bytes, bool checkClass);
  HRESULT LoadPresetFile(const std::filesystem::path& file);
  HRESULT ParameterToPlain(int32_t* program);
  void AppendMidiEvent(const MIDI& record);
  void AppendMidi2Event(const MIDI2& record);

  vst3::GetFactoryProc getPluginFactory = nullptr;
  bool initDllCalled = false;
  vst3::tresult lastResult = vst3::kResultOk;
  vst3::PFactoryInfo factoryInfo{};
  vst3::PClassInfo classInfo{};
  vst3::PClassInfo2 classInfo2{};
  vst3::Ref<vst3::IPluginFactory> factory;
  vst3::Ref<vst3::IPluginFactory2> factory2;
  vst3::Ref<vst3::IComponent> component;
  vst3::Ref<vst3::IEditController> controller;
  vst3::Ref<vst3::IEditController2> controller2;
  vst3::Ref<vst3::INoteExpressionController> noteExpression;
  vst3::Ref<vst3::IAudioProcessor> processor;
  vst3::Ref<vst3::IUnitInfo> unitInfo;
  vst3::Ref<vst3::IProgramListData> programListData;
  vst3::Ref<vst3::IPlugView> view;
  vst3::Ref<vst3::IConnectionPoint> componentConnection;
  vst3::Ref<vst3::IConnectionPoint> controllerConnection;
  std::vector<vst3::BusInfo> busInfos[4];  // audio in, audio out, event in, event out
  std::vector<vst3::AudioBusBuffers> inputBuses;
  std::vector<vst3::AudioBusBuffers> outputBuses;
  std::mutex pendingLock;
  std::vector<VST3_PC> pendingChanges;
  // Lets a block without changes skip the lock.
  std::atomic<bool> changesPending{false};
  vst3::ProcessData processData{};
  vst3::ProcessContext processContext{};
  std::vector<vst3::Event> inputEvents;
  bool processingSetUp = true;
  bool componentActive = false;
  vst3::ViewRect viewRect{};
  // Offered to the open view through the plug frame while the editor frame shows it.
  editor::RunLoop* runLoop = nullptr;

  vst3::MyHostApplication* hostApplication = nullptr;
  vst3::MyComponentHandler* componentHandler = nullptr;
  vst3::MyComponentHandler2* componentHandler2 = nullptr;
  vst3::MyComponentHandler3* componentHandler3 = nullptr;
  vst3::MyUnitHandler* unitHandler = nullptr;
  vst3::MyPlugFrame* plugFrame = nullptr;
  vst3::MyEventList* eventList = nullptr;
  vst3::MyParameterChanges* parameterChanges = nullptr;
};

}  // namespace plexar
