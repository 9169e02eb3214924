// SPDX-License-Identifier: GPL-3.0-or-later
// The controls of a Faust program as plug-in parameters: one per slider, number entry,
// check box or button, normalised to 0...1 over the control's range.
#pragma once

#include <string>
#include <vector>

class dsp;

namespace faust_engine {

enum class ControlKind { Slider, NumEntry, CheckBox, Button };

struct Control {
  std::string label;
  std::string unit;  // from [unit:...] metadata
  ControlKind kind = ControlKind::Slider;
  float* zone = nullptr;  // the instance's own storage for the value
  double init = 0, min = 0, max = 1, step = 0;

  /// Discrete positions for hosts: the number entry's steps, 1 for switches, 0 for sliders.
  int StepCount() const;
  double ToPlain(double normalized) const;
  double ToNormalized(double plain) const;
  /// "-12.0 dB": the plain value with as many decimals as the step needs, then the unit.
  std::string Display(double normalized) const;
};

/// The controls of one instance, in the order the program declares them.
std::vector<Control> CollectControls(dsp& instance);

}  // namespace faust_engine
