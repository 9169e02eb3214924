// SPDX-License-Identifier: GPL-3.0-or-later
#include "faust/engine/engine_state.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <vector>

#include "faust/engine/faust_exports.h"

namespace faust_engine {

namespace {

namespace fs = std::filesystem;

struct State {
  std::mutex lock;
  std::shared_ptr<const Program> installed;
  bool bundleChecked = false;
  bool bundle = false;
  std::shared_ptr<const Program> bundleProgram;
  int entries = 0;
};

State& Engine() {
  static State state;
  return state;
}

// <Name>.vst3/Contents/<arch>-linux/<Name>.so → <Name>.vst3/Contents/Resources/<Name>.dsp, or
// the first code file there when the bundle was renamed by hand.
fs::path BundleCodeFile(const fs::path& module) {
  const fs::path contents = module.parent_path().parent_path();
  if (contents.filename() != "Contents" || contents.parent_path().extension() != ".vst3") return {};
  std::error_code error;
  const fs::path own = contents / "Resources" / (module.stem().string() + ".dsp");
  if (fs::is_regular_file(own, error)) return own;
  std::vector<fs::path> found;
  for (const auto& entry : fs::directory_iterator(contents / "Resources", error)) {
    if (entry.path().extension() == ".dsp") found.push_back(entry.path());
  }
  std::sort(found.begin(), found.end());
  return found.empty() ? fs::path() : found.front();
}

void LoadBundleProgram(State& state) {
  state.bundleChecked = true;
  const fs::path module = ModuleFile();
  const fs::path codeFile = BundleCodeFile(module);
  if (codeFile.empty()) return;
  state.bundle = true;
  std::ifstream in(codeFile, std::ios::binary);
  std::string code((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::string error = in.bad() || code.empty() ? "cannot read " + codeFile.string() : "";
  // Files the code imports are found beside it, whatever the host's working folder.
  if (error.empty()) {
    state.bundleProgram = CompileProgram(code, codeFile.stem().string(), &error,
                                         codeFile.parent_path().string());
  }
  if (!state.bundleProgram) {
    // The host sees only a module without classes; this line is the reason it can log.
    std::fprintf(stderr, "%s: cannot start: %s\n",
                 module.parent_path().parent_path().parent_path().c_str(), error.c_str());
  }
}

}  // namespace

std::string ModuleFile() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&ModuleFile), &info) == 0 || !info.dli_fname) return {};
  return info.dli_fname;
}

bool IsBundle() {
  State& state = Engine();
  std::lock_guard guard(state.lock);
  if (!state.bundleChecked) LoadBundleProgram(state);
  return state.bundle;
}

std::shared_ptr<const Program> CurrentProgram() {
  State& state = Engine();
  std::lock_guard guard(state.lock);
  if (!state.bundleChecked) LoadBundleProgram(state);
  return state.bundle ? state.bundleProgram : state.installed;
}

void InstallProgram(std::shared_ptr<const Program> program) {
  State& state = Engine();
  std::lock_guard guard(state.lock);
  state.installed = std::move(program);
}

void EnterModule() {
  State& state = Engine();
  std::lock_guard guard(state.lock);
  ++state.entries;
}

void ExitModule() {
  State& state = Engine();
  std::shared_ptr<const Program> dropped;
  std::lock_guard guard(state.lock);
  if (state.entries > 0 && --state.entries == 0) dropped = std::move(state.installed);
}

}  // namespace faust_engine
