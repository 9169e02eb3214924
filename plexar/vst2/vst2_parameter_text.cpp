// SPDX-License-Identifier: GPL-3.0-or-later
// Parameters as the plug-in shows and reads them: display texts, labels and plain values.
#include <array>
#include <cstring>
#include <optional>

#include "plexar/parameter_text.h"
#include "plexar/vst2/vst2_plugin.h"

namespace plexar {

using namespace vst2;

namespace {

// Plug-ins write more than the format's 8 characters; the buffer is zeroed and ends in zero.
constexpr size_t kTextBuffer = 256;

}  // namespace

std::string VST2::ParameterString(int32_t opcode, int32_t index) {
  std::array<char, kTextBuffer> text{};
  Dispatch(opcode, index, 0, text.data());
  text.back() = 0;
  return WithoutUnit(text.data(), "");
}

HRESULT VST2::GetParameterDisplay(int32_t id, std::string* text, std::string* unit) {
  if (!text || !unit) return E_POINTER;
  if (!effect) return E_UNEXPECTED;
  if (!ValidParameter(id)) return E_INVALIDARG;
  *unit = ParameterString(effGetParamLabel, id);
  *text = WithoutUnit(ParameterString(effGetParamDisplay, id), *unit);
  return text->empty() ? E_FAIL : S_OK;
}

// effString2Parameter sets the value itself, so a value the plug-in did not take as typed
// is put back to what it was.
HRESULT VST2::SetParameterText(int32_t id, const std::string& text, std::string* why) {
  if (!why) return E_POINTER;
  if (!effect) return E_UNEXPECTED;
  if (!ValidParameter(id) || !effect->getParameter || !effect->setParameter) {
    return *why = "no such parameter", E_INVALIDARG;
  }
  const float before = effect->getParameter(effect, id);
  const auto putBack = [&] {
    if (effect->getParameter(effect, id) != before) effect->setParameter(effect, id, before);
  };
  const auto read = [&](const std::string& typed) {
    std::array<char, kTextBuffer> buffer{};
    std::strncpy(buffer.data(), typed.c_str(), buffer.size() - 1);
    return Dispatch(effString2Parameter, id, 0, buffer.data()) != 0;
  };
  const std::string unit = ParameterString(effGetParamLabel, id);
  const std::optional<double> number = NumberInUnit(text, unit);
  std::string rest;
  LeadingNumber(text, &rest);
  if (!read(text) && !(number && !rest.empty() && read(WithoutUnit(text, rest)))) {
    putBack();
    return *why = "the plug-in cannot read it", E_INVALIDARG;
  }
  if (number && !ShowsNumber(ParameterString(effGetParamDisplay, id), *number)) {
    putBack();
    return *why = "it lies outside the parameter's range", E_INVALIDARG;
  }
  Dispatch(effEditIdle);
  return S_OK;
}

}  // namespace plexar
