// SPDX-License-Identifier: GPL-3.0-or-later
#include "plexar/parameter_text.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <strings.h>

#include "plexar/vst.h"

namespace plexar {

namespace {

std::string Trimmed(const std::string& text) {
  size_t first = 0, last = text.size();
  while (first < last && std::isspace(static_cast<unsigned char>(text[first]))) ++first;
  while (last > first && std::isspace(static_cast<unsigned char>(text[last - 1]))) --last;
  return text.substr(first, last - first);
}

bool SameUnit(const std::string& a, const std::string& b) {
  return a.size() == b.size() && strncasecmp(a.c_str(), b.c_str(), a.size()) == 0;
}

// Decimals written after the point of the number at the start of `shown`.
int DecimalsShown(const std::string& shown) {
  const std::string text = Trimmed(shown);
  const size_t point = text.find('.');
  if (point == std::string::npos) return 0;
  int decimals = 0;
  for (size_t k = point + 1; k < text.size() && std::isdigit(static_cast<unsigned char>(text[k])); ++k) ++decimals;
  return decimals;
}

}  // namespace

std::optional<double> LeadingNumber(const std::string& text, std::string* rest) {
  const std::string trimmed = Trimmed(text);
  // Only decimal numbers: not "inf", "nan" or hexadecimal.
  const char first = trimmed.empty() ? 0 : trimmed[0];
  const char second = trimmed.size() > 1 ? trimmed[1] : 0;
  const bool startsNumber = std::isdigit(static_cast<unsigned char>(first)) ||
                            ((first == '-' || first == '+' || first == '.') &&
                             (std::isdigit(static_cast<unsigned char>(second)) || second == '.'));
  if (!startsNumber) return std::nullopt;
  // Read the same whatever the user's locale says a decimal point is.
  const size_t sign = first == '+' ? 1 : 0;
  double value = 0;
  const char* begin = trimmed.data() + sign;
  const std::from_chars_result read = std::from_chars(begin, trimmed.data() + trimmed.size(), value);
  if (read.ec != std::errc() || !std::isfinite(value)) return std::nullopt;
  const size_t used = static_cast<size_t>(read.ptr - trimmed.data());
  if (rest) *rest = Trimmed(trimmed.substr(used));
  return value;
}

std::optional<float> BareNumber(const std::string& text) {
  std::string rest;
  std::optional<double> value = LeadingNumber(text, &rest);
  if (!value || !rest.empty() || !std::isfinite(static_cast<float>(*value))) return std::nullopt;
  return static_cast<float>(*value);
}

std::optional<double> NumberInUnit(const std::string& text, const std::string& unit) {
  std::string rest;
  std::optional<double> value = LeadingNumber(text, &rest);
  if (!value || !(rest.empty() || (!unit.empty() && SameUnit(rest, Trimmed(unit))))) return std::nullopt;
  return value;
}

bool ShowsNumber(const std::string& shown, double typed) {
  std::optional<double> value = LeadingNumber(shown);
  // A display without a number ("Off", "-inf") cannot be compared; the plug-in took the value.
  if (!value) return true;
  const double half = 0.5 * std::pow(10.0, -DecimalsShown(shown));
  return std::fabs(*value - typed) <= half * 1.0001 + 1e-9 * std::fabs(typed);
}

std::string WithUnit(const std::string& text, const std::string& unit) {
  const std::string u = Trimmed(unit);
  if (u.empty() || WithoutUnit(text, u) != Trimmed(text)) return Trimmed(text);
  return Trimmed(text) + " " + u;
}

std::string WithoutUnit(const std::string& text, const std::string& unit) {
  const std::string t = Trimmed(text), u = Trimmed(unit);
  if (u.empty() || t.size() <= u.size() || !SameUnit(t.substr(t.size() - u.size()), u)) return t;
  return Trimmed(t.substr(0, t.size() - u.size()));
}

std::string ShownValue(VST& plugin, int32_t id) {
  std::string text, unit;
  if (plugin.GetParameterDisplay(id, &text, &unit) == S_OK && !text.empty()) return WithUnit(text, unit);
  float value = 0;
  if (plugin.GetParameter(id, &value) != S_OK) return {};
  char formatted[32];
  std::snprintf(formatted, sizeof formatted, "%.3f", static_cast<double>(value));
  return formatted;
}

TypedValue SetTypedValue(VST& plugin, int32_t id, const std::string& typed) {
  TypedValue out;
  if (std::optional<float> bare = BareNumber(typed)) {
    if (*bare < 0 || *bare > 1) {
      std::string text, unit;
      plugin.GetParameterDisplay(id, &text, &unit);
      out.error = "a bare number is a normalised value from 0 to 1";
      if (!Trimmed(unit).empty()) out.error += "; for " + Trimmed(typed) + " " + Trimmed(unit) + " type " + Trimmed(typed) + Trimmed(unit);
      return out;
    }
    if (plugin.SetParameter(id, *bare) != S_OK) return out.error = "the plug-in refused it", out;
    out.normalized = *bare;
  } else {
    std::string why;
    if (plugin.SetParameterText(id, Trimmed(typed), &why) != S_OK) {
      out.error = why.empty() ? "the plug-in cannot read it" : why;
      return out;
    }
  }
  float now = 0;
  if (plugin.GetParameter(id, &now) == S_OK) out.normalized = now;
  out.ok = true;
  return out;
}

}  // namespace plexar
