// SPDX-License-Identifier: GPL-3.0-or-later
// /vst: the rack of loaded plug-ins and the chains of the sources that use them.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sstream>

#include "common/terminal_text.h"
#include "faust/audio_in.h"
#include "faust/bundle.h"
#include "faust/rack.h"
#include "faust/workbench.h"
#include "platform/console.h"
#include "platform/write_target.h"
#include "plexar/editor/editor.h"
#include "plexar/parameter_text.h"
#include "plexar/remote/remote_vst.h"
#include "plexar/vst.h"
#include "shell/commands.h"
#include "shell/words.h"

using platform::ConsoleWrite;
using plexar::HRESULT;

namespace {

constexpr char kVstHelp[] =
    "/vst list\t\t\t\t List all vst loaded plugins\r\n"
    "/vst load <file>\t\t\t Adds manually specific VST\r\n"
    "/vst param <N> <pname> pvalue\t\t Sets VST parameter value\r\n"
    "/vst apply <N> <S>\t\t\t Applies Nth VST to source S\r\n"
    "/vst remove <N> <S>\t\t\t Removes Nth VST from the source S\r\n"
    "/vst unload  <N>\t\t\t Removes Nth VST from all sources and unloads it\r\n"
    "/vst edit <N> [params]\t\t\t Opens the Nth VST's editor, or its parameter list\r\n"
    "/vst reload <N>\t\t\t\t Starts a crashed VST again with its last settings";

void PrintRed(const std::string& text) { ConsoleWrite("\x1b[31m" + text + ".\x1b[0m\r\n"); }

std::optional<size_t> RackIndex(const std::string& word) {
  std::optional<size_t> position = WorkbenchIndex(word, vsts.size());
  if (!position) PrintRed("Invalid index. Use /vst list to see available files");
  return position;
}

// A rack entry and a source, or nothing (a bad source number is silent).
bool EntryAndSource(const Words& words, size_t* entry, std::shared_ptr<AUDIO_IN>* source) {
  std::optional<size_t> position = RackIndex(words[2]);
  if (!position) return false;
  std::lock_guard guard(workbenchLock);
  std::optional<size_t> s = WorkbenchIndex(words[3], sources.size());
  if (!s) return false;
  *entry = *position, *source = sources[*s];
  return true;
}

void RemoveFromChain(AUDIO_IN& source, const std::shared_ptr<VST>& record) {
  std::lock_guard guard(workbenchLock);
  auto& chain = source.chain;
  chain.erase(std::remove(chain.begin(), chain.end(), record), chain.end());
}

void Apply(const Words& words, bool add) {
  size_t entry = 0;
  std::shared_ptr<AUDIO_IN> source;
  if (!EntryAndSource(words, &entry, &source)) return;
  const std::string number = std::to_string(entry + 1);
  if (add) {
    std::lock_guard guard(workbenchLock);
    source->chain.push_back(vsts[entry]);
    ConsoleWrite("\x1b[34mVST #" + number + " -> " + source->file + ".\x1b[0m\r\n");
  } else {
    RemoveFromChain(*source, vsts[entry]);
    ConsoleWrite("\x1b[34m VST #" + number + " X " + source->file + ".\x1b[0m\r\n");
  }
}

// A bare number is a normalised value, anything else a plain value the plug-in reads
// ("8Hz", "-6dB", "On"). The reply says what the parameter now is in the plug-in's terms, and
// the entry keeps the value for the list and a later reload.
void SetParameter(const Words& words) {
  std::optional<size_t> position = RackIndex(words[2]);
  if (!position) return;
  const std::string& name = words[3];
  const std::string& typed = words[4];
  const std::string number = std::to_string(*position + 1);
  std::shared_ptr<VST> record;
  {
    std::lock_guard guard(workbenchLock);
    if (*position >= vsts.size()) return;
    record = vsts[*position];
  }
  auto param = std::find_if(record->params.begin(), record->params.end(),
                            [&](const plexar::ParameterRecord& p) { return p.name == name; });
  if (param == record->params.end()) {
    return ConsoleWrite("\x1b[31m Invalid parameter " + common::TerminalSafeLine(name) + ".\x1b[0m\r\n");
  }
  const plexar::TypedValue result = plexar::SetTypedValue(*record->plugin, param->id, typed);
  if (!result.ok) {
    return PrintRed("Cannot set " + common::TerminalSafeLine(name) + " of VST #" + number + " to " +
                    common::TerminalSafeLine(typed) + ": " + common::TerminalSafeLine(result.error));
  }
  {
    std::lock_guard guard(workbenchLock);  // renders copy the values under it
    param->value = result.normalized;
  }
  std::string shown = common::TerminalSafeLine(typed);
  if (std::optional<float> bare = plexar::BareNumber(typed)) {
    std::ostringstream text;
    text << *bare;
    shown = text.str();
  }
  const std::string plain = common::TerminalSafeLine(plexar::ShownValue(*record->plugin, param->id));
  ConsoleWrite("\x1b[34m " + common::TerminalSafeLine(name) + " VST #" + number + " = " + shown + (plain.empty() ? "" : " (" + plain + ")") +
               ".\x1b[0m\r\n");
}

void LoadPlugin(const std::string& file) {
  std::error_code ec;
  if (!std::filesystem::exists(file, ec)) return PrintRed("Cannot read " + file + ": " + std::strerror(ENOENT));
  auto record = std::make_shared<VST>();
  record->file = file;
  if (!LoadVst(*record, false)) {
    // The reason may quote a plug-in's own words or a bundle's code.
    const std::string why = record->error.empty() ? "" : ": it " + common::TerminalSafe(record->error);
    return PrintRed("Cannot load " + file + " as a VST 2 or VST 3 plug-in" + why);
  }
  {
    std::lock_guard guard(workbenchLock);
    vsts.push_back(record);
  }
  ConsoleWrite("\x1b[34m VST " + file + " -> VST #" + std::to_string(vsts.size()) + ".\x1b[0m\r\n");
}

void Unload(const std::string& word) {
  std::optional<size_t> position = RackIndex(word);
  if (!position) return;
  std::shared_ptr<VST> record = vsts[*position];
  std::vector<std::shared_ptr<AUDIO_IN>> all;
  {
    std::lock_guard guard(workbenchLock);
    all = sources;
  }
  for (const auto& source : all) {
    RemoveFromChain(*source, record);
    ConsoleWrite("\x1b[34mVST #" + std::to_string(*position + 1) + " X " + source->file + ".\x1b[0m\r\n");
  }
  std::lock_guard guard(workbenchLock);
  vsts.erase(vsts.begin() + static_cast<std::ptrdiff_t>(*position));
}

// Opens the plug-in's own editor, or its parameter list when it has none (compiled Faust
// effects) or when asked. The windows live on the editor's UI thread: the prompt goes on.
void Edit(const Words& words) {
  std::optional<size_t> position = RackIndex(words[2]);
  if (!position) return;
  if (!plexar::editor::EditorsAvailable()) {
    if (plexar::editor::DisplayGone())
      return PrintRed("The display for editor windows is gone (its X server ended); editors open there again once it answers");
    return PrintRed("No display for editor windows: DISPLAY is not set or its X server does not answer");
  }
  std::shared_ptr<VST> record;
  {
    std::lock_guard guard(workbenchLock);
    if (*position >= vsts.size()) return;
    record = vsts[*position];
  }
  const std::string number = std::to_string(*position + 1);
  const bool listOnly = words.size() >= 4 && words[3] == "params";
  HRESULT hr = listOnly ? plexar::E_FAIL : record->plugin->ShowEditor(nullptr, 0, 0);
  const bool list = !plexar::Succeeded(hr);
  if (list) hr = record->plugin->ShowEditor(nullptr, 2, 0);
  if (!plexar::Succeeded(hr)) return PrintRed("Cannot open the editor of VST #" + number);
  ConsoleWrite("\x1b[34m " + std::string(list ? "Parameters of" : "Editor of") + " VST #" + number +
               " (" + common::TerminalSafeLine(record->name) + ").\x1b[0m\r\n");
}

// A compiled entry is saved as a bundle that runs its code; a plug-in file is copied.
void Save(const std::string& word, const std::string& file) {
  std::optional<size_t> position = RackIndex(word);
  if (!position) return;
  const VST& record = *vsts[*position];
  const std::string number = std::to_string(*position + 1);
  std::string where = file, error;
  if (!record.code.empty()) {
    where = WriteFaustBundle(record.code, file, &error);
  } else if (std::optional<std::string> place = platform::WritableFile(file, &error)) {
    std::error_code ec;
    std::filesystem::copy_file(record.file, *place, std::filesystem::copy_options::overwrite_existing, ec);
    if (ec) where.clear(), error = ec.message();
  } else {
    where.clear();
  }
  if (where.empty()) return PrintRed("Cannot save VST #" + number + " to " + file + ": " + error);
  ConsoleWrite("\x1b[34mVST " + number + " -> " + where + ".\x1b[0m\r\n");
}

// What an entry runs: which snippet it was compiled from, or its file.
std::string Origin(const VST& record) {
  if (record.code.empty()) return "file " + common::TerminalSafeLine(record.file);
  auto snippet = std::find(fausts.begin(), fausts.end(), record.code);
  if (snippet == fausts.end()) return "compiled code";
  return "compiled snippet #" + std::to_string(snippet - fausts.begin() + 1);
}

// The sources whose chains hold the entry: "in 1 (drums.wav), 3 (voice.flac)".
std::string Users(const std::shared_ptr<VST>& record) {
  std::string out;
  for (size_t s = 0; s < sources.size(); ++s) {
    const auto& chain = sources[s]->chain;
    if (std::find(chain.begin(), chain.end(), record) == chain.end()) continue;
    out += (out.empty() ? "in " : ", ") + std::to_string(s + 1) + " (" +
           common::TerminalSafeLine(std::filesystem::path(sources[s]->file).filename().string()) + ")";
  }
  return out.empty() ? "in no source" : out;
}

// The parameters' current plain values, cut short with a count of the rest.
std::string Values(VST& record) {
  constexpr size_t kShort = 100;
  std::string out;
  size_t shown = 0;
  for (const auto& param : record.params) {
    std::string one = common::TerminalSafeLine(param.name) + " " +
                      common::TerminalSafeLine(plexar::ShownValue(*record.plugin, param.id));
    if (!out.empty() && out.size() + one.size() > kShort) break;
    out += (out.empty() ? "" : ", ") + one;
    ++shown;
  }
  if (shown < record.params.size()) out += " (+" + std::to_string(record.params.size() - shown) + " more)";
  return out.empty() ? "no parameters" : out;
}

// The rack's size, then a line for every entry; one whose host has ended says so in red.
// The values are asked for outside the workbench lock: a host may take its time answering.
void List() {
  std::vector<std::shared_ptr<VST>> rack;
  std::vector<std::string> heads;
  {
    std::lock_guard guard(workbenchLock);
    rack = vsts;
    for (const auto& record : rack) heads.push_back(Origin(*record) + ", " + Users(record));
  }
  std::string out = "\x1b[36mVSTs: " + std::to_string(rack.size()) + "\x1b[0m\r\n";
  for (size_t k = 0; k < rack.size(); ++k) {
    VST& record = *rack[k];
    const std::string number = std::to_string(k + 1);
    auto* remote = plexar::remote::AsRemote(record.plugin);
    const std::string why = remote ? remote->EndText() : "";
    if (!why.empty()) {
      out += "\x1b[31m#" + number + ": " + common::TerminalSafeLine(record.name) + ", " + why +
             ", bypassed (/vst reload " + number + ")\x1b[0m\r\n";
      continue;
    }
    out += "\x1b[36m#" + number + ": " + common::TerminalSafeLine(record.name) + " by " +
           common::TerminalSafeLine(record.vendor) + ", " + heads[k] + "; " + Values(record) + "\x1b[0m\r\n";
  }
  ConsoleWrite(out);
}

void Reload(const std::string& word) {
  std::optional<size_t> position = RackIndex(word);
  if (!position) return;
  std::shared_ptr<VST> record;
  {
    std::lock_guard guard(workbenchLock);
    if (*position >= vsts.size()) return;
    record = vsts[*position];
  }
  const std::string number = std::to_string(*position + 1);
  auto* remote = plexar::remote::AsRemote(record->plugin);
  if (!remote || remote->EndText().empty()) return PrintRed("VST #" + number + " is running");
  if (!plexar::Succeeded(remote->Reload())) return PrintRed("Cannot start VST #" + number + " again");
  ConsoleWrite("\x1b[34mVST #" + number + " (" + common::TerminalSafeLine(record->name) +
               ") runs again.\x1b[0m\r\n");
}

}  // namespace

CommandResult VstCommand(const std::string& line, const Words& words) {
  const std::string sub = words.size() > 1 ? words[1] : "";
  const size_t n = words.size();
  if (n == 1) {
    ConsoleWrite(std::string("\x1b[36m") + kVstHelp + "\x1b[0m\r\n");
  } else if (sub == "apply" && n >= 4) {
    Apply(words, true);
  } else if (sub == "remove" && n >= 4) {
    Apply(words, false);
  } else if (sub == "param" && n >= 5) {
    SetParameter(words);
  } else if (sub == "load" && n >= 3) {
    LoadPlugin(RestOfLine(line, 2));
  } else if (sub == "unload" && n >= 3) {
    Unload(words[2]);
  } else if (sub == "list") {
    List();
  } else if (sub == "reload" && n >= 3) {
    Reload(words[2]);
  } else if (sub == "edit" && n >= 3) {
    Edit(words);
  } else if (sub == "save" && n >= 4) {
    Save(words[2], RestOfLine(line, 3));
  }
  return Handled;
}
