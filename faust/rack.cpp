// SPDX-License-Identifier: GPL-3.0-or-later
#include "faust/rack.h"

#include <dlfcn.h>

#include <cstring>
#include <memory>
#include <sstream>

#include "common/terminal_text.h"
#include "faust/bundle.h"
#include "faust/engine_host.h"
#include "faust/faust_engine.h"
#include "faust/host_notices.h"
#include "faust/workbench.h"
#include "platform/console.h"
#include "plexar/remote/remote_vst.h"
#include "plexar/vst.h"

using platform::ConsoleWrite;

VST::~VST() {
  if (!plugin) return;
  plugin->FreeBuffers();
  inputs = outputs = nullptr;
  plugin->Unload();
  plugin->Release();
}

namespace {

std::string DoubleText(double value) {
  std::ostringstream text;
  text << value;
  return text.str();
}

// The message quotes the model's code, so it is peer text like the code itself.
bool CompileFailed(VST& record, const std::string& error, bool report) {
  if (report)
    ConsoleWrite("\x1b[31mFaust compilation error: " + common::TerminalSafe(error) + "\x1b[0m\r\n");
  record.error = error;
  return false;
}

// Compiles `code` and installs it as the engine's program. False with the compiler's
// message kept in `record.error` (and printed when `report`) when it does not compile.
bool CompileIntoEngine(VST& record, const std::string& code, bool report) {
  std::unique_ptr<faust_engine::FaustExports, EngineObjectRelease> engine(CreateEngineObject());
  if (!engine) return false;
  char error[faust_engine::kTextBufferSize] = {};
  if (!engine->Compile(code.data(), code.size(), error)) {
    error[sizeof error - 1] = 0;
    return CompileFailed(record, error, report);
  }
  engine->Install(code.data(), code.size(), faust_engine::kDefaultName);
  record.code = code;
  return true;
}

// The host closes the module it was handed when the entry is unloaded; it gets a reference
// of its own, so the engine stays loaded for the other entries and later compilations.
void* EngineReferenceForHost() {
  return faustModule ? dlopen(faustDll.c_str(), RTLD_NOW | RTLD_LOCAL) : nullptr;
}

std::string ParameterShown(plexar::VST& plugin, const plexar::ParameterRecord& param) {
  plexar::BSTR text;
  if (plugin.GetParameterText(param.id, static_cast<float>(param.value), &text) == plexar::S_OK &&
      !text.empty()) {
    return text;
  }
  return DoubleText(param.value);
}

void PrintBanner(VST& record) {
  using common::TerminalSafeLine;
  std::string out = "\x1b[36mLoaded plugin: " + TerminalSafeLine(record.name) + " by " +
                    TerminalSafeLine(record.vendor) + "\r\n";
  for (const auto& param : record.params) {
    out += "Parameter: " + TerminalSafeLine(param.name) + " (" +
           TerminalSafeLine(ParameterShown(*record.plugin, param)) + ")\r\n";
  }
  out += "\x1b[0m\x1b[33mUse /vst param " + std::to_string(vsts.size() + 1) +
         " <name> <value> to set parameter values\r\n\x1b[0m";
  ConsoleWrite(out);
}

// A plug-in file that has no VST 3 factory is tried as a VST 2 plug-in.
plexar::HRESULT LoadPlugin(VST& record, bool useEngine) {
  const std::filesystem::path path = record.file;
  // The host takes over the module reference it is handed.
  void* module = useEngine ? EngineReferenceForHost() : nullptr;
  plexar::HRESULT loaded = record.plugin->Load(&path, module, nullptr, 0, 32, 0);
  if (!useEngine) record.error = record.plugin->LoadError();
  if (loaded != plexar::E_NOINTERFACE || useEngine) return loaded;
  plexar::VST* vst2 = nullptr;
  if (plexar::CreateVst2(nullptr, &vst2) != plexar::S_OK || !vst2) return loaded;
  record.plugin->Release();
  record.plugin = vst2;
  loaded = vst2->Load(&path, nullptr, nullptr, 0, 32, 0);
  if (loaded >= 0) record.error.clear();
  else if (record.error.empty()) record.error = vst2->LoadError();
  return loaded;
}

// In a host process: the engine host compiles and runs the code, a plug-in file gets a host
// of its own.
bool LoadIntoHost(VST& record, const std::string* code, bool report) {
  using plexar::remote::HostKind;
  auto* remote = new plexar::remote::RemoteVST(code ? HostKind::kEngine : HostKind::kPlugin);
  record.plugin = remote;
  std::string error;
  const std::filesystem::path path = record.file;
  plexar::HRESULT hr = code ? remote->LoadFaust(*code, &error)
                            : remote->Load(&path, nullptr, nullptr, 0, 32, 0);
  if (!plexar::Succeeded(hr)) {
    if (!code) record.error = remote->LoadFailure();
    remote->Release();
    record.plugin = nullptr;
    return code ? CompileFailed(record, error, report) : false;
  }
  if (code) record.code = *code;
  return true;
}

bool LoadInProcess(VST& record, const std::string* code, bool report) {
  const bool useEngine = code != nullptr;
  plexar::VST* plugin = nullptr;
  if (plexar::CreateVst3(faustModule, &plugin) != plexar::S_OK || !plugin) {
    if (plexar::CreateVst2(faustModule, &plugin) != plexar::S_OK || !plugin) return false;
  }
  record.plugin = plugin;
  if (useEngine && faustModule && !CompileIntoEngine(record, *code, report)) return false;
  if (LoadPlugin(record, useEngine) < 0) {
    record.plugin->Release();
    record.plugin = nullptr;
    return false;
  }
  return true;
}

// Loads the plug-in of `record.file`, or with `code` the engine running that code, and sets
// it up for the workbench's blocks; prints nothing but a compiler error when `report`.
bool OpenInstance(VST& record, const std::string* code, bool report) {
  record.error.clear();
  if (record.file.empty()) return false;
  std::string refusal;
  if (code && !ModelCodeAllowed(*code, &refusal)) return CompileFailed(record, refusal, report);
  const bool loaded = plexar::remote::HostsConfigured() ? LoadIntoHost(record, code, report)
                                                        : LoadInProcess(record, code, report);
  if (!loaded) return false;
  plexar::VST* plugin = record.plugin;
  plexar::BSTR name, vendor;
  plugin->GetInfo(&name, &vendor);
  record.name = name, record.vendor = vendor;
  plugin->SetSampleRate(48000);
  plugin->SetFormat(48000, 512, 32, 0);
  plugin->AllocateBuffersEx(&record.inputs, &record.outputs);
  plugin->GetChannelCounts(&record.numInputs, &record.numOutputs, &record.numEventInputs,
                           &record.numEventOutputs);
  plugin->GetParameters(&record.params);
  return true;
}

}  // namespace

