// SPDX-License-Identifier: GPL-3.0-or-later
// The plug-in object: component, audio processor and edit controller in one, running one
// compiled program (or passing stereo audio through when none was installed).
#pragma once

#include <array>
#include <atomic>
#include <memory>
#include <vector>

#include "faust/engine/controls.h"
#include "faust/engine/editor_model.h"
#include "faust/engine/program.h"
#include "faust/engine/ui_tree.h"
#include "plexar/vst3/com_object.h"
#include "plexar/vst3/controller.h"
#include "plexar/vst3/host_interfaces.h"

namespace faust_engine {

using namespace plexar::vst3;

class FaustEffect final
    : public ComObject<IComponent, IAudioProcessor, IEditController, IProcessContextRequirements>,
      private EditorModel {
 public:
  /// The bypass switch hosts expect of an effect, after the program's own controls; far
  /// above their ids, so a program with more controls keeps it.
  static constexpr ParamID kBypassId = 0x7FFFFFFF;

  explicit FaustEffect(std::shared_ptr<const Program> program);

  // IPluginBase
  tresult initialize(FUnknown* context) override;
  tresult terminate() override;
  // IComponent
  tresult getControllerClassId(TUID classId) override;
  tresult setIoMode(IoMode mode) override;
  int32 getBusCount(MediaType type, BusDirection dir) override;
  tresult getBusInfo(MediaType type, BusDirection dir, int32 index, BusInfo& bus) override;
  tresult getRoutingInfo(RoutingInfo& in, RoutingInfo& out) override;
  tresult activateBus(MediaType type, BusDirection dir, int32 index, TBool state) override;
  tresult setActive(TBool state) override;
  // IComponent and IEditController both declare these; being one object, both states are the
  // parameter values.
  tresult setState(IBStream* state) override;
  tresult getState(IBStream* state) override;
  // IAudioProcessor
  tresult setBusArrangements(SpeakerArrangement* inputs, int32 numIns,
                             SpeakerArrangement* outputs, int32 numOuts) override;
  tresult getBusArrangement(BusDirection dir, int32 index, SpeakerArrangement& arr) override;
  tresult canProcessSampleSize(int32 size) override;
  uint32 getLatencySamples() override;
  tresult setupProcessing(ProcessSetup& setup) override;
  tresult setProcessing(TBool state) override;
  tresult process(ProcessData& data) override;
  uint32 getTailSamples() override;
  // IProcessContextRequirements
  uint32 getProcessContextRequirements() override;
  // IEditController
  tresult setComponentState(IBStream* state) override;
  int32 getParameterCount() override;
  tresult getParameterInfo(int32 index, ParameterInfo& info) override;
  tresult getParamStringByValue(ParamID id, ParamValue normalized, String128 text) override;
  tresult getParamValueByString(ParamID id, TChar* text, ParamValue& normalized) override;
  ParamValue normalizedParamToPlain(ParamID id, ParamValue normalized) override;
  ParamValue plainParamToNormalized(ParamID id, ParamValue plain) override;
  ParamValue getParamNormalized(ParamID id) override;
  tresult setParamNormalized(ParamID id, ParamValue value) override;
  tresult setComponentHandler(IComponentHandler* handler) override;
  IPlugView* createView(FIDString name) override;

 protected:
  ~FaustEffect() override;
  void* Extra(const TUID iid) override;

 private:
  const Control* Find(ParamID id) const;
  void PrepareBuffers(int32 maxFrames);
  void WriteZones();
  int32 ApplyChanges(IParameterChanges* changes, int32 until, int32 frames);
  void Render(ProcessData& data, int32 offset, int32 frames);
  void RenderFloat(ProcessData& data, int32 offset, int32 frames);
  void RenderDouble(ProcessData& data, int32 offset, int32 frames);
  void PassThrough(ProcessData& data, int32 offset, int32 frames);
  void MarkSilence(ProcessData& data, int32 frames);
  bool Bypassed() const { return bypass_.load() >= 0.5; }
  void KeepMeters();
  // EditorModel
  const UiTree& Interface() const override { return ui_; }
  double ControlValue(int param) override;
  std::string ControlText(int param, double normalized) override;
  double ToNormalized(int param, double plain) override;
  double ToPlain(int param, double normalized) override;
  void BeginEdit(int param) override;
  void Edit(int param, double normalized) override;
  void EndEdit(int param) override;
  double MeterValue(int meter) override;
  void Hold() override { addRef(); }
  void LetGo() override { release(); }

  std::shared_ptr<const Program> program_;
  dsp* instance_ = nullptr;
  std::vector<Control> controls_;
  UiTree ui_;
  // The bargraphs as the audio thread last left them, for the editor.
  std::unique_ptr<std::atomic<float>[]> meters_;
  IComponentHandler* handler_ = nullptr;
  // Normalised values, set from any thread, written into the zones by the audio thread.
  std::unique_ptr<std::atomic<double>[]> values_;
  std::atomic<bool> valuesChanged_{false};
  std::atomic<double> bypass_{0.0};  // normalised: 1 passes the input through
  int inputs_ = 2, outputs_ = 2;
  int32 sampleSize_ = kSample32;
  int32 maxFrames_ = 0;
  double sampleRate_ = 48000;
  // Scratch for 64-bit processing and for channels the host did not supply.
  std::vector<float> scratch_;
  std::vector<float*> inPointers_, outPointers_;
  static constexpr int32 kMaxQueues = 256;
  std::array<int32, kMaxQueues> cursors_{};
};

}  // namespace faust_engine
