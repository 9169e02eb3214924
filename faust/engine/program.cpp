// SPDX-License-Identifier: GPL-3.0-or-later
#include "faust/engine/program.h"

#include <faust/dsp/libfaust.h>
#include <faust/dsp/llvm-dsp.h>

#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "faust/engine/compile_target.h"
#include "faust/engine/flushing_dsp.h"

namespace faust_engine {

namespace {

// Beyond this a program is surely not an effect a host can route.
constexpr int kMaxChannels = 64;

std::vector<std::string> CompilerArguments(const std::string& codeFolder = {}) {
  // No -ftz: every instance runs with the CPU flushing denormals (FlushingDsp), which costs
  // nothing per sample where -ftz adds a test to every recursion. -mcd 0 keeps every delay
  // in a ring buffer: LLVM makes slower code of the shifting copies Faust otherwise uses for
  // delays under 16 samples (a fifth of the Zita reverb's time).
  std::vector<std::string> args = {"-mcd", "0"};
  if (!codeFolder.empty()) args.insert(args.end(), {"-I", codeFolder});
  if (std::string libs = SystemLibraryFolder(); !libs.empty()) {
    args.push_back("-I");
    args.push_back(libs);
  }
  return args;
}

// Asked once: the answer cannot change while the process runs.
std::string HostCompileTarget() {
#if defined(__x86_64__)
  static const std::string target =
      CompileTarget(getDSPMachineTarget(), __builtin_cpu_supports("x86-64-v3"));
  return target;
#else
  return {};
#endif
}

std::vector<const char*> Pointers(const std::vector<std::string>& args) {
  std::vector<const char*> argv;
  for (const auto& a : args) argv.push_back(a.c_str());
  return argv;
}

// The first 16 bytes of the program's SHA key (hexadecimal), so that two programs with
// different code never share a class id.
plexar::vst3::Uid ClassIdFromKey(const std::string& key) {
  plexar::vst3::Uid uid{};
  for (size_t i = 0; i < 16 && 2 * i + 1 < key.size(); ++i) {
    unsigned byte = 0;
    std::from_chars(key.data() + 2 * i, key.data() + 2 * i + 2, byte, 16);
    uid.bytes[i] = static_cast<char>(byte);
  }
  return uid;
}

}  // namespace

std::mutex& CompilerLock() {
  static std::mutex lock;
  return lock;
}

Program::~Program() {
  if (!factory) return;
  std::lock_guard guard(CompilerLock());
  deleteDSPFactory(factory);
}

dsp* Program::CreateInstance() const {
  dsp* instance = nullptr;
  {
    std::lock_guard guard(CompilerLock());
    instance = factory->createDSPInstance();
  }
  return instance ? new FlushingDsp(instance) : nullptr;
}

void Program::DeleteInstance(dsp* instance) { delete instance; }

std::string SystemLibraryFolder() {
  std::vector<std::filesystem::path> candidates;
  if (const char* own = std::getenv("FAUST_LIB_PATH")) candidates.emplace_back(own);
  candidates.emplace_back("/usr/share/faust");
  candidates.emplace_back("/usr/local/share/faust");
  std::error_code error;
  for (const auto& folder : candidates) {
    if (std::filesystem::exists(folder / "stdfaust.lib", error)) return folder.string();
  }
  return {};
}

std::shared_ptr<const Program> CompileProgram(const std::string& code,
                                              const std::string& defaultName, std::string* error,
                                              const std::string& codeFolder) {
  const std::vector<std::string> args = CompilerArguments(codeFolder);
  std::vector<const char*> argv = Pointers(args);
  auto program = std::make_shared<Program>();
  std::string message;
  {
    std::lock_guard guard(CompilerLock());
    program->factory = createDSPFactoryFromString(defaultName, code, static_cast<int>(argv.size()),
                                                  argv.data(), HostCompileTarget(), message, -1);
    if (!program->factory) {
      *error = message.empty() ? "the code does not compile" : message;
      return nullptr;
    }
    program->name = program->factory->getName();
    program->cid = ClassIdFromKey(program->factory->getSHAKey());
  }
  if (program->name.empty()) program->name = defaultName;
  dsp* probe = program->CreateInstance();
  if (!probe) {
    *error = "the compiled code cannot be instantiated";
    return nullptr;
  }
  program->inputs = probe->getNumInputs();
  program->outputs = probe->getNumOutputs();
  Program::DeleteInstance(probe);
  if (program->outputs < 1) {
    *error = "process has no audio outputs, so it cannot be used as an effect";
    return nullptr;
  }
  if (program->inputs > kMaxChannels || program->outputs > kMaxChannels) {
    *error = "process has more than 64 inputs or outputs";
    return nullptr;
  }
  return program;
}

std::string ExpandProgramCode(const std::string& code, const std::string& defaultName,
                              bool declaresName, std::string* error) {
  const std::vector<std::string> args = CompilerArguments();
  std::vector<const char*> argv = Pointers(args);
  std::string key, message, expanded;
  {
    std::lock_guard guard(CompilerLock());
    expanded = expandDSPFromString(defaultName, code, static_cast<int>(argv.size()), argv.data(),
                                   key, message);
  }
  if (expanded.empty()) *error = message.empty() ? "the code does not compile" : message;
  // The expansion declares a name always; code without one keeps taking its file's name.
  const std::string named = "declare name \"" + defaultName + "\";\n";
  if (const size_t at = expanded.find(named); !declaresName && at != std::string::npos) {
    expanded.erase(at, named.size());
  }
  return expanded;
}

}  // namespace faust_engine
