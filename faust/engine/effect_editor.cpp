// SPDX-License-Identifier: GPL-3.0-or-later
// The effect as its editor sees it: values in and out, and the meters the audio thread keeps.
#include <faust/dsp/dsp.h>

#include <algorithm>

#include "faust/engine/effect.h"

namespace faust_engine {

double FaustEffect::ControlValue(int param) {
  return Find(static_cast<ParamID>(param)) ? values_[param].load() : 0.0;
}

std::string FaustEffect::ControlText(int param, double normalized) {
  const Control* c = Find(static_cast<ParamID>(param));
  return c ? c->Display(normalized) : std::string();
}

double FaustEffect::ToNormalized(int param, double plain) {
  const Control* c = Find(static_cast<ParamID>(param));
  return c ? c->ToNormalized(plain) : 0.0;
}

double FaustEffect::ToPlain(int param, double normalized) {
  const Control* c = Find(static_cast<ParamID>(param));
  return c ? c->ToPlain(normalized) : 0.0;
}

// The host hears of every change, as from any editor: it records it and may automate it.
void FaustEffect::BeginEdit(int param) {
  if (handler_ && Find(static_cast<ParamID>(param))) handler_->beginEdit(static_cast<ParamID>(param));
}

void FaustEffect::Edit(int param, double normalized) {
  if (setParamNormalized(static_cast<ParamID>(param), normalized) != kResultOk) return;
  if (handler_) handler_->performEdit(static_cast<ParamID>(param), values_[param].load());
}

void FaustEffect::EndEdit(int param) {
  if (handler_ && Find(static_cast<ParamID>(param))) handler_->endEdit(static_cast<ParamID>(param));
}

double FaustEffect::MeterValue(int meter) {
  return meter >= 0 && static_cast<size_t>(meter) < ui_.meterZones.size() ? meters_[meter].load() : 0.0;
}

// Audio thread: the zones change in every block, the editor reads the copies.
void FaustEffect::KeepMeters() {
  for (size_t i = 0; i < ui_.meterZones.size(); ++i) {
    meters_[i].store(*ui_.meterZones[i], std::memory_order_relaxed);
  }
}

}  // namespace faust_engine
