// SPDX-License-Identifier: GPL-3.0-or-later
// /source: audio files played through their own plug-in chains, and rendered to WAV files.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sstream>

#include "common/terminal_text.h"
#include "faust/audio_decoder.h"
#include "faust/audio_in.h"
#include "faust/rack.h"
#include "faust/render.h"
#include "faust/workbench.h"
#include "platform/console.h"
#include "shell/commands.h"
#include "shell/render_state.h"
#include "shell/session.h"
#include "shell/words.h"

using platform::ConsoleWrite;

namespace {

constexpr char kSourceHelp[] =
    "/source load <file>\t Adds specified file as an audio source\r\n"
    "/source play <N>\t Play/Resume the Nth source\r\n"
    "/source pause <N>\t Pause the Nth source\r\n"
    "/source stop <N>\t Stop the Nth source\r\n"
    "/source list\t\t List the sources with their state and plug-in chain\r\n"
    "/source render <N> <file> Render the Nth source through its chain into a WAV file";

void PrintRed(const std::string& text) { ConsoleWrite("\x1b[31m" + text + ".\x1b[0m\r\n"); }

std::shared_ptr<AUDIO_IN> SourceAt(const std::string& word) {
  std::lock_guard guard(workbenchLock);
  std::optional<size_t> position = WorkbenchIndex(word, sources.size());
  if (!position) {
    PrintRed("Invalid index. Use /source list to see available sources");
    return nullptr;
  }
  return sources[*position];
}

void LoadSource(const std::string& file) {
  std::string error;
  std::error_code ec;
  if (!std::filesystem::exists(file, ec)) return PrintRed("Cannot read " + file + ": " + std::strerror(ENOENT));
  if (!faust::CanDecode(file, &error)) return PrintRed("Cannot play " + file + ": " + error);
  std::lock_guard guard(workbenchLock);
  ConsoleWrite("\x1b[36m#" + std::to_string(sources.size() + 1) + ": " + file + "...\x1b[0m\r\n");
  sources.push_back(StartSource(file, quitting));
}

const char* StateName(const AUDIO_IN& source) {
  switch (source.state.load()) {
    case kSourcePlaying: return "playing";
    case kSourcePaused: return "paused";
    default: return source.ended.load() ? "ended" : "stopped";
  }
}

void ListSources() {
  std::lock_guard guard(workbenchLock);
  std::string out;
  for (size_t i = 0; i < sources.size(); ++i) {
    std::string chain;
    for (const auto& entry : sources[i]->chain) {
      auto at = std::find(vsts.begin(), vsts.end(), entry);
      if (at != vsts.end()) chain += (chain.empty() ? "" : " ") + std::to_string(at - vsts.begin() + 1);
    }
    out += "\x1b[36m#" + std::to_string(i + 1) + ": " + sources[i]->file + ", " +
           StateName(*sources[i]) + ", chain: " + (chain.empty() ? "none" : chain) + "\x1b[0m\r\n";
  }
  ConsoleWrite(out);
}

std::string Seconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s", seconds);
  return text;
}

// Said as the rack says it of its own entries, for the render's instances of them.
void PrintBypassed(const faust::RenderReport& report) {
  std::string out;
  {
    std::lock_guard guard(workbenchLock);
    for (const auto& [entry, why] : report.bypassed) {
      auto at = std::find(vsts.begin(), vsts.end(), entry);
      if (at == vsts.end()) continue;  // unloaded while it rendered
      out += "\x1b[31mVST #" + std::to_string(at - vsts.begin() + 1) + " (" +
             common::TerminalSafeLine(entry->name) + ") " + why + " and was bypassed.\x1b[0m\r\n";
    }
  }
  ConsoleWrite(out);
}

void Render(AUDIO_IN& source, size_t number, const std::string& file) {
  const std::string label = "Rendering source #" + std::to_string(number) + " to " + file + ": ";
  faust::RenderReport report;
  std::string error;
  RenderGuard guard;
  const bool done = faust::RenderSource(
      source, file, RenderCancel(),
      [&](double seconds) { ConsoleWrite("\r\x1b[36m" + label + Seconds(seconds) + "\x1b[0m\x1b[K"); },
      &report, &error);
  ConsoleWrite("\r\x1b[K");
  if (!done) return PrintRed("Render of source #" + std::to_string(number) + " failed: " + error);
  PrintBypassed(report);
  ConsoleWrite("\x1b[34mSource #" + std::to_string(number) + " -> " + file + " (" +
               Seconds(report.seconds) + ", tail " + Seconds(report.tailSeconds) + ").\x1b[0m\r\n");
}

void SetState(const std::string& word, int32_t state) {
  std::shared_ptr<AUDIO_IN> source = SourceAt(word);
  if (!source) return;
  if (state == kSourcePlaying) source->ended.store(false);
  source->SetState(state);
  static const char* const kReplies[] = {"\x1b[31mStopped source ", "\x1b[33mPaused source ",
                                         "\x1b[34mPlaying source "};
  ConsoleWrite(kReplies[state] + source->file + ".\x1b[0m\r\n");
}

}  // namespace

CommandResult SourceCommand(const std::string& line, const Words& words) {
  const std::string sub = words.size() > 1 ? words[1] : "";
  if (words.size() == 1) {
    ConsoleWrite(std::string("\x1b[36m") + kSourceHelp + "\x1b[0m\r\n");
  } else if (sub == "load" && words.size() >= 3) {
    LoadSource(RestOfLine(line, 2));
  } else if (sub == "play" && words.size() >= 3) {
    SetState(words[2], kSourcePlaying);
  } else if (sub == "pause" && words.size() >= 3) {
    SetState(words[2], kSourcePaused);
  } else if (sub == "stop" && words.size() >= 3) {
    SetState(words[2], kSourceStopped);
  } else if (sub == "list") {
    ListSources();
  } else if (sub == "render" && words.size() >= 4) {
    if (auto source = SourceAt(words[2])) {
      Render(*source, *WorkbenchIndex(words[2], sources.size()) + 1, RestOfLine(line, 3));
    }
  }
  return Handled;
}
