// SPDX-License-Identifier: GPL-3.0-or-later
#include "faust/engine/controls.h"

#include <faust/dsp/dsp.h>
#include <faust/gui/UI.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>

namespace faust_engine {

namespace {

class ControlCollector : public UI {
 public:
  std::vector<Control> controls;

  void openTabBox(const char*) override {}
  void openHorizontalBox(const char*) override {}
  void openVerticalBox(const char*) override {}
  void closeBox() override {}
  void addButton(const char* label, float* zone) override {
    Add(label, zone, ControlKind::Button, 0, 0, 1, 1);
  }
  void addCheckButton(const char* label, float* zone) override {
    Add(label, zone, ControlKind::CheckBox, 0, 0, 1, 1);
  }
  void addVerticalSlider(const char* label, float* zone, float init, float min, float max,
                         float step) override {
    Add(label, zone, ControlKind::Slider, init, min, max, step);
  }
  void addHorizontalSlider(const char* label, float* zone, float init, float min, float max,
                           float step) override {
    Add(label, zone, ControlKind::Slider, init, min, max, step);
  }
  void addNumEntry(const char* label, float* zone, float init, float min, float max,
                   float step) override {
    Add(label, zone, ControlKind::NumEntry, init, min, max, step);
  }
  // Bargraphs show values; a host has nothing to set there.
  void addHorizontalBargraph(const char*, float*, float, float) override {}
  void addVerticalBargraph(const char*, float*, float, float) override {}
  void addSoundfile(const char*, const char*, Soundfile**) override {}
  // Faust declares a control's metadata before the control itself.
  void declare(float* zone, const char* key, const char* value) override {
    if (zone && key && value && std::string(key) == "unit") units_[zone] = value;
  }

 private:
  void Add(const char* label, float* zone, ControlKind kind, double init, double min, double max,
           double step) {
    Control c;
    c.label = label && *label ? label : "Control " + std::to_string(controls.size() + 1);
    c.kind = kind;
    c.zone = zone;
    if (!(max > min)) max = min;  // a broken range still maps to one value
    c.init = std::clamp(init, min, max), c.min = min, c.max = max, c.step = std::max(step, 0.0);
    if (auto unit = units_.find(zone); unit != units_.end()) c.unit = unit->second;
    controls.push_back(std::move(c));
  }

  std::map<float*, std::string> units_;
};

}  // namespace

int Control::StepCount() const {
  if (kind == ControlKind::CheckBox || kind == ControlKind::Button) return 1;
  if (kind != ControlKind::NumEntry || step <= 0) return 0;
  double steps = std::round((max - min) / step);
  return steps >= 1 && steps < 1e6 ? static_cast<int>(steps) : 0;
}

double Control::ToPlain(double normalized) const {
  normalized = std::clamp(normalized, 0.0, 1.0);
  if (int steps = StepCount(); steps > 0) {
    normalized = std::round(normalized * steps) / steps;
  }
  return min + normalized * (max - min);
}

double Control::ToNormalized(double plain) const {
  if (max <= min) return 0;
  return std::clamp((plain - min) / (max - min), 0.0, 1.0);
}

std::string Control::Display(double normalized) const {
  const double plain = ToPlain(normalized);
  if (kind == ControlKind::CheckBox || kind == ControlKind::Button) {
    return plain >= 0.5 ? "On" : "Off";
  }
  // Steps arrive as floats (0.01 is 0.0099999998), hence the tolerance.
  int decimals = step > 0 ? static_cast<int>(std::ceil(-std::log10(step) - 1e-4)) : 2;
  decimals = std::clamp(decimals, 0, 6);
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, plain);
  std::string shown = text;
  if (shown == "-0" || shown.rfind("-0.", 0) == 0) {
    // "-0.0" reads oddly for a value that rounds to zero.
    if (std::strtod(shown.c_str(), nullptr) == 0) shown.erase(0, 1);
  }
  return unit.empty() ? shown : shown + " " + unit;
}

std::vector<Control> CollectControls(dsp& instance) {
  ControlCollector collector;
  instance.buildUserInterface(&collector);
  return std::move(collector.controls);
}

}  // namespace faust_engine
