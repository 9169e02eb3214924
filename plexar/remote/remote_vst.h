// SPDX-License-Identifier: GPL-3.0-or-later
// A plug-in that runs in a host process, behind the same `plexar::VST` interface as one that
// runs here. Audio goes through the shared region; a block the host does not finish within
// its deadline is played dry, and a host that stays silent for two seconds is ended. When a
// host ends, its instances pass audio through until `Reload` brings them back.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "plexar/remote/block_region.h"
#include "plexar/remote/host_process.h"
#include "plexar/vst.h"

namespace plexar::remote {

class RemoteVST : public VST {
 public:
  /// A plug-in file, in a host process of its own (`Load`), or compiled Faust code in the
  /// shared engine host (`LoadFaust`).
  explicit RemoteVST(HostKind kind);

  /// Compiles and installs `code` in the engine host and makes an instance of it. On a
  /// compile error `*error` holds the compiler's message.
  HRESULT LoadFaust(const std::string& code, std::string* error);
  /// Starts the entry again in a new host with its parameter values and last known state.
  HRESULT Reload();
  /// Nonempty once the host ended under this instance: "crashed (SIGSEGV)" and the like.
  std::string EndText() const;
  /// Why the last `Load` failed, in words that follow "it": "crashed (SIGSEGV)", "was
  /// cancelled", "took too long", or what the host learnt ("could not be opened: ...").
  std::string LoadFailure() const { return loadFailure_; }
  /// True when this instance had a block in the host when it ended.
  bool EndedMidBlock() const { return endedMidBlock_.load(); }
  /// True while a block sent to the host is overdue: it is being played dry.
  bool Late() const { return late_.load(); }
  /// How long `Process` waits for a block, until the next `SetFormat`; for offline work,
  /// where a slow block is worth waiting for. Call it from the thread that processes.
  void SetBlockDeadline(std::chrono::nanoseconds deadline) { deadline_ = deadline; }
  /// Told on the supervisor thread when the host ends under this instance.
  void OnHostEnd(std::function<void(const std::string& why)> call);
  HostKind Kind() const { return kind_; }

  // plexar::VST
  HRESULT Load(const std::filesystem::path* path, void* module, void* entry, int32_t requireEditor,
               int32_t bits, int32_t classIndex) override;
  HRESULT Process(uint32_t state, int32_t rate, int64_t projectTime, int64_t systemTime,
                  int64_t continuousTime, float projectQuarters, float barStart, float cycleStart,
                  float cycleEnd, float tempo, int32_t numerator, int32_t denominator) override;
  HRESULT GetProgram(int32_t* program) override;
  HRESULT SetProgram(int32_t program) override;
  HRESULT GetState(int32_t index, ByteArray* state) override;
  HRESULT SetState(int32_t index, const ByteArray* state) override;
  HRESULT GetParameter(int32_t id, float* value) override;
  HRESULT SetParameter(int32_t id, float value) override;
  HRESULT GetSelectedUnit(int32_t* unit) override;
  HRESULT SelectUnit(int32_t unit) override;
  HRESULT GetNames(int32_t type, BstrArray* names) override;
  HRESULT ShowEditor(HWND owner, int32_t mode, int32_t modal) override;
  HRESULT CloseEditor() override;
  HRESULT GetVstVersion(int32_t* version) override;
  HRESULT Unload() override;
  HRESULT Suspend(int32_t all) override;
  HRESULT Resume(int32_t all) override;
  HRESULT KeyDown(int32_t key) override;
  HRESULT KeyUp(int32_t key) override;
  HRESULT GetParameters(std::vector<ParameterRecord>* params) override;
  HRESULT SetFormat(int32_t rate, int32_t frames, int32_t bits, int32_t allocate) override;
  HRESULT AttachEditor(HWND parent) override;
  HRESULT CanProcessPrecision(int32_t bits) override;
  HRESULT GetLatency(int32_t* frames) override;
  HRESULT GetPrograms(std::vector<ProgramRecord>* programs) override;
  HRESULT GetNative(const void* selector, void** out) override;
  HRESULT GetParameterText(int32_t id, float value, BSTR* text) override;
  HRESULT FormatParameter(int32_t id, float value, char* text) override;
  HRESULT GetParameterDisplay(int32_t id, std::string* text, std::string* unit) override;
  HRESULT SetParameterText(int32_t id, const std::string& text, std::string* why) override;
  HRESULT PresetFileCmd(HWND owner, int32_t mode, std::vector<uint8_t>* bytes,
                        const std::filesystem::path* file) override;
  ~RemoteVST() override;

 protected:
  void StoreTiming(uint32_t, int32_t, int64_t, int64_t, int64_t, float, float, float, float, float,
                   int32_t, int32_t) override {}
  void DeliverEvents() override {}
  void ProcessBlock() override {}
  HRESULT BuildBuffers(bool shared, BSTR* mappingName) override;
  void FreeFormatBuffers() override;

 private:
  HRESULT Call(Op op, const MessageWriter& args, std::vector<uint8_t>* reply = nullptr,
               std::chrono::milliseconds limit = std::chrono::seconds(2), int fd = -1,
               bool cancellable = false);
  std::shared_ptr<HostProcess> Host() const;
  HRESULT Attach(const std::shared_ptr<HostProcess>& host);
  HRESULT ReadLoadReply(const std::vector<uint8_t>& reply);
  HRESULT SendFormatAndRegion();
  void PlayDry();
  void StopWatchingLate();

  const HostKind kind_;
  mutable std::mutex hostLock_;
  std::shared_ptr<HostProcess> host_;
  uint32_t instance_ = 0;
  std::string code_;  // compiled entries: what to compile again on reload
  std::string loadFailure_;
  std::unique_ptr<BlockRegion> region_;
  std::vector<void*> inputPointers_, outputPointers_;
  std::atomic<uint32_t> sent_{0};
  std::atomic<bool> late_{false};
  std::atomic<bool> inBlock_{false};  // a block was sent and has not come back
  std::chrono::nanoseconds deadline_{};
  std::atomic<bool> ended_{false};
  std::atomic<bool> running_{false};  // blocks go to the host
  std::atomic<bool> endedMidBlock_{false};
  bool resumed_ = false;
  int32_t latency_ = 0;
  std::mutex valuesLock_;
  std::map<int32_t, float> values_;  // what was set, for a reload
  ByteArray lastState_;
  bool haveState_ = false;
  std::mutex onEndLock_;
  std::function<void(const std::string&)> onEnd_;
};

/// The plug-in object behind `vst` when it runs in a host, else null.
RemoteVST* AsRemote(VST* vst);

/// The engine host's own answers, for code that is not (yet) a rack entry. Each starts the
/// engine host when it is not running.
HRESULT CompileFaustInHost(const std::string& code, std::string* error);
HRESULT ExpandFaustInHost(const std::string& code, std::string* expanded, std::string* error);
std::string EngineLibraryFolder();

}  // namespace plexar::remote
