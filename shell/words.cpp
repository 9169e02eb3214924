// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/words.h"

std::vector<std::string> SplitWords(std::string_view line) {
  std::vector<std::string> words;
  std::string word;
  bool quoted = false;
  for (char c : line) {
    if (c == '"') {
      quoted = !quoted;
    } else if (c == ' ' && !quoted) {
      if (!word.empty()) words.push_back(std::move(word));
      word.clear();
    } else {
      word += c;
    }
  }
  if (!word.empty()) words.push_back(std::move(word));
  return words;
}

std::string RestOfLine(std::string_view line, size_t k) {
  std::vector<std::string> words = SplitWords(line);
  std::string rest;
  for (size_t i = k; i < words.size(); ++i) {
    if (!rest.empty()) rest += ' ';
    rest += words[i];
  }
  return rest;
}
