// SPDX-License-Identifier: GPL-3.0-or-later
// The module's VST 3 factory and entry points: one effect class, named after the program it
// will run.
#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "faust/engine/effect.h"
#include "faust/engine/engine_state.h"
#include "faust/engine/faust_exports.h"
#include "plexar/vst3/text16.h"

namespace faust_engine {

namespace {

/// Copies text into a fixed char field, cut to fit and always terminated.
void CopyField(char* field, size_t size, const std::string& text) {
  size_t n = std::min(text.size(), size - 1);
  std::memcpy(field, text.data(), n);
  field[n] = 0;
}

constexpr char kVendor[] = "Tessary";
constexpr char kUrl[] = "https://github.com/tessary";
constexpr char kSdkVersion[] = "VST 3.7.9";
// The class id when no program is installed.
constexpr Uid kPassThroughId = MakeUid(0x54657373, 0x61727946, 0x61757374, 0x456E6769);

struct ClassFacts {
  std::shared_ptr<const Program> program;
  Uid cid;
  std::string name;
};

ClassFacts CurrentClass() {
  ClassFacts facts{CurrentProgram(), kPassThroughId, kDefaultName};
  if (facts.program) facts.cid = facts.program->cid, facts.name = facts.program->name;
  return facts;
}

class Factory final : public ComObject<IPluginFactory3> {
 public:
  tresult getFactoryInfo(PFactoryInfo* info) override {
    if (!info) return kInvalidArgument;
    *info = {};
    CopyField(info->vendor, sizeof info->vendor, kVendor);
    CopyField(info->url, sizeof info->url, kUrl);
    info->flags = PFactoryInfo::kUnicode;
    return kResultOk;
  }
  // A bundle whose code no longer compiles offers nothing rather than a silent pass-through.
  int32 countClasses() override { return IsBundle() && !CurrentProgram() ? 0 : 1; }
  tresult getClassInfo(int32 index, PClassInfo* info) override {
    if (!info || index != 0 || countClasses() == 0) return kInvalidArgument;
    ClassFacts facts = CurrentClass();
    *info = {};
    std::memcpy(info->cid, facts.cid.bytes, 16);
    info->cardinality = PClassInfo::kManyInstances;
    CopyField(info->category, sizeof info->category, kVstAudioEffectClass);
    CopyField(info->name, sizeof info->name, facts.name);
    return kResultOk;
  }
  tresult getClassInfo2(int32 index, PClassInfo2* info) override {
    PClassInfo basic{};
    if (!info || getClassInfo(index, &basic) != kResultOk) return kInvalidArgument;
    *info = {};
    std::memcpy(info->cid, basic.cid, 16);
    info->cardinality = basic.cardinality;
    CopyField(info->category, sizeof info->category, basic.category);
    CopyField(info->name, sizeof info->name, basic.name);
    CopyField(info->subCategories, sizeof info->subCategories, "Fx");
    CopyField(info->vendor, sizeof info->vendor, kVendor);
    CopyField(info->version, sizeof info->version, "1.0.0");
    CopyField(info->sdkVersion, sizeof info->sdkVersion, kSdkVersion);
    return kResultOk;
  }
  tresult getClassInfoUnicode(int32 index, PClassInfoW* info) override {
    PClassInfo2 narrow{};
    if (!info || getClassInfo2(index, &narrow) != kResultOk) return kInvalidArgument;
    *info = {};
    std::memcpy(info->cid, narrow.cid, 16);
    info->cardinality = narrow.cardinality;
    CopyField(info->category, sizeof info->category, narrow.category);
    plexar::vst3::ToUtf16(CurrentClass().name, info->name, PClassInfo::kNameSize);
    CopyField(info->subCategories, sizeof info->subCategories, narrow.subCategories);
    plexar::vst3::ToUtf16(kVendor, info->vendor, PClassInfo2::kVendorSize);
    plexar::vst3::ToUtf16("1.0.0", info->version, PClassInfo2::kVersionSize);
    plexar::vst3::ToUtf16(kSdkVersion, info->sdkVersion, PClassInfo2::kVersionSize);
    return kResultOk;
  }
  tresult setHostContext(FUnknown*) override { return kResultOk; }
  tresult createInstance(FIDString cid, FIDString iid, void** obj) override {
    if (!obj) return kInvalidArgument;
    *obj = nullptr;
    ClassFacts facts = CurrentClass();
    if (countClasses() == 0 || !(facts.cid.Matches(cid) || kPassThroughId.Matches(cid))) {
      return kNoInterface;
    }
    auto* effect = new (std::nothrow) FaustEffect(facts.program);
    if (!effect) return kOutOfMemory;
    tresult result = effect->queryInterface(iid, obj);
    effect->release();
    return result;
  }

 protected:
  void* Extra(const TUID iid) override {
    if (IPluginFactory::iid.Matches(iid)) return static_cast<IPluginFactory*>(this);
    if (IPluginFactory2::iid.Matches(iid)) return static_cast<IPluginFactory2*>(this);
    return nullptr;
  }
};

}  // namespace

}  // namespace faust_engine

#define FAUST_ENGINE_EXPORT extern "C" __attribute__((visibility("default")))

FAUST_ENGINE_EXPORT plexar::vst3::IPluginFactory* GetPluginFactory() {
  return new (std::nothrow) faust_engine::Factory();
}

FAUST_ENGINE_EXPORT bool ModuleEntry(void*) {
  faust_engine::EnterModule();
  return true;
}

FAUST_ENGINE_EXPORT bool ModuleExit() {
  faust_engine::ExitModule();
  return true;
}
