// SPDX-License-Identifier: GPL-3.0-or-later
#include "plexar/remote/host_process.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <future>
#include <thread>


namespace plexar::remote {

namespace {

// A host that has not finished a block for this long is ended.
constexpr auto kStallLimit = std::chrono::seconds(2);

std::mutex programLock;
std::string hostProgram;

int cancelFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
std::atomic<int> cancellableCalls{0};

const char* KindWord(HostKind kind) { return kind == HostKind::kEngine ? "engine" : "plugin"; }

// Sanitizer builds cannot take an address-space limit (their shadow memory is huge); the
// sanitizer's own allocation cap stands in for the engine host's memory limit there. Plug-in
// hosts have none, so they get no cap either. A crash shows as the signal itself, as it
// would without a sanitizer.
std::vector<std::string> HostEnvironment([[maybe_unused]] HostKind kind) {
  std::vector<std::string> environment;
  for (char** entry = environ; *entry; ++entry) environment.emplace_back(*entry);
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#if defined(__SANITIZE_ADDRESS__)
  const char* variable = "ASAN_OPTIONS";
  const char* ours = kind == HostKind::kEngine
                         ? "allocator_may_return_null=0:max_allocation_size_mb=1024:"
                           "hard_rss_limit_mb=1536:handle_segv=0:handle_sigbus=0:abort_on_error=1"
                         : "handle_segv=0:handle_sigbus=0:abort_on_error=1";
#else
  const char* variable = "TSAN_OPTIONS";
  const char* ours = "handle_segv=0:handle_sigbus=0:abort_on_error=1";
#endif
  const std::string prefix = std::string(variable) + "=";
  std::erase_if(environment, [&](const std::string& e) { return e.rfind(prefix, 0) == 0; });
  const char* own = std::getenv(variable);
  environment.push_back(prefix + (own && *own ? std::string(own) + ":" : "") + ours);
#endif
  return environment;
}

}  // namespace

// Forks hosts and reaps them. Forking here, on a thread that lives until `ShutdownHosts`,
// keeps the hosts' parent-death signal from firing when some short-lived thread ends.
class Supervisor {
 public:
  static Supervisor& Get() {
    static Supervisor* one = new Supervisor;  // never destroyed: ShutdownHosts ends it
    return *one;
  }

  std::shared_ptr<HostProcess> Spawn(HostKind kind);
  void Shutdown();

 private:
  struct Request {
    HostKind kind;
    std::promise<std::shared_ptr<HostProcess>> result;
  };

  Supervisor() : wake_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
  void Run();
  std::shared_ptr<HostProcess> Fork(HostKind kind);
  bool Reap(const std::shared_ptr<HostProcess>& host, int* status);

  std::mutex lock_;
  std::thread thread_;
  bool stopping_ = false;
  int wake_;
  std::deque<Request> requests_;
  std::vector<std::shared_ptr<HostProcess>> live_;
};

std::shared_ptr<HostProcess> Supervisor::Spawn(HostKind kind) {
  std::future<std::shared_ptr<HostProcess>> made;
  {
    std::lock_guard guard(lock_);
    if (stopping_) return nullptr;
    if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
    requests_.push_back({kind, {}});
    made = requests_.back().result.get_future();
  }
  uint64_t one = 1;
  (void)!write(wake_, &one, sizeof one);
  return made.get();
}

// The shared object this code was loaded from, when it is not the program itself: a host
// loads it straight away instead of unpacking it from the program again.
static std::string OwnModule() {
  static const std::string file = [] {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&OwnModule), &info) || !info.dli_fname) return std::string();
    const std::string name = info.dli_fname;
    return name.size() > 3 && name.ends_with(".so") ? name : std::string();
  }();
  return file;
}

