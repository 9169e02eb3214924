// SPDX-License-Identifier: GPL-3.0-or-later
#include "faust/workbench.h"

#include "common/text.h"
#include "faust/audio_in.h"
#include "faust/rack.h"

std::recursive_mutex workbenchLock;
std::vector<std::string> fausts;
std::vector<std::shared_ptr<VST>> vsts;
std::vector<std::shared_ptr<AUDIO_IN>> sources;
std::string faustFolder;

void ReleaseWorkbench() {
  std::lock_guard guard(workbenchLock);
  for (const auto& source : sources) source->chain.clear();
  vsts.clear();
}

std::optional<size_t> WorkbenchIndex(const std::string& word, size_t count) {
  const int64_t number = common::ReadNumber(word);
  const int64_t position = number > 0 ? number - 1 : number;
  if (position < 0 || static_cast<uint64_t>(position) >= count) return std::nullopt;
  return static_cast<size_t>(position);
}

std::optional<std::string> ExtractFaustCode(const std::string& answer) {
  static constexpr std::string_view kMarker = "```faust";
  const size_t start = answer.find(kMarker);
  if (start == std::string::npos) return std::nullopt;
  // The body starts after the marker's line; a marker alone at the very end holds nothing.
  size_t body = answer.find('\n', start + kMarker.size());
  if (body == std::string::npos) return std::nullopt;
  ++body;
  // Only the block's own closing fence ends it: prose and other blocks after it are no code.
  const size_t end = answer.find("```", body);
  if (end == std::string::npos || end == body) return std::nullopt;
  return answer.substr(body, end - body);
}
