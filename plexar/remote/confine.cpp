// SPDX-License-Identifier: GPL-3.0-or-later
#include "plexar/remote/confine.h"

#include <fcntl.h>
#include <linux/landlock.h>
#include <seccomp.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/debug.h"

// Debian 12's kernel headers predate it; newer kernels take it.
#ifndef LANDLOCK_ACCESS_FS_TRUNCATE
#define LANDLOCK_ACCESS_FS_TRUNCATE (1ULL << 14)
#endif

namespace plexar::remote {

namespace {

constexpr rlim_t kRealTimeLimitMicros = 500'000;

void LimitResources(size_t memoryBytes) {
  rlimit none{0, 0};
  setrlimit(RLIMIT_CORE, &none);
  // A plug-in may take real-time priority where the system lets it; one that then keeps the
  // processor half a second without waiting gets SIGXCPU, and SIGKILL if it ignores that.
  rlimit realTime{kRealTimeLimitMicros, 2 * kRealTimeLimitMicros};
  setrlimit(RLIMIT_RTTIME, &realTime);
#if !defined(__SANITIZE_ADDRESS__)
  // Private data only: the executable and the libraries mapped from files do not count.
  if (memoryBytes > 0) {
    rlimit memory{memoryBytes, memoryBytes};
    if (setrlimit(RLIMIT_DATA, &memory) != 0) common::DebugLine("Host: no memory limit");
  }
#else
  (void)memoryBytes;  // the sanitizer's allocation cap, set by the parent, stands in
#endif
}

void Deny(scmp_filter_ctx filter, int call, int error) {
  seccomp_rule_add(filter, SCMP_ACT_ERRNO(error), call, 0);
}

void InstallFilter(bool noExec) {
  scmp_filter_ctx filter = seccomp_init(SCMP_ACT_ALLOW);
  if (!filter) return common::DebugLine("Host: no seccomp");
  const auto self = static_cast<scmp_datum_t>(getpid());
  seccomp_rule_add(filter, SCMP_ACT_ERRNO(EACCES), SCMP_SYS(socket), 1,
                   SCMP_A0(SCMP_CMP_NE, AF_UNIX));
  seccomp_rule_add(filter, SCMP_ACT_ERRNO(EPERM), SCMP_SYS(kill), 1, SCMP_A0(SCMP_CMP_NE, self));
  seccomp_rule_add(filter, SCMP_ACT_ERRNO(EPERM), SCMP_SYS(tgkill), 1, SCMP_A0(SCMP_CMP_NE, self));
  for (int call : {SCMP_SYS(tkill), SCMP_SYS(ptrace), SCMP_SYS(process_vm_readv),
                   SCMP_SYS(process_vm_writev), SCMP_SYS(pidfd_open), SCMP_SYS(pidfd_send_signal),
                   SCMP_SYS(pidfd_getfd), SCMP_SYS(rt_sigqueueinfo), SCMP_SYS(rt_tgsigqueueinfo)}) {
    Deny(filter, call, EPERM);
  }
  // The limits set above stay: a host run by root could raise them otherwise.
  Deny(filter, SCMP_SYS(setrlimit), EPERM);
  seccomp_rule_add(filter, SCMP_ACT_ERRNO(EPERM), SCMP_SYS(prlimit64), 1, SCMP_A2(SCMP_CMP_NE, 0));
  if (noExec) {
    Deny(filter, SCMP_SYS(execve), EPERM);
    Deny(filter, SCMP_SYS(execveat), EPERM);
  }
  if (seccomp_load(filter) != 0) common::DebugLine("Host: the seccomp filter was refused");
  seccomp_release(filter);
}

long Landlock(long call, const void* attr, size_t size, uint32_t flags) {
  return syscall(call, attr, size, flags);
}

uint64_t HandledRights(long abi) {
  uint64_t rights = LANDLOCK_ACCESS_FS_EXECUTE | LANDLOCK_ACCESS_FS_WRITE_FILE |
                    LANDLOCK_ACCESS_FS_READ_FILE | LANDLOCK_ACCESS_FS_READ_DIR |
                    LANDLOCK_ACCESS_FS_REMOVE_DIR | LANDLOCK_ACCESS_FS_REMOVE_FILE |
                    LANDLOCK_ACCESS_FS_MAKE_CHAR | LANDLOCK_ACCESS_FS_MAKE_DIR |
                    LANDLOCK_ACCESS_FS_MAKE_REG | LANDLOCK_ACCESS_FS_MAKE_SOCK |
                    LANDLOCK_ACCESS_FS_MAKE_FIFO | LANDLOCK_ACCESS_FS_MAKE_BLOCK |
                    LANDLOCK_ACCESS_FS_MAKE_SYM;
  if (abi >= 2) rights |= LANDLOCK_ACCESS_FS_REFER;
  if (abi >= 3) rights |= LANDLOCK_ACCESS_FS_TRUNCATE;
  return rights;
}

void RestrictFiles(const std::vector<std::string>& readable) {
  const long abi = Landlock(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION);
  if (abi < 1) return common::DebugLine("Host: the kernel has no Landlock; files are not restricted");
  landlock_ruleset_attr attr{};
  attr.handled_access_fs = HandledRights(abi);
  const int ruleset = static_cast<int>(Landlock(SYS_landlock_create_ruleset, &attr, sizeof attr, 0));
  if (ruleset < 0) return common::DebugLine("Host: no Landlock ruleset");
  const uint64_t read = LANDLOCK_ACCESS_FS_READ_FILE | LANDLOCK_ACCESS_FS_READ_DIR |
                        LANDLOCK_ACCESS_FS_EXECUTE;
  for (const std::string& path : readable) {
    int fd = open(path.c_str(), O_PATH | O_CLOEXEC);
    if (fd < 0) continue;
    landlock_path_beneath_attr rule{};
    rule.parent_fd = fd;
    // A file takes only file rights; a folder takes them all.
    rule.allowed_access = read;
    if (syscall(SYS_landlock_add_rule, ruleset, LANDLOCK_RULE_PATH_BENEATH, &rule, 0) != 0) {
      rule.allowed_access = LANDLOCK_ACCESS_FS_READ_FILE | LANDLOCK_ACCESS_FS_EXECUTE;
      syscall(SYS_landlock_add_rule, ruleset, LANDLOCK_RULE_PATH_BENEATH, &rule, 0);
    }
    close(fd);
  }
  // /dev/null takes writes: libraries write there by habit.
  if (int fd = open("/dev/null", O_PATH | O_CLOEXEC); fd >= 0) {
    landlock_path_beneath_attr rule{};
    rule.parent_fd = fd;
    rule.allowed_access = LANDLOCK_ACCESS_FS_READ_FILE | LANDLOCK_ACCESS_FS_WRITE_FILE;
    syscall(SYS_landlock_add_rule, ruleset, LANDLOCK_RULE_PATH_BENEATH, &rule, 0);
    close(fd);
  }
  if (syscall(SYS_landlock_restrict_self, ruleset, 0) != 0) {
    common::DebugLine(std::string("Host: Landlock refused: ") + std::strerror(errno));
  }
  close(ruleset);
}

}  // namespace

void Confine(const Confinement& rules) {
  LimitResources(rules.memoryBytes);
  // Needed for seccomp and Landlock without privileges; also keeps set-uid programs tame.
  prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0);
  if (!rules.readable.empty()) RestrictFiles(rules.readable);
  InstallFilter(rules.noExec);
}

}  // namespace plexar::remote
