// SPDX-License-Identifier: GPL-3.0-or-later
#include "plexar/remote/host_server.h"

#include <unistd.h>

#include <atomic>
#include <cstring>
#include <map>
#include <memory>
#include <thread>

#include "plexar/editor/editor.h"
#include "plexar/remote/block_region.h"
#include "plexar/vst.h"

namespace plexar::remote {

namespace {

// One plug-in object and the thread that runs its blocks.
struct Hosted {
  VST* vst = nullptr;
  void** inputs = nullptr;
  void** outputs = nullptr;
  int32_t numInputs = 0, numOutputs = 0, rate = 48000, blockFrames = 0;
  std::unique_ptr<BlockRegion> region;
  std::thread audio;
  // Commands and blocks never overlap: the caller waits for each. These two say so to the
  // race detector, which cannot see the order the other process keeps.
  std::atomic<uint32_t> commands{0}, blocks{0};

  ~Hosted() {
    StopAudio();
    if (vst) {
      vst->FreeBuffers();
      vst->Unload();
      vst->Release();
    }
  }

  void StopAudio() {
    if (!audio.joinable()) return;
    region->Control()->quit.store(1);
    FutexWake(&region->Control()->request);
    audio.join();
  }

  void RunBlocks();
  void Format(int32_t sampleRate, int32_t frames);
};

void Hosted::RunBlocks() {
  BlockControl* control = region->Control();
  // From the last block done, not the last asked for: a block the caller sent before this
  // thread got going is still to be processed.
  uint32_t seen = control->done.load(std::memory_order_acquire);
  const size_t bytes = static_cast<size_t>(region->Frames()) * sizeof(float);
  for (;;) {
    // No spinning before the sleep: on a machine whose two cores are one core's threads, a
    // spinning side slows the side at work more than the wake-up costs. A quit wakes the
    // wait; the bound is only a backstop for one that raced it.
    FutexWaitOnce(&control->request, seen, std::chrono::milliseconds(200));
    if (control->quit.load()) return;
    const uint32_t request = control->request.load(std::memory_order_acquire);
    if (request == seen) continue;
    seen = request;
    commands.load(std::memory_order_acquire);
    for (int32_t k = 0; k < numInputs && k < region->Inputs(); ++k) {
      std::memcpy(inputs[k], region->Input(k), bytes);
    }
    vst->Process(0, rate, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
    for (int32_t k = 0; k < numOutputs && k < region->Outputs(); ++k) {
      std::memcpy(region->Output(k), outputs[k], bytes);
    }
    blocks.fetch_add(1, std::memory_order_release);
    control->done.store(seen, std::memory_order_release);
    FutexWake(&control->done);
  }
}

void Hosted::Format(int32_t sampleRate, int32_t frames) {
  // Setting a plug-in up again is costly (a compiled effect clears its delay lines): only
  // for a format that changed.
  if (inputs && sampleRate == rate && frames == blockFrames) return;
  StopAudio();
  blockFrames = frames;
  vst->FreeBuffers();
  rate = sampleRate;
  vst->SetSampleRate(sampleRate);
  vst->SetFormat(sampleRate, frames, 32, 0);
  vst->AllocateBuffersEx(&inputs, &outputs);
  int32_t eventIn = 0, eventOut = 0;
  vst->GetChannelCounts(&numInputs, &numOutputs, &eventIn, &eventOut);
}

void WriteInfo(Hosted& hosted, MessageWriter& out) {
  BSTR name, vendor, categories;
  hosted.vst->GetInfo(&name, &vendor);
  hosted.vst->GetSubCategories(&categories);
  int32_t version = 0, latency = 0, counts[4] = {};
  hosted.vst->GetVstVersion(&version);
  hosted.vst->GetLatency(&latency);
  hosted.vst->GetChannelCounts(&counts[0], &counts[1], &counts[2], &counts[3]);
  out.Text(name).Text(vendor).Text(categories).I32(version);
  for (int32_t count : counts) out.I32(count);
  out.I32(latency);
}

// A file without a VST 3 factory is tried as a VST 2 plug-in, as in-process loading does.
// `why` receives what the hosts learnt of a failure, the VST 3 host's word first.
VST* LoadFile(const std::string& file, HRESULT* hr, std::string* why) {
  const std::filesystem::path path = file;
  VST* vst = nullptr;
  if (CreateVst3(nullptr, &vst) != S_OK || !vst) return *hr = E_FAIL, nullptr;
  *hr = vst->Load(&path, nullptr, nullptr, 0, 32, 0);
  *why = vst->LoadError();
  if (*hr == E_NOINTERFACE) {
    vst->Release();
    vst = nullptr;
    if (CreateVst2(nullptr, &vst) != S_OK || !vst) return *hr = E_FAIL, nullptr;
    *hr = vst->Load(&path, nullptr, nullptr, 0, 32, 0);
    if (why->empty()) *why = vst->LoadError();
  }
  if (Succeeded(*hr)) return vst;
  vst->Release();
  return nullptr;
}

class Server {
 public:
  explicit Server(HostExtension* extension) : extension_(extension) {}
  HRESULT Answer(Op op, uint32_t instance, MessageReader& args, MessageWriter& out, int* fd);

 private:
  HRESULT Made(uint32_t instance, VST* vst, MessageWriter& out);
  HRESULT ForInstance(Hosted& hosted, Op op, MessageReader& args, MessageWriter& out, int* fd);

  HostExtension* extension_;
  std::map<uint32_t, std::unique_ptr<Hosted>> hosted_;
};

HRESULT Server::Made(uint32_t instance, VST* vst, MessageWriter& out) {
  auto hosted = std::make_unique<Hosted>();
  hosted->vst = vst;
  hosted->Format(48000, 512);
  WriteInfo(*hosted, out);
  hosted_[instance] = std::move(hosted);
  return S_OK;
}

HRESULT Server::Answer(Op op, uint32_t instance, MessageReader& args, MessageWriter& out, int* fd) {
  switch (op) {
    case Op::kHello:
      out.U32(kProtocolVersion);
      return S_OK;
    case Op::kLoad: {
      HRESULT hr = E_FAIL;
      std::string why;
      VST* vst = LoadFile(args.Text(), &hr, &why);
      if (!vst) out.Text(why);
      return vst ? Made(instance, vst, out) : hr;
    }
    case Op::kLoadFaust: {
      if (!extension_) return E_NOTIMPL;
      std::string error;
      VST* vst = extension_->CreateFaustInstance(args.Text(), &error);
      if (!vst) return out.Text(error), E_FAIL;
      return Made(instance, vst, out);
    }
    case Op::kUnload:
      hosted_.erase(instance);
      return S_OK;
    default:
      break;
  }
  auto found = hosted_.find(instance);
  if (found != hosted_.end()) {
    Hosted& hosted = *found->second;
    hosted.blocks.load(std::memory_order_acquire);
    HRESULT hr = ForInstance(hosted, op, args, out, fd);
    hosted.commands.fetch_add(1, std::memory_order_release);
    return hr;
  }
  HRESULT hr = E_NOTIMPL;
  if (extension_ && extension_->Handle(op, args, out, &hr)) return hr;
  return E_INVALIDARG;
}

HRESULT Server::ForInstance(Hosted& h, Op op, MessageReader& args, MessageWriter& out, int* fd) {
  VST& vst = *h.vst;
  switch (op) {
    case Op::kSetFormat: {
      const int32_t rate = args.I32(), frames = args.I32();
      if (rate <= 0 || frames <= 0 || frames > kMaxFrames) return E_INVALIDARG;
      h.Format(rate, frames);
      return S_OK;
    }
    case Op::kAllocate: {
      const int32_t ins = args.I32(), outs = args.I32(), frames = args.I32();
      h.StopAudio();
      auto region = std::make_unique<BlockRegion>();
      const int received = std::exchange(*fd, -1);
      if (received < 0 || !region->Attach(received, ins, outs, frames)) return E_INVALIDARG;
      h.region = std::move(region);
      h.audio = std::thread([&h] { h.RunBlocks(); });
      return S_OK;
    }
    case Op::kResume: return vst.Resume(0);
    case Op::kSuspend: return vst.Suspend(0);
    case Op::kGetParameters: {
      std::vector<ParameterRecord> params;
      HRESULT hr = vst.GetParameters(&params);
      out.U32(static_cast<uint32_t>(params.size()));
      for (const auto& p : params) {
        out.Text(p.name).Text(p.shortName).F64(p.value).F64(p.value2).I32(p.id).Bytes(p.native);
      }
      return hr;
    }
    case Op::kSetParameter: {
      const int32_t id = args.I32();
      return vst.SetParameter(id, args.F32());
    }
    case Op::kGetParameter: {
      float value = 0;
      HRESULT hr = vst.GetParameter(args.I32(), &value);
      out.F32(value);
      return hr;
    }
    case Op::kParameterText: {
      const int32_t id = args.I32();
      BSTR text;
      HRESULT hr = vst.GetParameterText(id, args.F32(), &text);
      out.Text(text.substr(0, kMaxTextBytes));
      return hr;
    }
    case Op::kParameterDisplay: {
      std::string text, unit;
      HRESULT hr = vst.GetParameterDisplay(args.I32(), &text, &unit);
      out.Text(text.substr(0, kMaxTextBytes)).Text(unit.substr(0, kMaxTextBytes));
      return hr;
    }
    case Op::kSetParameterText: {
      const int32_t id = args.I32();
      const std::string text = args.Text();
      if (!args.Good()) return E_INVALIDARG;
      std::string why;
      HRESULT hr = vst.SetParameterText(id, text, &why);
      out.Text(why.substr(0, kMaxTextBytes));
      return hr;
    }
    case Op::kGetState: {
      ByteArray state;
      HRESULT hr = vst.GetState(args.I32(), &state);
      out.Bytes(state);
      return hr;
    }
    case Op::kSetState: {
      const int32_t index = args.I32();
      ByteArray state = args.Bytes();
      return args.Good() ? vst.SetState(index, &state) : E_INVALIDARG;
    }
    case Op::kGetProgram: {
      int32_t program = 0;
      HRESULT hr = vst.GetProgram(&program);
      out.I32(program);
      return hr;
    }
    case Op::kSetProgram: return vst.SetProgram(args.I32());
    case Op::kGetPrograms: {
      std::vector<ProgramRecord> programs;
      HRESULT hr = vst.GetPrograms(&programs);
      out.U32(static_cast<uint32_t>(programs.size()));
      for (const auto& p : programs) out.Text(p.name).I32(p.id).Text(p.local_file.string());
      return hr;
    }
    case Op::kGetNames: {
      BstrArray names;
      HRESULT hr = vst.GetNames(args.I32(), &names);
      out.U32(static_cast<uint32_t>(names.size()));
      for (const auto& text : names) out.Text(text);
      return hr;
    }
    case Op::kShowEditor:
      if (!editor::EditorsAvailable()) return E_FAIL;
      return vst.ShowEditor(nullptr, args.I32(), 0);
    case Op::kCloseEditor: return vst.CloseEditor();
    case Op::kSetBypass: return vst.SetBypass(args.I32());
    case Op::kSetSilence: return vst.SetSilence(args.I32());
    default: return E_NOTIMPL;
  }
}

}  // namespace

int ServeHost(int socket, HostExtension* extension) {
  Server server(extension);
  for (;;) {
    std::vector<uint8_t> body;
    int fd = -1;
    WireResult got = ReceiveFrame(socket, &body, std::chrono::steady_clock::time_point::max(), -1, &fd);
    // The caller is gone: end at once, without running plug-in code on the way out.
    if (got != WireResult::kOk) _exit(0);
    MessageReader args(body);
    const auto op = static_cast<Op>(args.U32());
    const uint32_t instance = args.U32();
    MessageWriter out;
    HRESULT hr = args.Good() ? server.Answer(op, instance, args, out, &fd) : E_INVALIDARG;
    if (fd >= 0) close(fd);
    MessageWriter reply;
    reply.I32(hr);
    std::vector<uint8_t> frame = reply.Data();
    frame.insert(frame.end(), out.Data().begin(), out.Data().end());
    if (SendFrame(socket, frame) != WireResult::kOk) _exit(0);
  }
}

}  // namespace plexar::remote
