// SPDX-License-Identifier: GPL-3.0-or-later
// The controller's side of the plug-in object: parameters, their texts and the state.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <vector>

#include "faust/engine/effect.h"
#include "plexar/vst3/text16.h"

namespace faust_engine {

namespace {

// State: this tag, the number of values, then each parameter's id and normalised value.
constexpr char kStateTag[4] = {'T', 'F', 'X', '1'};
constexpr uint32 kMaxStateValues = 100000;

bool ReadExactly(IBStream* stream, void* into, int32 bytes) {
  int32 got = 0;
  return stream->read(into, bytes, &got) == kResultOk && got == bytes;
}

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool SameWord(const std::string& a, const std::string& b) {
  return a.size() == b.size() && strncasecmp(a.c_str(), b.c_str(), a.size()) == 0;
}

bool WriteExactly(IBStream* stream, const void* from, int32 bytes) {
  int32 put = 0;
  return stream->write(const_cast<void*>(from), bytes, &put) == kResultOk && put == bytes;
}

}  // namespace

const Control* FaustEffect::Find(ParamID id) const {
  return id < controls_.size() ? &controls_[id] : nullptr;
}

int32 FaustEffect::getParameterCount() { return static_cast<int32>(controls_.size()) + 1; }

tresult FaustEffect::getParameterInfo(int32 index, ParameterInfo& info) {
  if (index >= 0 && static_cast<size_t>(index) == controls_.size()) {
    info = {};
    info.id = kBypassId;
    plexar::vst3::ToUtf16("Bypass", info.title, 128);
    plexar::vst3::ToUtf16("Bypass", info.shortTitle, 128);
    info.stepCount = 1;
    info.unitId = kRootUnitId;
    info.flags = ParameterInfo::kCanAutomate | ParameterInfo::kIsBypass;
    return kResultOk;
  }
  const Control* c = index >= 0 ? Find(static_cast<ParamID>(index)) : nullptr;
  if (!c) return kInvalidArgument;
  info = {};
  info.id = static_cast<ParamID>(index);
  plexar::vst3::ToUtf16(c->label, info.title, 128);
  plexar::vst3::ToUtf16(c->label, info.shortTitle, 128);
  plexar::vst3::ToUtf16(c->unit, info.units, 128);
  info.stepCount = c->StepCount();
  info.defaultNormalizedValue = c->ToNormalized(c->init);
  info.unitId = kRootUnitId;
  info.flags = ParameterInfo::kCanAutomate;
  return kResultOk;
}

tresult FaustEffect::getParamStringByValue(ParamID id, ParamValue normalized, String128 text) {
  if (id == kBypassId && text) {
    plexar::vst3::ToUtf16(normalized >= 0.5 ? "On" : "Off", text, 128);
    return kResultOk;
  }
  const Control* c = Find(id);
  if (!c || !text) return kInvalidArgument;
  plexar::vst3::ToUtf16(c->Display(normalized), text, 128);
  return kResultOk;
}

// A plain value with the control's unit or none ("8Hz", "8 hz", "8"), inside its range; a
// switch also reads "On" and "Off". Anything else is refused rather than guessed.
tresult FaustEffect::getParamValueByString(ParamID id, TChar* text, ParamValue& normalized) {
  const Control* c = Find(id);
  if ((!c && id != kBypassId) || !text) return kInvalidArgument;
  const std::string typed = Trimmed(plexar::vst3::FromUtf16(text, 128));
  if (!c || c->kind == ControlKind::CheckBox || c->kind == ControlKind::Button) {
    if (SameWord(typed, "On")) return normalized = 1, kResultOk;
    if (SameWord(typed, "Off")) return normalized = 0, kResultOk;
  }
  // Read the same whatever the host's locale says a decimal point is.
  double plain = 0;
  const char* begin = typed.data() + (typed.rfind('+', 0) == 0 ? 1 : 0);
  const std::from_chars_result read = std::from_chars(begin, typed.data() + typed.size(), plain);
  if (read.ec != std::errc() || !std::isfinite(plain)) return kResultFalse;
  const std::string unit = Trimmed(read.ptr);
  if (!unit.empty() && !(c && SameWord(unit, c->unit))) return kResultFalse;
  if (!c) return normalized = plain >= 0.5 ? 1 : 0, kResultOk;
  // Half a step of slack, so that a value typed as the display rounds it is taken.
  const double slack = std::max(c->step / 2, 1e-9 * std::fabs(c->max - c->min));
  if (plain < std::min(c->min, c->max) - slack || plain > std::max(c->min, c->max) + slack) return kResultFalse;
  normalized = c->ToNormalized(plain);
  return kResultOk;
}

ParamValue FaustEffect::normalizedParamToPlain(ParamID id, ParamValue normalized) {
  const Control* c = Find(id);
  return c ? c->ToPlain(normalized) : normalized;
}

ParamValue FaustEffect::plainParamToNormalized(ParamID id, ParamValue plain) {
  const Control* c = Find(id);
  return c ? c->ToNormalized(plain) : plain;
}

ParamValue FaustEffect::getParamNormalized(ParamID id) {
  if (id == kBypassId) return bypass_.load();
  return Find(id) ? values_[id].load() : 0.0;
}

tresult FaustEffect::setParamNormalized(ParamID id, ParamValue value) {
  if (id == kBypassId) return bypass_.store(value >= 0.5 ? 1.0 : 0.0), kResultOk;
  if (!Find(id)) return kInvalidArgument;
  values_[id].store(std::clamp(value, 0.0, 1.0));
  valuesChanged_.store(true);
  return kResultOk;
}

tresult FaustEffect::setComponentHandler(IComponentHandler* handler) {
  if (handler == handler_) return kResultOk;
  if (handler) handler->addRef();
  if (handler_) handler_->release();
  handler_ = handler;
  return kResultOk;
}

// The editor built from the program's own interface; pass-through has nothing to show.
IPlugView* FaustEffect::createView(FIDString name) {
  if (!instance_ || !name || std::strcmp(name, "editor") != 0) return nullptr;
  return NewEditorView(this);
}

tresult FaustEffect::setComponentState(IBStream* state) { return setState(state); }

tresult FaustEffect::getState(IBStream* state) {
  if (!state) return kInvalidArgument;
  const uint32 controls = static_cast<uint32>(controls_.size()), count = controls + 1;
  if (!WriteExactly(state, kStateTag, 4) || !WriteExactly(state, &count, 4)) return kResultFalse;
  for (uint32 id = 0; id < count; ++id) {
    const uint32 written = id < controls ? id : kBypassId;
    const double value = id < controls ? values_[id].load() : bypass_.load();
    if (!WriteExactly(state, &written, 4) || !WriteExactly(state, &value, 8)) return kResultFalse;
  }
  return kResultOk;
}

// Values are matched by id, so a state saved with fewer or more controls restores what fits.
tresult FaustEffect::setState(IBStream* state) {
  if (!state) return kInvalidArgument;
  char tag[4] = {};
  uint32 count = 0;
  if (!ReadExactly(state, tag, 4) || std::memcmp(tag, kStateTag, 4) != 0 ||
      !ReadExactly(state, &count, 4) || count > kMaxStateValues) {
    return kResultFalse;
  }
  std::vector<std::pair<uint32, double>> read;
  for (uint32 i = 0; i < count; ++i) {
    uint32 id = 0;
    double value = 0;
    if (!ReadExactly(state, &id, 4) || !ReadExactly(state, &value, 8)) return kResultFalse;
    const bool known = id < controls_.size() || id == kBypassId;
    if (known && value >= 0 && value <= 1) read.emplace_back(id, value);
  }
  for (const auto& [id, value] : read) {
    if (id == kBypassId) bypass_.store(value >= 0.5 ? 1.0 : 0.0);
    else values_[id].store(value);
  }
  valuesChanged_.store(true);
  return kResultOk;
}

}  // namespace faust_engine
