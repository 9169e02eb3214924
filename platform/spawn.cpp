// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/spawn.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

extern char** environ;

namespace platform {
namespace {

std::vector<char*> Pointers(const std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (const std::string& text : texts) pointers.push_back(const_cast<char*>(text.c_str()));
  pointers.push_back(nullptr);
  return pointers;
}

// Runs jobs on one thread that lives as long as the process. The parent-death signal follows
// the thread that forked, not the process, and the threads that start children come and go.
class LauncherThread {
 public:
  LauncherThread() : thread_([this] { Loop(); }) {}
  ~LauncherThread() {
    {
      std::lock_guard guard(lock_);
      stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }

  pid_t Run(const std::function<pid_t()>& job) {
    std::lock_guard oneAtATime(callLock_);
    std::unique_lock guard(lock_);
    job_ = &job;
    wake_.notify_all();
    wake_.wait(guard, [&] { return job_ == nullptr; });
    return result_;
  }

 private:
  void Loop() {
    std::unique_lock guard(lock_);
    for (;;) {
      wake_.wait(guard, [&] { return stop_ || job_ != nullptr; });
      if (job_) {
        result_ = (*job_)();
        job_ = nullptr;
        wake_.notify_all();
      } else {
        return;
      }
    }
  }

  std::mutex callLock_;
  std::mutex lock_;
  std::condition_variable wake_;
  const std::function<pid_t()>* job_ = nullptr;
  pid_t result_ = -1;
  bool stop_ = false;
  std::thread thread_;
};

// Only async-signal-safe calls between fork and exec: other threads may hold any lock.
[[noreturn]] void StartChild(char* const* argv, char* const* envp, const SpawnOptions& options,
                             pid_t parent, int devNull) {
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != parent) _exit(127);  // the parent died before the line above
  if (options.ownGroup) setpgid(0, 0);
  if (options.input >= 0) dup2(options.input, STDIN_FILENO);
  else if (options.discardOutput) dup2(devNull, STDIN_FILENO);
  if (options.discardOutput) {
    dup2(devNull, STDOUT_FILENO);
    dup2(devNull, STDERR_FILENO);
  }
  struct sigaction defaults = {};
  defaults.sa_handler = SIG_DFL;
  for (int s = 1; s < NSIG; ++s) sigaction(s, &defaults, nullptr);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  if (!options.folder.empty() && chdir(options.folder.c_str()) != 0) _exit(127);
  execve(argv[0], argv, envp);
  _exit(127);
}

pid_t ForkTiedChild(const std::vector<std::string>& argv, const SpawnOptions& options) {
  // As posix_spawn does, a program that cannot be run is no child at all.
  if (access(argv[0].c_str(), X_OK) != 0) return -1;
  std::vector<char*> args = Pointers(argv);
  std::vector<char*> env;
  if (options.environment) env = Pointers(*options.environment);
  char** envp = options.environment ? env.data() : environ;
  int devNull = open("/dev/null", O_RDWR | O_CLOEXEC);
  pid_t parent = getpid();
  static LauncherThread launcher;
  pid_t pid = launcher.Run([&] {
    pid_t child = fork();
    if (child == 0) StartChild(args.data(), envp, options, parent, devNull);
    // Set on both sides: a group kill sent before the child ran setpgid would reach nothing.
    // It fails harmlessly once the child has exec'd, by when it set the group itself.
    if (child > 0 && options.ownGroup) setpgid(child, child);
    return child;
  });
  if (devNull >= 0) close(devNull);
  return pid;
}

}  // namespace

pid_t Spawn(const std::vector<std::string>& argv, const SpawnOptions& options) {
  if (argv.empty() || argv[0].empty()) return -1;
  // The child is started by path here: a search through PATH is not safe after fork.
  if (options.endWithUs && argv[0].find('/') != std::string::npos)
    return ForkTiedChild(argv, options);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (!options.folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, options.folder.c_str());
  if (options.input >= 0) {
    posix_spawn_file_actions_adddup2(&actions, options.input, STDIN_FILENO);
  } else if (options.discardOutput) {
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  }
  if (options.discardOutput) {
    for (int fd : {STDOUT_FILENO, STDERR_FILENO})
      posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", O_WRONLY, 0);
  }
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
  if (options.ownGroup) {
    posix_spawnattr_setpgroup(&attributes, 0);
    flags |= POSIX_SPAWN_SETPGROUP;
  }
  posix_spawnattr_setflags(&attributes, flags);
  std::vector<char*> args = Pointers(argv);
  std::vector<char*> env = options.environment ? Pointers(*options.environment) : std::vector<char*>();
  pid_t pid = -1;
  if (posix_spawnp(&pid, args[0], &actions, &attributes, args.data(),
                   options.environment ? env.data() : environ) != 0)
    pid = -1;
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

int WaitFor(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return status;
}

bool WaitForAtMost(pid_t pid, std::chrono::milliseconds limit, int* status) {
  const auto end = std::chrono::steady_clock::now() + limit;
  auto pause = std::chrono::microseconds(50);
  for (;;) {
    int ignored = 0;
    pid_t done = waitpid(pid, status ? status : &ignored, WNOHANG);
    if (done == pid || (done < 0 && errno == ECHILD)) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 2, std::chrono::microseconds(5000));
  }
}

}  // namespace platform
