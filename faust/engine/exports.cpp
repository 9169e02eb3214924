// SPDX-License-Identifier: GPL-3.0-or-later
// The engine object Tessary drives: compile, install, expand, and the libraries folder.
#include <faust/dsp/libfaust.h>
#include <faust/dsp/llvm-dsp.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "faust/engine/engine_state.h"
#include "faust/engine/faust_exports.h"

namespace faust_engine {

namespace {

namespace fs = std::filesystem;

void CopyText(char* buffer, size_t size, const std::string& text) {
  if (!buffer || size == 0) return;
  size_t n = std::min(text.size(), size - 1);
  std::memcpy(buffer, text.data(), n);
  buffer[n] = 0;
}

// The folder gets a `libs` link to this machine's Faust libraries, so that the folder the
// model is told about really holds them under that name.
bool HasLibs(const fs::path& folder, const std::string& system, bool create) {
  std::error_code error;
  if (fs::exists(folder / "libs" / "stdfaust.lib", error)) return true;
  if (!create || system.empty()) return false;
  fs::create_directories(folder, error);
  fs::remove(folder / "libs", error);  // a dangling link left by an older installation
  fs::create_directory_symlink(system, folder / "libs", error);
  return !error && fs::exists(folder / "libs" / "stdfaust.lib", error);
}

fs::path DataFolder() {
  if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data) return fs::path(data) / "tessary" / "faust";
  if (const char* home = std::getenv("HOME"); home && *home) {
    return fs::path(home) / ".local" / "share" / "tessary" / "faust";
  }
  return {};
}

class Exports final : public FaustExports {
 public:
  int32_t QueryInterface(const void*, void** object) override {
    if (object) *object = nullptr;
    return -1;
  }
  uint32_t AddRef() override { return ++refs_; }
  uint32_t Release() override {
    uint32_t left = --refs_;
    if (left == 0) delete this;
    return left;
  }
  int32_t InterfaceVersion() override { return 1; }
  void CompilerVersion(char* buffer, size_t size) override {
    CopyText(buffer, size, getCLibFaustVersion());
  }
  void Target(char* buffer, size_t size) override {
    std::lock_guard guard(CompilerLock());
    CopyText(buffer, size, getDSPMachineTarget());
  }
  bool Compile(const char* code, size_t length, char* error) override {
    std::string message;
    if (!CompileOnce(std::string(code ? code : "", code ? length : 0), kDefaultName, &message)) {
      CopyText(error, kTextBufferSize, message);
    }
    return lastProgram_ != nullptr;
  }
  void Install(const char* code, size_t length, const char* name) override {
    std::string message;
    if (CompileOnce(std::string(code ? code : "", code ? length : 0),
                    name && *name ? name : kDefaultName, &message)) {
      InstallProgram(lastProgram_);
    }
  }
  // Asked twice, for the size and then for the text: the second answer reuses the first.
  // Only code that compiles into an effect is expanded, so what comes out is known to run.
  bool ExpandCode(const char* code, size_t length, char* out, size_t* size) override {
    if (!size) return false;
    std::string message;
    if (!CompileOnce(std::string(code ? code : "", code ? length : 0), kDefaultName, &message)) {
      return *size = 0, false;
    }
    if (lastExpanded_.empty()) {
      const bool named = lastProgram_->name != kDefaultName;
      lastExpanded_ = ExpandProgramCode(lastCode_, kDefaultName, named, &message);
    }
    const std::string& expanded = lastExpanded_;
    if (expanded.empty()) return *size = 0, false;
    const bool fits = out && *size >= expanded.size();
    if (fits) std::memcpy(out, expanded.data(), expanded.size());
    *size = expanded.size();
    return fits;
  }
  void LibraryFolder(char* buffer, size_t size, bool create) override {
    const std::string system = SystemLibraryFolder();
    std::string chosen;
    for (const fs::path& folder : {fs::path(ModuleFile()).parent_path(), DataFolder()}) {
      if (!folder.empty() && HasLibs(folder, system, create)) {
        chosen = folder.string();
        break;
      }
    }
    CopyText(buffer, size, chosen);
  }

 private:
  // The code compiled last, its program and its expansion, so that Compile then Install, or
  // the two ExpandCode calls, compile and expand it once.
  bool CompileOnce(const std::string& code, const std::string& name, std::string* message) {
    if (lastProgram_ && code == lastCode_ && name == lastName_) return true;
    lastCode_ = code, lastName_ = name, lastExpanded_.clear();
    lastProgram_ = CompileProgram(code, name, message);
    return lastProgram_ != nullptr;
  }

  std::atomic<uint32_t> refs_{1};
  std::string lastCode_, lastName_, lastExpanded_;
  std::shared_ptr<const Program> lastProgram_;
};

}  // namespace

}  // namespace faust_engine

extern "C" __attribute__((visibility("default"))) void CreateFaustExportsClass(
    faust_engine::FaustExports** object) {
  if (object) *object = new (std::nothrow) faust_engine::Exports();
}
