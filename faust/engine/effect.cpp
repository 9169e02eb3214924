// SPDX-License-Identifier: GPL-3.0-or-later
#include "faust/engine/effect.h"

#include <faust/dsp/dsp.h>

#include <algorithm>
#include <cstdlib>

#include "plexar/vst3/text16.h"

namespace faust_engine {

namespace {

constexpr int32 kPassThroughChannels = 2;
constexpr uint32 kInfiniteTail = 0xFFFFFFFF;

SpeakerArrangement ArrangementFor(int channels) {
  if (channels == 1) return kSpeakerArrMono;
  if (channels == 2) return kSpeakerArrStereo;
  return channels >= 64 ? ~SpeakerArrangement{0} : (SpeakerArrangement{1} << channels) - 1;
}

}  // namespace

FaustEffect::FaustEffect(std::shared_ptr<const Program> program) : program_(std::move(program)) {
  if (program_) {
    instance_ = program_->CreateInstance();
    if (instance_) {
      instance_->init(static_cast<int>(sampleRate_));
      controls_ = CollectControls(*instance_);
      ui_ = CollectUi(*instance_);
      inputs_ = instance_->getNumInputs();
      outputs_ = instance_->getNumOutputs();
    }
  }
  if (!instance_) inputs_ = outputs_ = kPassThroughChannels;
  values_ = std::make_unique<std::atomic<double>[]>(std::max<size_t>(controls_.size(), 1));
  meters_ = std::make_unique<std::atomic<float>[]>(std::max<size_t>(ui_.meterZones.size(), 1));
  KeepMeters();
  for (size_t i = 0; i < controls_.size(); ++i) {
    values_[i] = controls_[i].ToNormalized(controls_[i].init);
  }
  PrepareBuffers(4096);
}

FaustEffect::~FaustEffect() {
  if (handler_) handler_->release();
  Program::DeleteInstance(instance_);
}

void* FaustEffect::Extra(const TUID iid) {
  if (IPluginBase::iid.Matches(iid)) return static_cast<IPluginBase*>(static_cast<IComponent*>(this));
  return nullptr;
}

// Hosts may initialise a single-object plug-in once as component and once as controller.
tresult FaustEffect::initialize(FUnknown*) { return kResultOk; }
tresult FaustEffect::terminate() { return kResultOk; }
tresult FaustEffect::getControllerClassId(TUID) { return kNotImplemented; }
tresult FaustEffect::setIoMode(IoMode) { return kResultOk; }

int32 FaustEffect::getBusCount(MediaType type, BusDirection dir) {
  if (type != kAudio) return 0;
  return (dir == kInput ? inputs_ : outputs_) > 0 ? 1 : 0;
}

tresult FaustEffect::getBusInfo(MediaType type, BusDirection dir, int32 index, BusInfo& bus) {
  if (index != 0 || getBusCount(type, dir) == 0) return kInvalidArgument;
  bus = {};
  bus.mediaType = type;
  bus.direction = dir;
  bus.channelCount = dir == kInput ? inputs_ : outputs_;
  plexar::vst3::ToUtf16(dir == kInput ? "Input" : "Output", bus.name, 128);
  bus.busType = kMain;
  bus.flags = BusInfo::kDefaultActive;
  return kResultOk;
}

tresult FaustEffect::getRoutingInfo(RoutingInfo&, RoutingInfo&) { return kNotImplemented; }

tresult FaustEffect::activateBus(MediaType type, BusDirection dir, int32 index, TBool) {
  return index == 0 && getBusCount(type, dir) == 1 ? kResultOk : kInvalidArgument;
}

tresult FaustEffect::setActive(TBool state) {
  if (state && instance_) {
    // A fresh start: delay lines and filters forget the last run, controls keep their values.
    instance_->instanceClear();
    WriteZones();
  }
  return kResultOk;
}

tresult FaustEffect::setBusArrangements(SpeakerArrangement* ins, int32 numIns,
                                        SpeakerArrangement* outs, int32 numOuts) {
  const int32 wantIns = inputs_ > 0 ? 1 : 0, wantOuts = outputs_ > 0 ? 1 : 0;
  if (numIns != wantIns || numOuts != wantOuts) return kResultFalse;
  if (wantIns && (!ins || ins[0] != ArrangementFor(inputs_))) return kResultFalse;
  if (wantOuts && (!outs || outs[0] != ArrangementFor(outputs_))) return kResultFalse;
  return kResultOk;
}

tresult FaustEffect::getBusArrangement(BusDirection dir, int32 index, SpeakerArrangement& arr) {
  if (index != 0 || getBusCount(kAudio, dir) == 0) return kInvalidArgument;
  arr = ArrangementFor(dir == kInput ? inputs_ : outputs_);
  return kResultOk;
}

tresult FaustEffect::canProcessSampleSize(int32 size) {
  return size == kSample32 || size == kSample64 ? kResultOk : kResultFalse;
}

uint32 FaustEffect::getLatencySamples() { return 0; }

// A Faust program cannot say how long it rings on, so hosts must not cut it off early.
uint32 FaustEffect::getTailSamples() { return instance_ ? kInfiniteTail : 0; }

// Faust programs know no transport, tempo or time: they need nothing of the context.
uint32 FaustEffect::getProcessContextRequirements() { return 0; }

tresult FaustEffect::setupProcessing(ProcessSetup& setup) {
  if (setup.symbolicSampleSize != kSample32 && setup.symbolicSampleSize != kSample64) {
    return kResultFalse;
  }
  if (setup.maxSamplesPerBlock < 1 || !(setup.sampleRate > 0)) return kInvalidArgument;
  sampleSize_ = setup.symbolicSampleSize;
  sampleRate_ = setup.sampleRate;
  PrepareBuffers(setup.maxSamplesPerBlock);
  if (instance_) {
    instance_->init(static_cast<int>(sampleRate_));
    WriteZones();
  }
  return kResultOk;
}

tresult FaustEffect::setProcessing(TBool) { return kResultOk; }

void FaustEffect::PrepareBuffers(int32 maxFrames) {
  maxFrames_ = maxFrames;
  // One block per channel for the 64-bit path, plus one silent input and one spare output.
  const size_t channels = static_cast<size_t>(inputs_ + outputs_ + 2);
  scratch_.assign(channels * static_cast<size_t>(maxFrames), 0.0f);
  inPointers_.assign(static_cast<size_t>(std::max(inputs_, 1)), nullptr);
  outPointers_.assign(static_cast<size_t>(std::max(outputs_, 1)), nullptr);
}

void FaustEffect::WriteZones() {
  for (size_t i = 0; i < controls_.size(); ++i) {
    *controls_[i].zone = static_cast<float>(controls_[i].ToPlain(values_[i].load()));
  }
}

}  // namespace faust_engine
