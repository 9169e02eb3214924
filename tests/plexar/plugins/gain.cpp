// SPDX-License-Identifier: GPL-3.0-or-later
// Test module: a stereo gain effect with a mono side-chain, one object that is its own
// controller. Its "Fx" category hides the event input it declares.
#include <cstdio>
#include <string>

#include "effect_base.h"

namespace plexar::testplug {
namespace {

constexpr Uid kGainCid = MakeUid(0x6A1F0001, 0x11112222, 0x33334444, 0x55556666);

class Gain final : public ComponentBase<IEditController> {
 public:
  Gain()
      : ComponentBase({{kAudio, kInput, 2, "Main In"},
                       {kAudio, kInput, 1, "Side", kAux},
                       {kAudio, kOutput, 2, "Main Out"},
                       {kEvent, kInput, 1, "MIDI In"}}) {}

  tresult setComponentState(IBStream* state) override {
    double g = 0;
    ++record_.componentStates;
    if (!ReadDouble(state, &g)) return kResultFalse;
    record_.componentStateGain = g;
    return kResultOk;
  }
  int32 getParameterCount() override { return 1; }
  tresult getParameterInfo(int32 index, ParameterInfo& info) override {
    return ParamSet({{kGainId, "Gain", "G", gain_}}).Info(index, info);
  }
  tresult getParamStringByValue(ParamID id, ParamValue v, String128 text) override {
    if (id != kGainId) return kInvalidArgument;
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.2f x", v * 2);
    CopyText16(text, 128, buffer);
    return kResultOk;
  }
  // Reads a factor from 0 to 2 ("1.5" or "1.5 x"); refuses anything beyond.
  tresult getParamValueByString(ParamID id, TChar* text, ParamValue& v) override {
    if (id != kGainId || !text) return kInvalidArgument;
    char narrow[128] = {};
    for (int k = 0; k < 127 && text[k]; ++k) narrow[k] = static_cast<char>(text[k]);
    double factor = 0;
    char rest[8] = {};
    const int read = std::sscanf(narrow, "%lf %7s", &factor, rest);
    if (read < 1 || (read == 2 && std::string(rest) != "x") || factor < 0 || factor > 2) return kResultFalse;
    v = factor / 2;
    return kResultOk;
  }
  ParamValue normalizedParamToPlain(ParamID, ParamValue v) override { return v; }
  ParamValue plainParamToNormalized(ParamID, ParamValue v) override { return v; }
  ParamValue getParamNormalized(ParamID id) override { return id == kGainId ? gain_ : 0; }
  tresult setParamNormalized(ParamID id, ParamValue v) override {
    if (id != kGainId) return kInvalidArgument;
    controllerGain_ = v;
    return kResultOk;
  }
  tresult setComponentHandler(IComponentHandler*) override { return kResultOk; }
  IPlugView* createView(FIDString) override { return nullptr; }

 private:
  double controllerGain_ = 0.5;
};

// A variant names itself in Unicode alone, through a factory without 8-bit class records.
#ifndef TESTPLUG_CLASS_NAME
#define TESTPLUG_CLASS_NAME "TessaryGain"
#endif
#ifndef TESTPLUG_UNICODE_ONLY
#define TESTPLUG_UNICODE_ONLY false
#endif

IPluginFactory* MakeFactory() {
  return new Factory(TESTPLUG_VENDOR,
                     {{kGainCid, kVstAudioEffectClass, TESTPLUG_CLASS_NAME, "Fx|Dynamics", "VST 3.7.14",
                       [] { return static_cast<IComponent*>(new Gain); }}},
                     TESTPLUG_UNICODE_ONLY);
}

}  // namespace
}  // namespace plexar::testplug

TESTPLUG_EXPORTS(plexar::testplug::MakeFactory)
