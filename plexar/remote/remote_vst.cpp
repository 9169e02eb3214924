// SPDX-License-Identifier: GPL-3.0-or-later
#include "plexar/remote/remote_vst.h"

#include <unistd.h>

#include <cstring>

namespace plexar::remote {

namespace {

using namespace std::chrono_literals;

// Loading a plug-in or compiling code may take a while; past this the host is ended.
constexpr auto kLoadLimit = 30s;
constexpr auto kEditorLimit = 10s;

std::mutex engineLock;
std::shared_ptr<HostProcess> engineHost;

std::shared_ptr<HostProcess> EngineHost() {
  std::lock_guard guard(engineLock);
  if (!engineHost || !engineHost->Alive()) engineHost = HostProcess::Start(HostKind::kEngine);
  return engineHost;
}

std::string ReadError(const std::vector<uint8_t>& reply) {
  MessageReader read(reply);
  std::string text = read.Text();
  return read.Good() ? text : "the engine sent no message";
}

std::string FailureText(HRESULT hr, const std::string& fallback) {
  if (hr == E_HOST_TIMEOUT) return "took too long";
  if (hr == E_HOST_CANCELLED) return "cancelled";
  if (hr == E_HOST_GONE) return "the engine host ended while compiling";
  return fallback;
}

}  // namespace

RemoteVST* AsRemote(VST* vst) { return dynamic_cast<RemoteVST*>(vst); }

RemoteVST::RemoteVST(HostKind kind) : kind_(kind) {}

RemoteVST::~RemoteVST() {
  if (auto host = Host()) host->ForgetEnd(instance_), host->ForgetLate(instance_);
}

std::shared_ptr<HostProcess> RemoteVST::Host() const {
  std::lock_guard guard(hostLock_);
  return host_;
}

HRESULT RemoteVST::Call(Op op, const MessageWriter& args, std::vector<uint8_t>* reply,
                        std::chrono::milliseconds limit, int fd, bool cancellable) {
  std::shared_ptr<HostProcess> host = Host();
  if (!host || ended_) return E_HOST_GONE;
  return host->Call(op, instance_, args, reply, limit, fd, cancellable);
}

HRESULT RemoteVST::Attach(const std::shared_ptr<HostProcess>& host) {
  if (!host) return E_HOST_GONE;
  {
    std::lock_guard guard(hostLock_);
    host_ = host;
    instance_ = host->NewInstance();
  }
  ended_ = false, endedMidBlock_ = false, running_ = false, late_ = false, inBlock_ = false;
  host->OnEnd(instance_, [this](const std::string& why) {
    // A block still out when the host went makes this entry the likely one at fault.
    endedMidBlock_ = inBlock_.load();
    ended_ = true, running_ = false;
    std::lock_guard guard(onEndLock_);
    if (onEnd_) onEnd_(why);
  });
  return S_OK;
}

void RemoteVST::OnHostEnd(std::function<void(const std::string& why)> call) {
  std::lock_guard guard(onEndLock_);
  onEnd_ = std::move(call);
}

std::string RemoteVST::EndText() const {
  if (!ended_) return {};
  auto host = Host();
  return host ? host->EndText() : "ended";
}

HRESULT RemoteVST::ReadLoadReply(const std::vector<uint8_t>& reply) {
  MessageReader read(reply);
  name = read.Text(), vendor = read.Text(), subCategories = read.Text();
  vstVersion = read.I32();
  int32_t counts[4];
  for (int32_t& count : counts) count = read.I32();
  latency_ = read.I32();
  if (!read.Good()) return E_FAIL;
  for (int32_t count : counts) {
    if (count < 0 || count > kMaxChannels) return E_FAIL;
  }
  audioInputs.assign(static_cast<size_t>(counts[0]), ChannelRecord{});
  audioOutputs.assign(static_cast<size_t>(counts[1]), ChannelRecord{});
  eventInputs.assign(static_cast<size_t>(counts[2]), ChannelRecord{});
  eventOutputs.assign(static_cast<size_t>(counts[3]), ChannelRecord{});
  return S_OK;
}

HRESULT RemoteVST::Load(const std::filesystem::path* file, void*, void*, int32_t, int32_t, int32_t) {
  if (!file) return E_POINTER;
  if (kind_ != HostKind::kPlugin) return E_UNEXPECTED;
  loadFailure_.clear();
  // A host still starting is part of the load: Ctrl+C ends it too.
  HRESULT started = S_OK;
  if (Attach(HostProcess::Start(HostKind::kPlugin, true, &started)) != S_OK) {
    if (started == E_HOST_CANCELLED) loadFailure_ = "was cancelled";
    return E_FAIL;
  }
  path = *file;
  std::vector<uint8_t> reply;
  HRESULT hr = Call(Op::kLoad, MessageWriter().Text(file->string()), &reply, kLoadLimit, -1, true);
  if (Succeeded(hr)) hr = ReadLoadReply(reply);
  // A host whose plug-in could not be loaded is of no further use.
  if (!Succeeded(hr)) {
    if (auto host = Host()) {
      host->ForgetEnd(instance_);
      if (hr == E_HOST_GONE && host->WaitEnded(std::chrono::seconds(1))) loadFailure_ = host->EndText();
      host->Kill(false);
    }
    if (hr == E_HOST_CANCELLED) loadFailure_ = "was cancelled";
    if (hr == E_HOST_TIMEOUT) loadFailure_ = "took too long";
    if (loadFailure_.empty() && !reply.empty()) loadFailure_ = MessageReader(reply).Text();
    ended_ = true;
    return hr == E_NOINTERFACE ? hr : E_FAIL;
  }
  return S_OK;
}

HRESULT RemoteVST::LoadFaust(const std::string& code, std::string* error) {
  if (kind_ != HostKind::kEngine) return E_UNEXPECTED;
  if (Attach(EngineHost()) != S_OK) return *error = "the Faust engine host could not be started", E_FAIL;
  std::vector<uint8_t> reply;
  HRESULT hr = Call(Op::kLoadFaust, MessageWriter().Text(code), &reply, kLoadLimit, -1, true);
  if (!Succeeded(hr)) {
    std::shared_ptr<HostProcess> host = Host();
    if (host) host->ForgetEnd(instance_);
    if (host && hr == E_HOST_GONE) host->WaitEnded(std::chrono::seconds(1));
    *error = hr == E_HOST_GONE && host ? "the Faust engine " + host->EndText() + " while starting this code"
                                       : FailureText(hr, ReadError(reply));
    return hr;
  }
  code_ = code;
  return ReadLoadReply(reply);
}

HRESULT RemoteVST::SendFormatAndRegion() {
  HRESULT hr = Call(Op::kSetFormat, MessageWriter().I32(sampleRate).I32(blockSize).I32(32));
  if (!Succeeded(hr) || !region_) return hr;
  BlockControl* control = region_->Control();
  // The new host starts counting where the old one stopped.
  control->done.store(sent_.load());
  control->request.store(sent_.load());
  control->quit.store(0);
  return Call(Op::kAllocate,
              MessageWriter().I32(region_->Inputs()).I32(region_->Outputs()).I32(region_->Frames()),
              nullptr, 2s, region_->Fd());
}

HRESULT RemoteVST::BuildBuffers(bool, BSTR*) {
  if (inputTable || outputTable) return S_FALSE;
  auto region = std::make_unique<BlockRegion>();
  const auto ins = static_cast<int32_t>(audioInputs.size());
  const auto outs = static_cast<int32_t>(audioOutputs.size());
  if (!region->Create(ins, outs, blockSize)) return E_FAIL;
  region_ = std::move(region);
  deadline_ = BlockDeadline(blockSize, sampleRate);
  inputPointers_.assign(static_cast<size_t>(std::max(ins, 1)), nullptr);
  outputPointers_.assign(static_cast<size_t>(std::max(outs, 1)), nullptr);
  for (int32_t k = 0; k < ins; ++k) inputPointers_[static_cast<size_t>(k)] = region_->Input(k);
  for (int32_t k = 0; k < outs; ++k) outputPointers_[static_cast<size_t>(k)] = region_->Output(k);
  inputTable = inputPointers_.data(), outputTable = outputPointers_.data();
  inputCount = ins, outputCount = outs;
  HRESULT hr = SendFormatAndRegion();
  running_ = Succeeded(hr) && !ended_;
  // Without a host the entry still has buffers and passes audio through.
  return Succeeded(hr) || ended_ ? S_OK : hr;
}

void RemoteVST::FreeFormatBuffers() {
  StopWatchingLate();
  region_.reset();
  inputPointers_.clear(), outputPointers_.clear();
}

void RemoteVST::PlayDry() {
  PassThrough();
  if (late_) return;
  late_ = true;
  if (auto host = Host()) {
    BlockRegion* region = region_.get();
    host->WatchLateBlock(instance_, [this, region] {
      return region->Control()->done.load(std::memory_order_acquire) != sent_.load();
    });
  }
}

void RemoteVST::StopWatchingLate() {
  if (auto host = Host()) host->ForgetLate(instance_);
  late_ = false;
}

HRESULT RemoteVST::Process(uint32_t, int32_t, int64_t, int64_t, int64_t, float, float, float, float,
                           float, int32_t, int32_t) {
  common::ReadGuard guard(pluginLock);
  if (!region_ || !outputTable) return S_OK;
  if (silence) return ClearOutputs();
  if (bypass || !running_) return PassThrough();
  BlockControl* control = region_->Control();
  const uint32_t done = control->done.load(std::memory_order_acquire);
  // The host is still on an earlier block: this one goes by dry rather than queue up.
  if (done != sent_.load()) return PlayDry(), S_OK;
  late_ = false;
  const uint32_t next = sent_.load() + 1;
  sent_.store(next);
  inBlock_ = true;
  control->request.store(next, std::memory_order_release);
  FutexWake(&control->request);
  if (!FutexWaitChange(&control->done, done, deadline_)) return PlayDry(), S_OK;
  inBlock_ = false;
  return S_OK;
}

HRESULT RemoteVST::SetFormat(int32_t rate, int32_t frames, int32_t, int32_t allocate) {
  if (frames <= 0 || frames > kMaxFrames || rate <= 0) return E_INVALIDARG;
  FreeBuffers();
  sampleRate = rate, blockSize = frames, bits = 32;
  HRESULT hr = Call(Op::kSetFormat, MessageWriter().I32(rate).I32(frames).I32(32));
  if (allocate && Succeeded(hr)) hr = AllocateBuffers();
  return hr;
}

HRESULT RemoteVST::Resume(int32_t) {
  resumed_ = true;
  return Call(Op::kResume, MessageWriter());
}

HRESULT RemoteVST::Suspend(int32_t) {
  resumed_ = false;
  return Call(Op::kSuspend, MessageWriter());
}

HRESULT RemoteVST::Unload() {
  if (auto host = Host()) {
    host->ForgetEnd(instance_);
    host->ForgetLate(instance_);
    // A plug-in host serves this one instance only: ending it is the whole unload, and
    // cannot wait on a plug-in that hangs.
    if (kind_ == HostKind::kPlugin) {
      host->Kill(false);
    } else if (host->Alive()) {
      host->Call(Op::kUnload, instance_, MessageWriter(), nullptr, 2s);
    }
  }
  std::lock_guard guard(hostLock_);
  host_.reset();
  ended_ = true;
  return S_OK;
}

HRESULT RemoteVST::Reload() {
  std::shared_ptr<HostProcess> host =
      kind_ == HostKind::kEngine ? EngineHost() : HostProcess::Start(HostKind::kPlugin);
  if (auto old = Host()) old->ForgetEnd(instance_), old->ForgetLate(instance_);
  if (Attach(host) != S_OK) return E_FAIL;
  std::vector<uint8_t> reply;
  HRESULT hr = kind_ == HostKind::kEngine
                   ? Call(Op::kLoadFaust, MessageWriter().Text(code_), &reply, kLoadLimit, -1, true)
                   : Call(Op::kLoad, MessageWriter().Text(path.string()), &reply, kLoadLimit, -1, true);
  if (Succeeded(hr)) hr = ReadLoadReply(reply);
  if (Succeeded(hr)) hr = SendFormatAndRegion();
  if (!Succeeded(hr)) {
    if (kind_ == HostKind::kPlugin) host->Kill(false);
    ended_ = true;
    return hr;
  }
  if (haveState_) Call(Op::kSetState, MessageWriter().I32(0).Bytes(lastState_));
  std::map<int32_t, float> values;
  {
    std::lock_guard guard(valuesLock_);
    values = values_;
  }
  for (const auto& [id, value] : values) Call(Op::kSetParameter, MessageWriter().I32(id).F32(value));
  if (resumed_) Call(Op::kResume, MessageWriter());
  running_ = !ended_;
  return S_OK;
}

HRESULT RemoteVST::GetParameters(std::vector<ParameterRecord>* params) {
  if (!params) return E_POINTER;
  std::vector<uint8_t> reply;
  HRESULT hr = Call(Op::kGetParameters, MessageWriter(), &reply);
  if (!Succeeded(hr)) return hr;
  MessageReader read(reply);
  std::vector<ParameterRecord> made(read.Count());
  for (auto& param : made) {
    param.name = read.Text(), param.shortName = read.Text();
    param.value = read.F64(), param.value2 = read.F64();
    param.id = read.I32();
    param.native = read.Bytes();
  }
  if (!read.Good()) return E_FAIL;
  *params = std::move(made);
  return S_OK;
}

HRESULT RemoteVST::SetParameter(int32_t id, float value) {
  {
    std::lock_guard guard(valuesLock_);
    values_[id] = value;
  }
  return Call(Op::kSetParameter, MessageWriter().I32(id).F32(value));
}

HRESULT RemoteVST::GetParameter(int32_t id, float* value) {
  if (!value) return E_POINTER;
  std::vector<uint8_t> reply;
  HRESULT hr = Call(Op::kGetParameter, MessageWriter().I32(id), &reply);
  MessageReader read(reply);
  if (Succeeded(hr)) *value = read.F32();
  return Succeeded(hr) && !read.Good() ? E_FAIL : hr;
}

HRESULT RemoteVST::GetParameterText(int32_t id, float value, BSTR* text) {
  if (!text) return E_POINTER;
  std::vector<uint8_t> reply;
  HRESULT hr = Call(Op::kParameterText, MessageWriter().I32(id).F32(value), &reply);
  MessageReader read(reply);
  if (Succeeded(hr)) *text = read.Text();
  return Succeeded(hr) && !read.Good() ? E_FAIL : hr;
}

HRESULT RemoteVST::GetParameterDisplay(int32_t id, std::string* text, std::string* unit) {
  if (!text || !unit) return E_POINTER;
  std::vector<uint8_t> reply;
  HRESULT hr = Call(Op::kParameterDisplay, MessageWriter().I32(id), &reply);
  MessageReader read(reply);
  if (Succeeded(hr)) *text = read.Text(), *unit = read.Text();
  return Succeeded(hr) && !read.Good() ? E_FAIL : hr;
}

// The value the host settled on is kept, so that a restarted host gets it back.
HRESULT RemoteVST::SetParameterText(int32_t id, const std::string& text, std::string* why) {
  if (!why) return E_POINTER;
  std::vector<uint8_t> reply;
  HRESULT hr = Call(Op::kSetParameterText, MessageWriter().I32(id).Text(text), &reply);
  MessageReader read(reply);
  *why = read.Text();
  if (hr != S_OK) return hr;
  float value = 0;
  if (GetParameter(id, &value) == S_OK) {
    std::lock_guard guard(valuesLock_);
    values_[id] = value;
  }
  return S_OK;
}

HRESULT RemoteVST::FormatParameter(int32_t id, float value, char* text) {
  if (!text) return E_POINTER;
  BSTR shown;
  HRESULT hr = GetParameterText(id, value, &shown);
  // The format's own buffer holds 64 bytes.
  std::strncpy(text, shown.c_str(), 63);
  text[63] = 0;
  return hr;
}

HRESULT RemoteVST::GetState(int32_t index, ByteArray* state) {
  if (!state) return E_POINTER;
  std::vector<uint8_t> reply;
  HRESULT hr = Call(Op::kGetState, MessageWriter().I32(index), &reply);
  if (!Succeeded(hr)) return hr;
  MessageReader read(reply);
  ByteArray bytes = read.Bytes();
  if (!read.Good()) return E_FAIL;
  if (index == 0) lastState_ = bytes, haveState_ = true;
  *state = std::move(bytes);
  return S_OK;
}

HRESULT RemoteVST::SetState(int32_t index, const ByteArray* state) {
  if (!state) return E_POINTER;
  HRESULT hr = Call(Op::kSetState, MessageWriter().I32(index).Bytes(*state));
  if (Succeeded(hr) && index == 0) lastState_ = *state, haveState_ = true;
  return hr;
}

HRESULT RemoteVST::GetProgram(int32_t* program) {
  if (!program) return E_POINTER;
  std::vector<uint8_t> reply;
  HRESULT hr = Call(Op::kGetProgram, MessageWriter(), &reply);
  MessageReader read(reply);
  if (Succeeded(hr)) *program = read.I32();
  return hr;
}

HRESULT RemoteVST::SetProgram(int32_t program) { return Call(Op::kSetProgram, MessageWriter().I32(program)); }

HRESULT RemoteVST::GetPrograms(std::vector<ProgramRecord>* out) {
  if (!out) return E_POINTER;
  std::vector<uint8_t> reply;
  HRESULT hr = Call(Op::kGetPrograms, MessageWriter(), &reply);
  if (!Succeeded(hr)) return hr;
  MessageReader read(reply);
  std::vector<ProgramRecord> made(read.Count());
  for (auto& program : made) {
    program.name = read.Text();
    program.id = read.I32();
    program.local_file = read.Text();
  }
  if (!read.Good()) return E_FAIL;
  *out = std::move(made);
  return S_OK;
}

HRESULT RemoteVST::GetNames(int32_t type, BstrArray* names) {
  if (!names) return E_POINTER;
  std::vector<uint8_t> reply;
  HRESULT hr = Call(Op::kGetNames, MessageWriter().I32(type), &reply);
  if (!Succeeded(hr)) return hr;
  MessageReader read(reply);
  BstrArray made(read.Count());
  for (auto& text : made) text = read.Text();
  if (!read.Good()) return E_FAIL;
  *names = std::move(made);
  return S_OK;
}

HRESULT RemoteVST::ShowEditor(HWND, int32_t mode, int32_t) {
  return Call(Op::kShowEditor, MessageWriter().I32(mode), nullptr, kEditorLimit);
}

HRESULT RemoteVST::CloseEditor() { return Call(Op::kCloseEditor, MessageWriter()); }

HRESULT RemoteVST::GetVstVersion(int32_t* version) {
  if (!version) return E_POINTER;
  *version = vstVersion;
  return S_OK;
}

HRESULT RemoteVST::GetLatency(int32_t* frames) {
  if (!frames) return E_POINTER;
  *frames = latency_;
  return S_OK;
}

HRESULT RemoteVST::CanProcessPrecision(int32_t precision) { return precision == 32 ? S_OK : S_FALSE; }

// Not carried over the wire: units, keys, native handles and embedding into a window of
// ours belong to the host process's own editor.
HRESULT RemoteVST::GetSelectedUnit(int32_t*) { return E_NOTIMPL; }
HRESULT RemoteVST::SelectUnit(int32_t) { return E_NOTIMPL; }
HRESULT RemoteVST::KeyDown(int32_t) { return E_NOTIMPL; }
HRESULT RemoteVST::KeyUp(int32_t) { return E_NOTIMPL; }
HRESULT RemoteVST::AttachEditor(HWND) { return E_NOTIMPL; }
HRESULT RemoteVST::GetNative(const void*, void**) { return E_NOTIMPL; }
HRESULT RemoteVST::PresetFileCmd(HWND, int32_t, std::vector<uint8_t>*, const std::filesystem::path*) {
  return E_NOTIMPL;
}

HRESULT CompileFaustInHost(const std::string& code, std::string* error) {
  std::shared_ptr<HostProcess> host = EngineHost();
  if (!host) return *error = "the Faust engine host could not be started", E_FAIL;
  std::vector<uint8_t> reply;
  HRESULT hr = host->Call(Op::kCompileFaust, 0, MessageWriter().Text(code), &reply, kLoadLimit, -1, true);
  if (!Succeeded(hr)) *error = FailureText(hr, ReadError(reply));
  return hr;
}

HRESULT ExpandFaustInHost(const std::string& code, std::string* expanded, std::string* error) {
  std::shared_ptr<HostProcess> host = EngineHost();
  if (!host) return *error = "the Faust engine host could not be started", E_FAIL;
  std::vector<uint8_t> reply;
  HRESULT hr = host->Call(Op::kExpandFaust, 0, MessageWriter().Text(code), &reply, kLoadLimit, -1, true);
  MessageReader read(reply);
  if (!Succeeded(hr)) return *error = FailureText(hr, ReadError(reply)), hr;
  ByteArray bytes = read.Bytes();
  if (!read.Good()) return *error = "the engine sent no code", E_FAIL;
  expanded->assign(bytes.begin(), bytes.end());
  return S_OK;
}

std::string EngineLibraryFolder() {
  std::shared_ptr<HostProcess> host = EngineHost();
  if (!host) return {};
  std::vector<uint8_t> reply;
  if (host->Call(Op::kLibraryFolder, 0, MessageWriter(), &reply, kLoadLimit) != S_OK) return {};
  MessageReader read(reply);
  std::string folder = read.Text();
  return read.Good() ? folder : std::string();
}

}  // namespace plexar::remote
