// SPDX-License-Identifier: GPL-3.0-or-later
#include "faust/bundle.h"

#include <stdlib.h>
#include <sys/utsname.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

#include "faust/engine_host.h"
#include "faust/faust_engine.h"
#include "plexar/remote/host_process.h"
#include "plexar/remote/remote_vst.h"

namespace fs = std::filesystem;

namespace {

std::string Architecture() {
  utsname machine{};
  return uname(&machine) == 0 ? machine.machine : "x86_64";
}

// The code with its libraries written in, so the bundle needs no Faust libraries installed.
bool ExpandedCode(const std::string& code, std::string* expanded, std::string* error) {
  // A bundle runs in other hosts, unconfined: the rules for model code hold there too.
  if (!ModelCodeAllowed(code, error)) return false;
  if (plexar::remote::HostsConfigured()) {
    return plexar::Succeeded(plexar::remote::ExpandFaustInHost(code, expanded, error));
  }
  std::unique_ptr<faust_engine::FaustExports, EngineObjectRelease> engine(CreateEngineObject());
  if (!engine) return *error = "the Faust engine is not loaded", false;
  size_t size = 0;
  engine->ExpandCode(code.data(), code.size(), nullptr, &size);
  if (size == 0) return *error = "the code does not compile", false;
  expanded->resize(size);
  if (!engine->ExpandCode(code.data(), code.size(), expanded->data(), &size)) {
    return *error = "the code does not compile", false;
  }
  expanded->resize(size);
  return true;
}

bool WriteText(const fs::path& file, const std::string& text) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  out.close();
  return static_cast<bool>(out);
}

// Only a folder that is itself a bundle may be replaced; anything else stays untouched.
bool MayReplace(const fs::path& bundle, std::string* error) {
  std::error_code ec;
  if (!fs::exists(fs::symlink_status(bundle, ec))) return true;
  if (fs::is_directory(fs::symlink_status(bundle, ec)) && fs::exists(bundle / "Contents", ec)) {
    return true;
  }
  *error = bundle.string() + " exists and is not a VST 3 bundle";
  return false;
}

// The expanded code is what loads; the code as written goes beside it, for people to read.
bool Assemble(const fs::path& folder, const std::string& name, const std::string& code,
              const std::string& expanded, std::string* error) {
  std::error_code ec;
  const fs::path binaries = folder / "Contents" / (Architecture() + "-linux");
  const fs::path resources = folder / "Contents" / "Resources";
  if (!fs::create_directories(binaries, ec) || !fs::create_directories(resources, ec)) {
    return *error = "cannot create " + binaries.string() + ": " + ec.message(), false;
  }
  if (!fs::copy_file(faustDll, binaries / (name + ".so"), ec)) {
    return *error = "cannot copy the engine: " + ec.message(), false;
  }
  const fs::path source = resources / "Source";
  fs::create_directories(source, ec);
  for (const auto& [file, text] : {std::pair{resources / (name + ".dsp"), &expanded},
                                   std::pair{source / (name + ".dsp"), &code}}) {
    if (!WriteText(file, *text)) return *error = "cannot write " + file.string(), false;
  }
  return true;
}

fs::path BundlePath(const std::string& target) {
  fs::path bundle = target;
  if (bundle.filename().empty()) bundle = bundle.parent_path();
  if (bundle.extension() != ".vst3") bundle += ".vst3";
  std::error_code ec;
  return fs::absolute(bundle, ec);
}

}  // namespace

bool MayWriteFaustBundle(const std::string& target, std::string* error) {
  return MayReplace(BundlePath(target), error);
}

std::string WriteFaustBundle(const std::string& code, const std::string& target,
                             std::string* error) {
  if (EnsureFaustEngine().empty()) return *error = "this build carries no Faust engine", "";
  const fs::path bundle = BundlePath(target);
  std::error_code ec;
  const std::string name = bundle.stem().string();
  std::string expanded;
  if (name.empty() || !ExpandedCode(code, &expanded, error) || !MayReplace(bundle, error)) return {};
  fs::create_directories(bundle.parent_path(), ec);
  // Built beside the target and renamed into place, so a failure leaves no half bundle.
  std::string staging = bundle.string() + ".XXXXXX";
  if (!mkdtemp(staging.data())) return *error = "cannot write to " + bundle.parent_path().string(), "";
  if (!Assemble(staging, name, code, expanded, error)) {
    fs::remove_all(staging, ec);
    return {};
  }
  fs::remove_all(bundle, ec);
  fs::rename(staging, bundle, ec);
  if (ec) {
    *error = "cannot move the bundle into place: " + ec.message();
    fs::remove_all(staging, ec);
    return {};
  }
  return bundle.string();
}

std::string BundleCodeProblem(const std::string& path) {
  fs::path bundle = path;
  if (bundle.filename().empty()) bundle = bundle.parent_path();
  if (bundle.extension() != ".vst3") return {};
  std::ifstream in(bundle / "Contents" / "Resources" / (bundle.stem().string() + ".dsp"), std::ios::binary);
  const std::string code((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (code.empty()) return {};
  std::string error;
  // Compiled where model code is, confined when hosts are.
  if (plexar::remote::HostsConfigured()) {
    if (plexar::Succeeded(plexar::remote::CompileFaustInHost(code, &error))) return {};
  } else {
    std::unique_ptr<faust_engine::FaustExports, EngineObjectRelease> engine(CreateEngineObject());
    if (!engine) return {};
    char message[faust_engine::kTextBufferSize] = {};
    if (engine->Compile(code.data(), code.size(), message)) return {};
    message[sizeof message - 1] = 0;
    error = message;
  }
  return "its code does not compile: " + error;
}
