// SPDX-License-Identifier: GPL-3.0-or-later
// Test module: an effect with two units, one program list of three programs and a
// program-change parameter.
#include "effect_base.h"

namespace plexar::testplug {
namespace {

constexpr Uid kUnitsCid = MakeUid(0x0717A001, 0xAAAABBBB, 0xCCCCDDDD, 0xEEEEFFFF);
constexpr ParamID kProgramId = 1;
constexpr ProgramListID kListId = 77;
const char* const kPrograms[] = {"Init", "Bright", "Dark"};

class Units final : public ComponentBase<IEditController, IUnitInfo> {
 public:
  Units() : ComponentBase({{kAudio, kInput, 2, "In"}, {kAudio, kOutput, 2, "Out"}}) {}

  tresult setComponentState(IBStream*) override { return kResultOk; }
  int32 getParameterCount() override { return params_.Count(); }
  tresult getParameterInfo(int32 index, ParameterInfo& info) override { return params_.Info(index, info); }
  tresult getParamStringByValue(ParamID, ParamValue, String128) override { return kResultFalse; }
  tresult getParamValueByString(ParamID, TChar*, ParamValue&) override { return kNotImplemented; }
  ParamValue normalizedParamToPlain(ParamID id, ParamValue v) override { return params_.ToPlain(id, v); }
  ParamValue plainParamToNormalized(ParamID id, ParamValue v) override { return params_.ToNormalized(id, v); }
  ParamValue getParamNormalized(ParamID id) override { return params_.Get(id); }
  tresult setParamNormalized(ParamID id, ParamValue v) override { return params_.Set(id, v); }
  tresult setComponentHandler(IComponentHandler*) override { return kResultOk; }
  IPlugView* createView(FIDString) override { return nullptr; }

  int32 getUnitCount() override { return 2; }
  tresult getUnitInfo(int32 index, UnitInfo& info) override {
    if (index < 0 || index > 1) return kInvalidArgument;
    info = {};
    info.id = index;
    info.parentUnitId = index == 0 ? kNoParentUnitId : kRootUnitId;
    info.programListId = index == 0 ? kListId : kNoProgramListId;
    CopyText16(info.name, 128, index == 0 ? "Root" : "Drums");
    return kResultOk;
  }
  int32 getProgramListCount() override { return 1; }
  tresult getProgramListInfo(int32 index, ProgramListInfo& info) override {
    if (index != 0) return kInvalidArgument;
    info = {};
    info.id = kListId;
    CopyText16(info.name, 128, "Factory");
    info.programCount = 3;
    return kResultOk;
  }
  tresult getProgramName(ProgramListID list, int32 index, String128 name) override {
    if (list != kListId || index < 0 || index > 2) return kInvalidArgument;
    CopyText16(name, 128, kPrograms[index]);
    return kResultOk;
  }
  tresult getProgramInfo(ProgramListID, int32, CString, String128) override { return kNotImplemented; }
  tresult hasProgramPitchNames(ProgramListID, int32) override { return kResultFalse; }
  tresult getProgramPitchName(ProgramListID, int32, int16, String128) override { return kResultFalse; }
  UnitID getSelectedUnit() override { return selected_; }
  tresult selectUnit(UnitID id) override {
    if (id < 0 || id > 1) return kInvalidArgument;
    selected_ = id;
    return kResultOk;
  }
  tresult getUnitByBus(MediaType, BusDirection, int32, int32, UnitID&) override { return kNotImplemented; }
  tresult setUnitProgramData(int32, int32, IBStream*) override { return kNotImplemented; }

 private:
  ParamSet params_{{{kGainId, "Gain", "G", 0.5},
                    {kProgramId, "Program", "Prg", 0.0, 2,
                     ParameterInfo::kIsProgramChange | ParameterInfo::kIsList}}};
  UnitID selected_ = -5;
};

IPluginFactory* MakeFactory() {
  return new Factory("Tessary Tests",
                     {{kUnitsCid, kVstAudioEffectClass, "TessaryUnits", "Fx|Tools", "VST 3.6.0",
                       [] { return static_cast<IComponent*>(new Units); }}});
}

}  // namespace
}  // namespace plexar::testplug

TESTPLUG_EXPORTS(plexar::testplug::MakeFactory)
