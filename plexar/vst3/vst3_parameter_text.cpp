// SPDX-License-Identifier: GPL-3.0-or-later
// Parameters as the plug-in shows and reads them: display texts, units and plain values.
#include <cmath>
#include <cstdlib>
#include <optional>

#include "plexar/parameter_text.h"
#include "plexar/vst3/text16.h"
#include "plexar/vst3/vst3_plugin.h"

namespace plexar {

using namespace vst3;

namespace {

bool FindInfo(IEditController& controller, ParamID id, ParameterInfo* info) {
  const int32 count = controller.getParameterCount();
  for (int32 i = 0; i < count; ++i) {
    if (controller.getParameterInfo(i, *info) == kResultOk && info->id == id) return true;
  }
  return false;
}

std::string ValueText(IEditController& controller, ParamID id, ParamValue normalized) {
  String128 buffer{};
  if (controller.getParamStringByValue(id, normalized, buffer) != kResultOk) return {};
  buffer[127] = 0;
  return FromUtf16(buffer, 128);
}

bool ReadValue(IEditController& controller, ParamID id, const std::string& text, ParamValue* value) {
  String128 buffer{};
  ToUtf16(text, buffer, 128);
  return controller.getParamValueByString(id, buffer, *value) == kResultOk && std::isfinite(*value) &&
         *value >= 0 && *value <= 1;
}

// Whether a number lies beyond both ends of a range the plug-in shows as numbers.
bool OutsideEnds(double number, const std::string& low, const std::string& high) {
  std::optional<double> a = LeadingNumber(low), b = LeadingNumber(high);
  if (!a || !b || ShowsNumber(low, number) || ShowsNumber(high, number)) return false;
  return number < std::fmin(*a, *b) || number > std::fmax(*a, *b);
}

}  // namespace

HRESULT VST3::GetParameterDisplay(int32_t id, std::string* text, std::string* unit) {
  if (!text || !unit) return E_POINTER;
  if (!controller) return E_UNEXPECTED;
  ParameterInfo info{};
  const auto param = static_cast<ParamID>(id);
  if (!FindInfo(*controller.get(), param, &info)) return E_INVALIDARG;
  *unit = FromUtf16(info.units, 128);
  *text = WithoutUnit(ValueText(*controller.get(), param, controller->getParamNormalized(param)), *unit);
  return text->empty() ? E_FAIL : S_OK;
}

// The plug-in reads the text as typed, or without its unit, which many read only as a number.
// A number it kept in range instead of taking shows in its display as another number.
HRESULT VST3::SetParameterText(int32_t id, const std::string& text, std::string* why) {
  if (!why) return E_POINTER;
  if (!controller) return E_UNEXPECTED;
  ParameterInfo info{};
  const auto param = static_cast<ParamID>(id);
  if (!FindInfo(*controller.get(), param, &info)) return *why = "no such parameter", E_INVALIDARG;
  const std::string unit = FromUtf16(info.units, 128);
  const std::optional<double> number = NumberInUnit(text, unit);
  ParamValue value = 0;
  bool read = ReadValue(*controller.get(), param, text, &value);
  if (!read && number) {
    std::string rest;
    LeadingNumber(text, &rest);
    read = ReadValue(*controller.get(), param, WithoutUnit(text, rest), &value);
  }
  const std::string low = ValueText(*controller.get(), param, 0), high = ValueText(*controller.get(), param, 1);
  const std::string range = "it lies outside the range " + WithUnit(low, unit) + " to " + WithUnit(high, unit);
  if (!read) return *why = number && OutsideEnds(*number, low, high) ? range : "the plug-in cannot read it", E_INVALIDARG;
  if (number && !ShowsNumber(ValueText(*controller.get(), param, value), *number)) return *why = range, E_INVALIDARG;
  return SetParameter(id, static_cast<float>(value));
}

}  // namespace plexar
