// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>
#include <vector>

/// Splits a command line into words: blanks separate words, double quotes group blanks into
/// a word and are dropped, empty words are never produced.
std::vector<std::string> SplitWords(std::string_view line);

/// The words after the first k (k = 1: everything after the command word), joined by single
/// blanks; empty when there are not enough.
std::string RestOfLine(std::string_view line, size_t k);