std::shared_ptr<HostProcess> Supervisor::Fork(HostKind kind) {
  std::string program;
  {
    std::lock_guard guard(programLock);
    program = hostProgram;
  }
  int pair[2];
  if (program.empty() || socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) return nullptr;
  std::vector<std::string> environment = HostEnvironment(kind);
  std::vector<std::string> argv = {program, "--plugin-host", KindWord(kind)};
  if (std::string module = OwnModule(); !module.empty()) argv.push_back(module);
  std::vector<char*> args, env;
  for (auto& a : argv) args.push_back(a.data());
  args.push_back(nullptr);
  for (auto& e : environment) env.push_back(e.data());
  env.push_back(nullptr);
  const bool debug = std::getenv("TESSARY_DEBUG") != nullptr;
  const pid_t parent = getpid();
  pid_t pid = fork();
  if (pid == 0) {
    // Only async-signal-safe calls until exec.
    setpgid(0, 0);
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    int null = open("/dev/null", O_RDWR);
    dup2(null, 0), dup2(null, 1);
    if (!debug) dup2(null, 2);
    dup2(pair[1], 3);
    syscall(SYS_close_range, 4, ~0u, 0);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    execve(program.c_str(), args.data(), env.data());
    _exit(127);
  }
  close(pair[1]);
  if (pid < 0) {
    close(pair[0]);
    return nullptr;
  }
  setpgid(pid, pid);  // both sides, so a kill of the group never misses
  std::shared_ptr<HostProcess> host(new HostProcess);
  host->kind_ = kind;
  host->pid_ = pid;
  host->socket_ = pair[0];
  host->pidfd_ = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
  live_.push_back(host);
  return host;
}

bool Supervisor::Reap(const std::shared_ptr<HostProcess>& host, int* status) {
  if (waitpid(host->pid_, status, WNOHANG) <= 0) return false;
  std::lock_guard guard(lock_);
  std::erase(live_, host);
  return true;
}

void Supervisor::Run() {
  for (;;) {
    std::vector<pollfd> fds = {{wake_, POLLIN, 0}};
    std::vector<std::shared_ptr<HostProcess>> watched;
    {
      std::unique_lock guard(lock_);
      while (!requests_.empty()) {
        Request request = std::move(requests_.front());
        requests_.pop_front();
        request.result.set_value(stopping_ ? nullptr : Fork(request.kind));
      }
      if (stopping_ && live_.empty()) return;
      watched = live_;
    }
    for (const auto& host : watched) fds.push_back({host->pidfd_, POLLIN, 0});
    if (poll(fds.data(), fds.size(), 250) < 0 && errno != EINTR) continue;
    const auto now = std::chrono::steady_clock::now();
    for (const auto& host : watched) host->CheckLate(now);
    uint64_t count;
    (void)!read(wake_, &count, sizeof count);
    // Told outside the lock: what the host's users do then may start another host.
    for (size_t k = 1; k < fds.size(); ++k) {
      int status = 0;
      if (fds[k].revents != 0 && Reap(watched[k - 1], &status)) watched[k - 1]->Ended(status);
    }
  }
}

void Supervisor::Shutdown() {
  std::vector<std::shared_ptr<HostProcess>> hosts;
  {
    std::lock_guard guard(lock_);
    stopping_ = true;
    hosts = live_;
  }
  for (const auto& host : hosts) host->Kill(false);
  uint64_t one = 1;
  (void)!write(wake_, &one, sizeof one);
  if (thread_.joinable()) thread_.join();
}

std::shared_ptr<HostProcess> HostProcess::Start(HostKind kind, bool cancellable, HRESULT* result) {
  HRESULT ignored;
  HRESULT& hr = result ? *result : ignored;
  hr = E_HOST_GONE;
  std::shared_ptr<HostProcess> host = Supervisor::Get().Spawn(kind);
  if (!host) return nullptr;
  std::vector<uint8_t> reply;
  MessageWriter none;
  hr = host->Call(Op::kHello, 0, none, &reply, std::chrono::seconds(10), -1, cancellable);
  if (hr != S_OK) {
    host->Kill(false);
    return nullptr;
  }
  MessageReader read(reply);
  if (read.U32() != kProtocolVersion || !read.Good()) {
    host->Kill(false);
    return nullptr;
  }
  return host;
}

HostProcess::~HostProcess() {
  if (socket_ >= 0) close(socket_);
  if (pidfd_ >= 0) close(pidfd_);
}

void HostProcess::Kill(bool hung) {
  if (ended_.load()) return;
  if (hung) killedHung_ = true;
  // Through the pidfd: the pid may already be reaped and reused, the pidfd never.
  if (pidfd_ >= 0) syscall(SYS_pidfd_send_signal, pidfd_, SIGKILL, nullptr, 0);
  // Wakes a caller blocked on the socket at once.
  shutdown(socket_, SHUT_RDWR);
}

void HostProcess::Ended(int status) {
  shutdown(socket_, SHUT_RDWR);
  std::lock_guard guard(endLock_);
  status_ = status;
  ended_ = true;
  const std::string why = EndTextLocked();
  for (auto& [instance, call] : endCalls_) call(why);
  endCalls_.clear();
  endedSignal_.notify_all();
}

bool HostProcess::WaitEnded(std::chrono::milliseconds limit) {
  std::unique_lock guard(endLock_);
  return endedSignal_.wait_for(guard, limit, [this] { return ended_.load(); });
}

