// SPDX-License-Identifier: GPL-3.0-or-later
// A plug-in host process seen from Tessary: started, called, watched and ended. Hosts are
// forked by one long-lived supervisor thread, so their parent-death signal never fires early,
// and that thread also reaps them the moment they end, whatever ended them.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <condition_variable>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "plexar/automation.h"
#include "plexar/remote/message.h"
#include "plexar/remote/wire.h"

namespace plexar::remote {

enum class HostKind { kPlugin, kEngine };

/// A call's reply when the host was ended during it or had ended before.
inline constexpr HRESULT E_HOST_GONE = static_cast<HRESULT>(0x80040200u);
/// A call that took longer than its limit; the host was ended.
inline constexpr HRESULT E_HOST_TIMEOUT = static_cast<HRESULT>(0x80040201u);
/// A call the user cancelled; the host was ended.
inline constexpr HRESULT E_HOST_CANCELLED = static_cast<HRESULT>(0x80040202u);

class HostProcess {
 public:
  /// Starts a host; null when it could not be started or did not greet in time, and
  /// `result` then says which. A `cancellable` start is ended by `CancelHostCalls`.
  static std::shared_ptr<HostProcess> Start(HostKind kind, bool cancellable = false, HRESULT* result = nullptr);
  ~HostProcess();
  HostProcess(const HostProcess&) = delete;
  HostProcess& operator=(const HostProcess&) = delete;

  /// Sends one request and waits for its reply. A host that does not answer within `limit`
  /// (or whose call the user cancels, when `cancellable`) is ended, so no call waits longer.
  HRESULT Call(Op op, uint32_t instance, const MessageWriter& args, std::vector<uint8_t>* reply,
               std::chrono::milliseconds limit, int fd = -1, bool cancellable = false);

  bool Alive() const { return !ended_.load(); }
  /// Ends the host. `hung` names why: it stopped answering rather than crashed.
  void Kill(bool hung);
  /// Waits until the host has ended and been reaped; false when it is still running.
  bool WaitEnded(std::chrono::milliseconds limit);
  /// "crashed (SIGSEGV)", "stopped responding", ... once the host has ended.
  std::string EndText() const;
  HostKind Kind() const { return kind_; }
  uint32_t NewInstance() { return ++lastInstance_; }

  /// Called once, on the supervisor thread, when the host ends, with `EndText`; by instance.
  /// Calls run under the host's own lock, so after `ForgetEnd` none is running or to come;
  /// they must not call back into this host.
  void OnEnd(uint32_t instance, std::function<void(const std::string& why)> call);
  void ForgetEnd(uint32_t instance);

  /// An instance's block is late: while `stillLate` says so, the supervisor ends the host
  /// once two seconds have passed, whether or not more blocks come.
  void WatchLateBlock(uint32_t instance, std::function<bool()> stillLate);
  void ForgetLate(uint32_t instance);

 private:
  friend class Supervisor;
  HostProcess() = default;
  void Ended(int status);  // on the supervisor thread
  void CheckLate(std::chrono::steady_clock::time_point now);  // on the supervisor thread
  std::string EndTextLocked() const;

  HostKind kind_ = HostKind::kPlugin;
  pid_t pid_ = -1;
  int pidfd_ = -1;
  int socket_ = -1;
  std::mutex callLock_;  // one request at a time
  std::atomic<bool> ended_{false};
  std::atomic<bool> killedHung_{false};
  std::atomic<uint32_t> lastInstance_{0};
  mutable std::mutex endLock_;
  std::condition_variable endedSignal_;
  int status_ = 0;
  std::map<uint32_t, std::function<void(const std::string&)>> endCalls_;
  struct Late {
    std::chrono::steady_clock::time_point since;
    std::function<bool()> stillLate;
  };
  std::map<uint32_t, Late> late_;  // under endLock_
};

/// The program started as a host (`PROGRAM --plugin-host plugin|engine`); unset, plug-ins
/// are hosted inside the calling process.
void SetHostProgram(const std::string& program);
bool HostsConfigured();

/// Ends every host and the supervisor thread; later starts fail. For the end of the program.
void ShutdownHosts();

/// Makes the calls that are `cancellable` end now (Ctrl+C); false when none is running.
bool CancelHostCalls();

/// How long a block may take before it is played dry: four block periods, unless
/// TESSARY_BLOCK_DEADLINE_MS names another (a slow debugging build).
std::chrono::nanoseconds BlockDeadline(int32_t frames, int32_t rate);

}  // namespace plexar::remote
