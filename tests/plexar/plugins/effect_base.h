// SPDX-License-Identifier: GPL-3.0-or-later
// The processing half shared by the test plug-ins: buses, a gain state, parameter changes,
// events, and the test record.
#pragma once

#include "plugin_kit.h"

namespace plexar::testplug {

struct BusSpec {
  MediaType type;
  BusDirection dir;
  int32 channels;
  const char* name;
  BusType busType = kMain;
};

inline constexpr ParamID kGainId = 0;

/// Component and audio processor; `More` adds further interfaces (a controller for
/// single-object plug-ins).
template <class... More>
class ComponentBase : public Object<IComponent, IAudioProcessor, ITestProbe, More...> {
 public:
  explicit ComponentBase(std::vector<BusSpec> buses) : buses_(std::move(buses)) {}

  tresult initialize(FUnknown* context) override {
    ++record_.initializeCalls;
    if (auto* app = Query<IHostApplication>(context)) {
      String128 name{};
      app->getName(name);
      record_.hostNameTarnwick = std::u16string(name) == u"Tarnwick";
      app->release();
    }
    host_ = context;
    return kResultOk;
  }
  tresult terminate() override {
    ++record_.terminateCalls;
    host_ = nullptr;
    return kResultOk;
  }
  tresult getControllerClassId(TUID) override { return kNotImplemented; }
  tresult setIoMode(IoMode) override { return kResultOk; }
  int32 getBusCount(MediaType type, BusDirection dir) override {
    int32 n = 0;
    for (const auto& b : buses_) n += b.type == type && b.dir == dir;
    return n;
  }
  tresult getBusInfo(MediaType type, BusDirection dir, int32 index, BusInfo& bus) override {
    const BusSpec* wanted = Bus(type, dir, index);
    if (!wanted) return kInvalidArgument;
    bus = {};
    bus.mediaType = type;
    bus.direction = dir;
    bus.channelCount = wanted->channels;
    CopyText16(bus.name, 128, wanted->name);
    bus.busType = wanted->busType;
    bus.flags = BusInfo::kDefaultActive;
    return kResultOk;
  }
  tresult getRoutingInfo(RoutingInfo&, RoutingInfo&) override { return kNotImplemented; }
  tresult activateBus(MediaType, BusDirection, int32, TBool) override { return kResultOk; }
  tresult setActive(TBool state) override {
    if (state) ++record_.activeCalls;
    return kResultOk;
  }
  tresult setState(IBStream* state) override {
    double g = 0;
    if (!ReadDouble(state, &g)) return kResultFalse;
    gain_ = g;
    return kResultOk;
  }
  tresult getState(IBStream* state) override { return WriteDouble(state, gain_) ? kResultOk : kResultFalse; }

  tresult setBusArrangements(SpeakerArrangement*, int32, SpeakerArrangement*, int32) override {
    return kResultFalse;
  }
  tresult getBusArrangement(BusDirection, int32, SpeakerArrangement&) override { return kResultFalse; }
  tresult canProcessSampleSize(int32 size) override { return size == kSample32 ? kResultOk : kResultFalse; }
  uint32 getLatencySamples() override { return 7; }
  tresult setupProcessing(ProcessSetup& setup) override {
    ++record_.setupCalls;
    record_.lastSetup = setup;
    return kResultOk;
  }
  tresult setProcessing(TBool state) override {
    if (state) ++record_.processingCalls;
    return kResultOk;
  }
  tresult process(ProcessData& data) override {
    ++record_.processCalls;
    record_.lastContextNull = data.processContext == nullptr;
    if (data.processContext) record_.lastTempo = data.processContext->tempo;
    ReadChanges(data.inputParameterChanges);
    ReadEvents(data);
    Render(data);
    return kResultOk;
  }
  uint32 getTailSamples() override {
    ++record_.tailCalls;
    return 0;
  }
  TestRecord* Record() override { return &record_; }
  void Poke(int32) override {}

 protected:
  template <class J>
  static J* Query(FUnknown* from) {
    void* out = nullptr;
    if (!from || from->queryInterface(J::iid.data(), &out) != kResultOk) return nullptr;
    return static_cast<J*>(out);
  }

  const BusSpec* Bus(MediaType type, BusDirection dir, int32 index) const {
    for (const auto& b : buses_) {
      if (b.type == type && b.dir == dir && index-- == 0) return &b;
    }
    return nullptr;
  }

  void ReadChanges(IParameterChanges* changes) {
    if (!changes || changes->getParameterCount() == 0) return;
    ++record_.parameterChangeBlocks;
    for (int32 i = 0; i < changes->getParameterCount(); ++i) {
      IParamValueQueue* queue = changes->getParameterData(i);
      int32 offset = 0;
      double value = 0;
      if (queue && queue->getPoint(queue->getPointCount() - 1, offset, value) == kResultOk) {
        record_.lastChangeValue = value;
        if (queue->getParameterId() == kGainId) gain_ = value;
      }
    }
  }

  virtual void ReadEvents(ProcessData& data) {
    if (!data.inputEvents) return;
    for (int32 i = 0; i < data.inputEvents->getEventCount(); ++i) {
      Event e{};
      if (data.inputEvents->getEvent(i, e) == kResultOk) record_.events.push_back(e);
    }
    Event past{};
    record_.pastEndRefused =
        data.inputEvents->getEvent(data.inputEvents->getEventCount(), past) != kResultOk;
  }

  // Main input plus the first channel of a side-chain bus, times twice the gain.
  virtual void Render(ProcessData& data) {
    for (int32 b = 0; b < data.numOutputs; ++b) {
      AudioBusBuffers& out = data.outputs[b];
      for (int32 c = 0; c < out.numChannels; ++c) {
        for (int32 s = 0; s < data.numSamples; ++s) {
          float in = 0;
          if (data.numInputs > 0 && c < data.inputs[0].numChannels) in = data.inputs[0].channelBuffers32[c][s];
          if (data.numInputs > 1 && data.inputs[1].numChannels > 0) in += data.inputs[1].channelBuffers32[0][s];
          out.channelBuffers32[c][s] = static_cast<float>(in * gain_ * 2);
        }
      }
    }
  }

  std::vector<BusSpec> buses_;
  TestRecord record_;
  FUnknown* host_ = nullptr;
  double gain_ = 0.5;
};

}  // namespace plexar::testplug