std::string HostProcess::EndText() const {
  std::lock_guard guard(endLock_);
  return EndTextLocked();
}

std::string HostProcess::EndTextLocked() const {
  if (killedHung_) return "stopped responding";
  if (WIFSIGNALED(status_)) {
    // Its limit on real-time time ended it: a plug-in that would not let go, not a crash.
    if (WTERMSIG(status_) == SIGXCPU) return "was ended for keeping the processor (SIGXCPU)";
    const char* name = sigabbrev_np(WTERMSIG(status_));
    return std::string("crashed (SIG") + (name ? name : std::to_string(WTERMSIG(status_)).c_str()) + ")";
  }
  return "ended (status " + std::to_string(WEXITSTATUS(status_)) + ")";
}

void HostProcess::OnEnd(uint32_t instance, std::function<void(const std::string&)> call) {
  std::lock_guard guard(endLock_);
  if (!ended_) {
    endCalls_[instance] = std::move(call);
  } else {
    call(EndTextLocked());
  }
}

void HostProcess::WatchLateBlock(uint32_t instance, std::function<bool()> stillLate) {
  std::lock_guard guard(endLock_);
  late_.try_emplace(instance, Late{std::chrono::steady_clock::now(), std::move(stillLate)});
}

void HostProcess::ForgetLate(uint32_t instance) {
  std::lock_guard guard(endLock_);
  late_.erase(instance);
}

void HostProcess::CheckLate(std::chrono::steady_clock::time_point now) {
  bool hung = false;
  {
    std::lock_guard guard(endLock_);
    std::erase_if(late_, [](const auto& entry) { return !entry.second.stillLate(); });
    for (const auto& [instance, late] : late_) hung = hung || now - late.since > kStallLimit;
    if (hung) late_.clear();
  }
  if (hung) Kill(true);
}

void HostProcess::ForgetEnd(uint32_t instance) {
  std::lock_guard guard(endLock_);
  endCalls_.erase(instance);
}

HRESULT HostProcess::Call(Op op, uint32_t instance, const MessageWriter& args,
                          std::vector<uint8_t>* reply, std::chrono::milliseconds limit, int fd,
                          bool cancellable) {
  std::lock_guard guard(callLock_);
  if (ended_) return E_HOST_GONE;
  MessageWriter request;
  request.U32(static_cast<uint32_t>(op)).U32(instance);
  std::vector<uint8_t> body = request.Data();
  body.insert(body.end(), args.Data().begin(), args.Data().end());
  if (SendFrame(socket_, body, fd) != WireResult::kOk) return Kill(false), E_HOST_GONE;
  if (cancellable) {
    uint64_t stale;
    (void)!read(cancelFd, &stale, sizeof stale);
    ++cancellableCalls;
  }
  std::vector<uint8_t> answer;
  WireResult got = ReceiveFrame(socket_, &answer, std::chrono::steady_clock::now() + limit,
                                cancellable ? cancelFd : -1);
  if (cancellable) --cancellableCalls;
  if (got == WireResult::kTimedOut) return Kill(true), E_HOST_TIMEOUT;
  if (got == WireResult::kCancelled) return Kill(false), E_HOST_CANCELLED;
  if (got != WireResult::kOk || answer.size() < 4) return Kill(false), E_HOST_GONE;
  HRESULT hr;
  std::memcpy(&hr, answer.data(), 4);
  if (reply) reply->assign(answer.begin() + 4, answer.end());
  return hr;
}

void SetHostProgram(const std::string& program) {
  std::lock_guard guard(programLock);
  hostProgram = program;
}

bool HostsConfigured() {
  std::lock_guard guard(programLock);
  return !hostProgram.empty();
}

void ShutdownHosts() { Supervisor::Get().Shutdown(); }

bool CancelHostCalls() {
  if (cancellableCalls.load() == 0) return false;
  uint64_t one = 1;
  (void)!write(cancelFd, &one, sizeof one);
  return true;
}

std::chrono::nanoseconds BlockDeadline(int32_t frames, int32_t rate) {
  static const long overrideMs = [] {
    const char* text = std::getenv("TESSARY_BLOCK_DEADLINE_MS");
    return text ? std::strtol(text, nullptr, 10) : 0L;
  }();
  if (overrideMs > 0) return std::chrono::milliseconds(overrideMs);
  if (rate <= 0) rate = 48000;
  return std::chrono::nanoseconds(4LL * frames * 1000000000LL / rate);
}

}  // namespace plexar::remote
