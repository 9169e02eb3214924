// SPDX-License-Identifier: GPL-3.0-or-later
// A minimal plug-in framework on the VST 3 declarations, for the test modules.
#pragma once

#include <atomic>
#include <cstring>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "plexar/vst3/com_object.h"
#include "plexar/vst3/host_interfaces.h"
#include "test_probe.h"

// Some vendors get special treatment from the host; variants of a module are built with theirs.
#ifndef TESTPLUG_VENDOR
#define TESTPLUG_VENDOR "Tessary Tests"
#endif

namespace plexar::testplug {

inline void CopyText(char* field, size_t size, const char* text) {
  std::strncpy(field, text, size - 1);
  field[size - 1] = 0;
}

inline void CopyText16(char16* field, size_t units, const char* ascii) {
  size_t i = 0;
  for (; ascii[i] && i + 1 < units; ++i) field[i] = static_cast<char16>(ascii[i]);
  field[i] = 0;
}

// UTF-8 (characters of the Basic Multilingual Plane) into a UTF-16 field.
inline void CopyUtf8To16(char16* field, size_t units, const char* utf8) {
  size_t out = 0;
  for (const auto* p = reinterpret_cast<const unsigned char*>(utf8); *p && out + 1 < units;) {
    char32_t c = *p++;
    int more = c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    c &= more == 2 ? 0x0F : more == 1 ? 0x1F : 0x7F;
    for (; more > 0 && *p; --more) c = (c << 6) | (*p++ & 0x3F);
    field[out++] = static_cast<char16>(c);
  }
  field[out] = 0;
}

/// Reference count and queryInterface over a list of interfaces the object derives from.
template <class... I>
using Object = ComObject<I...>;

struct ClassEntry {
  Uid cid;
  const char* category;
  const char* name;
  const char* subCategories;
  const char* sdkVersion;
  std::function<FUnknown*()> create;  // returns the object with one reference
};

class Factory final : public Object<IPluginFactory3> {
 public:
  /// `unicodeOnly`: the classes are described through getClassInfoUnicode alone, as some
  /// factories do; the 8-bit calls answer kResultFalse with a zeroed record.
  Factory(const char* vendor, std::vector<ClassEntry> classes, bool unicodeOnly = false)
      : vendor_(vendor), classes_(std::move(classes)), unicodeOnly_(unicodeOnly) {}

  tresult getFactoryInfo(PFactoryInfo* info) override {
    *info = {};
    if (!unicodeOnly_) CopyText(info->vendor, sizeof info->vendor, vendor_);
    CopyText(info->url, sizeof info->url, "https://example.org/tessary");
    info->flags = PFactoryInfo::kUnicode;
    return kResultOk;
  }
  int32 countClasses() override { return static_cast<int32>(classes_.size()); }
  tresult getClassInfo(int32 index, PClassInfo* info) override {
    if (index < 0 || index >= countClasses()) return kInvalidArgument;
    const auto& c = classes_[static_cast<size_t>(index)];
    *info = {};
    if (unicodeOnly_) return kResultFalse;
    std::memcpy(info->cid, c.cid.bytes, 16);
    info->cardinality = PClassInfo::kManyInstances;
    CopyText(info->category, sizeof info->category, c.category);
    CopyText(info->name, sizeof info->name, c.name);
    return kResultOk;
  }
  tresult getClassInfo2(int32 index, PClassInfo2* info) override {
    if (index < 0 || index >= countClasses()) return kInvalidArgument;
    const auto& c = classes_[static_cast<size_t>(index)];
    *info = {};
    if (unicodeOnly_) return kResultFalse;
    std::memcpy(info->cid, c.cid.bytes, 16);
    info->cardinality = PClassInfo::kManyInstances;
    CopyText(info->category, sizeof info->category, c.category);
    CopyText(info->name, sizeof info->name, c.name);
    CopyText(info->subCategories, sizeof info->subCategories, c.subCategories);
    CopyText(info->version, sizeof info->version, "1.0.0");
    CopyText(info->sdkVersion, sizeof info->sdkVersion, c.sdkVersion);
    return kResultOk;
  }
  tresult getClassInfoUnicode(int32 index, PClassInfoW* info) override {
    if (index < 0 || index >= countClasses()) return kInvalidArgument;
    const auto& c = classes_[static_cast<size_t>(index)];
    *info = {};
    std::memcpy(info->cid, c.cid.bytes, 16);
    info->cardinality = PClassInfo::kManyInstances;
    CopyText(info->category, sizeof info->category, c.category);
    CopyUtf8To16(info->name, PClassInfo::kNameSize, c.name);
    CopyText(info->subCategories, sizeof info->subCategories, c.subCategories);
    CopyUtf8To16(info->vendor, PClassInfo2::kVendorSize, vendor_);
    CopyText16(info->version, PClassInfo2::kVersionSize, "1.0.0");
    CopyText16(info->sdkVersion, PClassInfo2::kVersionSize, c.sdkVersion);
    return kResultOk;
  }
  tresult setHostContext(FUnknown*) override { return kResultOk; }
  void* Extra(const TUID iid) override {
    if (IPluginFactory::iid.Matches(iid)) return static_cast<IPluginFactory*>(this);
    return IPluginFactory2::iid.Matches(iid) ? static_cast<IPluginFactory2*>(this) : nullptr;
  }
  tresult createInstance(FIDString cid, FIDString iid, void** obj) override {
    *obj = nullptr;
    for (const auto& c : classes_) {
      if (!c.cid.Matches(cid)) continue;
      FUnknown* made = c.create();
      tresult r = made->queryInterface(iid, obj);
      made->release();
      return r;
    }
    return kNoInterface;
  }

