// SPDX-License-Identifier: GPL-3.0-or-later
#include "faust/engine_host.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "faust/code_policy.h"
#include "faust/faust_engine.h"
#include "faust/workbench.h"
#include "platform/resources.h"
#include "plexar/remote/confine.h"
#include "plexar/remote/host_server.h"
#include "plexar/vst.h"

namespace {

using plexar::HRESULT;
using plexar::remote::MessageReader;
using plexar::remote::MessageWriter;
using plexar::remote::Op;

constexpr int kSocket = 3;
// Enough for the largest effects of the Faust libraries; a delay line of gigabytes is not.
constexpr size_t kEngineMemory = size_t{1} << 30;

using Engine = std::unique_ptr<faust_engine::FaustExports, EngineObjectRelease>;

class EngineExtension : public plexar::remote::HostExtension {
 public:
  bool Handle(Op op, MessageReader& args, MessageWriter& out, HRESULT* hr) override {
    switch (op) {
      case Op::kCompileFaust: {
        std::string error;
        *hr = Compile(Engine(CreateEngineObject()), args.Text(), &error) ? plexar::S_OK
                                                                          : (out.Text(error), plexar::E_FAIL);
        return true;
      }
      case Op::kExpandFaust: *hr = Expand(args.Text(), out); return true;
      case Op::kLibraryFolder: out.Text(faustFolder); *hr = plexar::S_OK; return true;
      default: return false;
    }
  }

  plexar::VST* CreateFaustInstance(const std::string& code, std::string* error) override {
    // One engine object for both: it compiles the code once for the two calls.
    Engine engine(CreateEngineObject());
    if (!Compile(engine, code, error)) return nullptr;
    engine->Install(code.data(), code.size(), faust_engine::kDefaultName);
    plexar::VST* vst = nullptr;
    if (plexar::CreateVst3(faustModule, &vst) != plexar::S_OK || !vst) return *error = "no plug-in object", nullptr;
    // The host closes the module it is handed; it gets a reference of its own.
    void* module = dlopen(faustDll.c_str(), RTLD_NOW | RTLD_LOCAL);
    const std::filesystem::path path = faustDll;
    if (!plexar::Succeeded(vst->Load(&path, module, nullptr, 0, 32, 0))) {
      vst->Release();
      return *error = "the compiled effect could not be started", nullptr;
    }
    return vst;
  }

 private:
  static bool Compile(const Engine& engine, const std::string& code, std::string* error) {
    if (!engine) return *error = "the Faust engine is not loaded", false;
    char message[faust_engine::kTextBufferSize] = {};
    if (engine->Compile(code.data(), code.size(), message)) return true;
    message[sizeof message - 1] = 0;
    *error = message;
    return false;
  }

  static HRESULT Expand(const std::string& code, MessageWriter& out) {
    Engine engine(CreateEngineObject());
    if (!engine) return out.Text("the Faust engine is not loaded"), plexar::E_FAIL;
    size_t size = 0;
    engine->ExpandCode(code.data(), code.size(), nullptr, &size);
    std::vector<uint8_t> expanded(size);
    if (size == 0 || !engine->ExpandCode(code.data(), code.size(),
                                         reinterpret_cast<char*>(expanded.data()), &size)) {
      return out.Text("the code does not compile"), plexar::E_FAIL;
    }
    expanded.resize(size);
    out.Bytes(expanded);
    return plexar::S_OK;
  }
};

// What the engine needs to run, and nothing of the user's own files.
std::vector<std::string> EngineReadable() {
  std::vector<std::string> paths = {"/usr", "/lib", "/lib64", "/bin", "/etc", "/proc/self",
                                    "/proc/cpuinfo", "/proc/meminfo", "/sys/devices/system/cpu",
                                    "/dev/urandom", "/dev/zero", "/tmp/.X11-unix",
                                    platform::UnpackFolder().string()};
  if (!faustFolder.empty()) paths.push_back(faustFolder);
  // The compiled effects' editor draws text: without the font caches fontconfig would read
  // every font file at each start.
  paths.push_back("/var/cache/fontconfig");
  if (const char* auth = std::getenv("XAUTHORITY")) paths.push_back(auth);
  if (const char* home = std::getenv("HOME")) paths.push_back(std::string(home) + "/.Xauthority");
  return paths;
}

}  // namespace

int RunPluginHost(const std::string& kind) {
  if (kind == "plugin") {
    plexar::remote::Confine({});
    return plexar::remote::ServeHost(kSocket, nullptr);
  }
  if (kind != "engine") return 2;
  // Loaded and given its library folder before the doors close.
  EnsureFaustEngine();
  if (!faustFolder.empty() && chdir((faustFolder + "/libs").c_str()) != 0) (void)!chdir("/");
  // Model code is compiled here: nothing in this process may start another program.
  plexar::remote::Confine({EngineReadable(), kEngineMemory, true});
  EngineExtension extension;
  return plexar::remote::ServeHost(kSocket, &extension);
}

bool ModelCodeAllowed(const std::string& code, std::string* error) {
  if (faustFolder.empty()) return true;  // no engine: nothing will compile it
  *error = faust::CheckModelCode(code, faust::PolicyFor(faustFolder + "/libs"));
  return error->empty();
}