bool LoadVst(VST& record, bool useEngine) {
  if (!OpenInstance(record, useEngine ? &faustCode : nullptr, true)) {
    // A saved bundle whose code does not compile here offers no class; its code tells why.
    if (!useEngine) {
      if (std::string why = BundleCodeProblem(record.file); !why.empty()) record.error = "cannot start: " + why;
    }
    return false;
  }
  PrintBanner(record);
  record.plugin->Resume(0);
  WatchHostEnd(record);
  return true;
}

std::shared_ptr<VST> LoadCopy(const VST& original, std::string* error) {
  auto copy = std::make_shared<VST>();
  copy->file = original.file;
  const bool compiled = !original.code.empty();
  if (!original.plugin || !OpenInstance(*copy, compiled ? &original.code : nullptr, false)) {
    *error = "cannot load a second instance of " + original.name;
    return nullptr;
  }
  // Only the interface's own calls: the instance may live in another process.
  std::lock_guard guard(workbenchLock);
  plexar::VST& from = *original.plugin;
  plexar::VST& to = *copy->plugin;
  int32_t program = 0;
  if (from.GetProgram(&program) == plexar::S_OK) to.SetProgram(program);
  plexar::ByteArray state;
  if (from.GetState(0, &state) == plexar::S_OK && !state.empty()) to.SetState(0, &state);
  std::vector<plexar::ParameterRecord> params;
  from.GetParameters(&params);
  for (const plexar::ParameterRecord& param : params) {
    float value = 0;
    if (from.GetParameter(param.id, &value) == plexar::S_OK) to.SetParameter(param.id, value);
  }
  to.GetParameters(&copy->params);
  to.Resume(0);
  return copy;
}