 private:
  const char* vendor_;
  std::vector<ClassEntry> classes_;
  bool unicodeOnly_;
};

/// One parameter of a test plug-in.
struct Param {
  ParamID id;
  const char* title;
  const char* shortTitle;
  double value;
  int32 stepCount = 0;
  int32 flags = ParameterInfo::kCanAutomate;
};

/// Parameter bookkeeping for a controller.
class ParamSet {
 public:
  explicit ParamSet(std::vector<Param> params) : params_(std::move(params)) {}
  int32 Count() const { return static_cast<int32>(params_.size()); }
  tresult Info(int32 index, ParameterInfo& info) const {
    if (index < 0 || index >= Count()) return kInvalidArgument;
    const Param& p = params_[static_cast<size_t>(index)];
    info = {};
    info.id = p.id;
    CopyText16(info.title, 128, p.title);
    CopyText16(info.shortTitle, 128, p.shortTitle);
    info.stepCount = p.stepCount;
    info.defaultNormalizedValue = p.value;
    info.flags = p.flags;
    return kResultOk;
  }
  Param* Find(ParamID id) {
    for (auto& p : params_) {
      if (p.id == id) return &p;
    }
    return nullptr;
  }
  double Get(ParamID id) { Param* p = Find(id); return p ? p->value : 0; }
  tresult Set(ParamID id, double v) {
    Param* p = Find(id);
    if (!p) return kInvalidArgument;
    p->value = v;
    return kResultOk;
  }
  double ToPlain(ParamID id, double v) { Param* p = Find(id); return p && p->stepCount ? v * p->stepCount : v; }
  double ToNormalized(ParamID id, double v) { Param* p = Find(id); return p && p->stepCount ? v / p->stepCount : v; }

 private:
  std::vector<Param> params_;
};

inline bool ReadDouble(IBStream* s, double* v) {
  int32 got = 0;
  return s && s->read(v, 8, &got) == kResultOk && got == 8;
}
inline bool WriteDouble(IBStream* s, double v) {
  int32 put = 0;
  return s && s->write(&v, 8, &put) == kResultOk && put == 8;
}

}  // namespace plexar::testplug

/// The three entry points of a Linux VST 3 module.
#define TESTPLUG_EXPORTS(makeFactory)                                                      \
  extern "C" __attribute__((visibility("default"))) plexar::vst3::IPluginFactory*         \
  GetPluginFactory() { return makeFactory(); }                                            \
  extern "C" __attribute__((visibility("default"))) bool ModuleEntry(void*) { return true; } \
  extern "C" __attribute__((visibility("default"))) bool ModuleExit() { return true; }
