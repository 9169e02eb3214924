// SPDX-License-Identifier: GPL-3.0-or-later
// Parameter values in the plug-in's own terms: typed plain values ("8Hz", "-6dB", "On") and
// what a plug-in shows for a value, whatever the format.
#pragma once

#include <optional>
#include <string>

namespace plexar {

class VST;

/// A typed value that is a number and nothing else: a normalised value.
std::optional<float> BareNumber(const std::string& text);

/// The number at the start of `text` (blanks first allowed), when it starts with a finite one;
/// `rest` gets what follows it.
std::optional<double> LeadingNumber(const std::string& text, std::string* rest = nullptr);

/// The number of "8Hz", "8 hz" or "8" when `unit` is "Hz"; nothing when the text is anything
/// but a number followed by that unit (case aside) or by nothing.
std::optional<double> NumberInUnit(const std::string& text, const std::string& unit);

/// Whether a plug-in's display of a value shows `typed`, to the digits it shows: "20.00" does
/// not show 25 (the plug-in kept it in its range), "6.07" shows 6.066.
bool ShowsNumber(const std::string& shown, double typed);

/// A display text with its unit: "6.07 Hz". The unit is left out when the text already ends
/// with it, as some plug-ins write it in.
std::string WithUnit(const std::string& text, const std::string& unit);

/// `text` without the unit at its end ("4.00 Hz" -> "4.00").
std::string WithoutUnit(const std::string& text, const std::string& unit);

/// What the parameter now is, in plain terms ("6.07 Hz"); the normalised value with three
/// decimals when the plug-in gives no text.
std::string ShownValue(VST& plugin, int32_t id);

/// The outcome of a typed value.
struct TypedValue {
  bool ok = false;
  float normalized = 0;  // the parameter's value afterwards
  std::string error;     // why nothing changed, a sentence part: "cannot read loud"
};

/// Sets a parameter from what a user typed: a bare number between 0 and 1 as a normalised
/// value, anything else as a plain value read by the plug-in. Nothing changes on failure.
TypedValue SetTypedValue(VST& plugin, int32_t id, const std::string& typed);

}  // namespace plexar
