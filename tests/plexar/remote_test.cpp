// SPDX-License-Identifier: GPL-3.0-or-later
// Plug-ins in host processes, driven through plexar::VST as Tessary drives them. This program
// is its own host: started with --plugin-host it serves its socket instead of running tests,
// so the host side is built (and checked) the same way as the caller's.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "plexar/remote/confine.h"
#include "plexar/remote/host_server.h"
#include "plexar/remote/remote_vst.h"

namespace {

using namespace std::chrono_literals;
using plexar::remote::HostKind;
using plexar::remote::RemoteVST;

struct Release {
  void operator()(RemoteVST* vst) const {
    vst->FreeBuffers();
    vst->Unload();
    vst->Release();
  }
};
using RemotePtr = std::unique_ptr<RemoteVST, Release>;

struct Loaded {
  RemotePtr vst;
  void** inputs = nullptr;
  void** outputs = nullptr;
};

Loaded Load(const char* file) {
  Loaded loaded{RemotePtr(new RemoteVST(HostKind::kPlugin)), nullptr, nullptr};
  const std::filesystem::path path = file;
  if (loaded.vst->Load(&path, nullptr, nullptr, 0, 32, 0) != plexar::S_OK) return {};
  loaded.vst->SetFormat(48000, 512, 32, 0);
  loaded.vst->AllocateBuffersEx(&loaded.inputs, &loaded.outputs);
  loaded.vst->Resume(0);
  return loaded;
}

// One block of `level` on both sides; the first output sample.
float Block(Loaded& loaded, float level) {
  for (int k = 0; k < 2; ++k) std::fill_n(static_cast<float*>(loaded.inputs[k]), 512, level);
  loaded.vst->Process(0, 48000, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
  return static_cast<float*>(loaded.outputs[1])[511];
}

// Waits for the host under `vst` to be found ended.
std::string EndOf(RemoteVST& vst, std::chrono::seconds limit) {
  for (auto until = std::chrono::steady_clock::now() + limit; std::chrono::steady_clock::now() < until;) {
    std::string why = vst.EndText();
    if (!why.empty()) return why;
    std::this_thread::sleep_for(20ms);
  }
  return {};
}

TEST(RemoteVstTest, APluginInAHostProcessesNamesAndKeepsItsState) {
  Loaded fx = Load(TESSARY_V2FX_SO);
  ASSERT_TRUE(fx.vst);
  plexar::BSTR name, vendor;
  fx.vst->GetInfo(&name, &vendor);
  EXPECT_EQ(vendor, "Tarnwick Tests");
  std::vector<plexar::ParameterRecord> params;
  ASSERT_EQ(fx.vst->GetParameters(&params), plexar::S_OK);
  ASSERT_EQ(params.size(), 2u);
  EXPECT_EQ(params[0].name, "Gain");
  EXPECT_FLOAT_EQ(Block(fx, 0.5f), 0.5f);  // Gain 0.5 is unity
  fx.vst->SetParameter(params[0].id, 0.25f);
  EXPECT_FLOAT_EQ(Block(fx, 0.5f), 0.25f);
  plexar::BSTR text;
  EXPECT_EQ(fx.vst->GetParameterText(params[0].id, 0.25f, &text), plexar::S_OK);
  EXPECT_FALSE(text.empty());

  plexar::ByteArray state;
  ASSERT_EQ(fx.vst->GetState(0, &state), plexar::S_OK);
  Loaded fresh = Load(TESSARY_V2FX_SO);
  ASSERT_EQ(fresh.vst->SetState(0, &state), plexar::S_OK);
  EXPECT_FLOAT_EQ(Block(fresh, 0.5f), 0.25f);
}

TEST(RemoteVstTest, ACrashPassesAudioDryAndReloadBringsBackTheValues) {
  Loaded fx = Load(TESSARY_V2CRASH_SO);
  ASSERT_TRUE(fx.vst);
  fx.vst->SetParameter(0, 0.25f);
  EXPECT_FLOAT_EQ(Block(fx, 0.1f), 0.05f);
  EXPECT_FLOAT_EQ(Block(fx, 0.95f), 0.95f);  // the host died on it: dry
  EXPECT_EQ(EndOf(*fx.vst, 5s), "crashed (SIGSEGV)");
  EXPECT_TRUE(fx.vst->EndedMidBlock());
  EXPECT_FLOAT_EQ(Block(fx, 0.3f), 0.3f);
  ASSERT_EQ(fx.vst->Reload(), plexar::S_OK);
  EXPECT_EQ(fx.vst->EndText(), "");
  EXPECT_FLOAT_EQ(Block(fx, 0.1f), 0.05f);
}

TEST(RemoteVstTest, AHungPluginIsPlayedDryAndEndedWithinSeconds) {
  Loaded fx = Load(TESSARY_V2HANG_SO);
  ASSERT_TRUE(fx.vst);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FLOAT_EQ(Block(fx, 0.95f), 0.95f);
  // No more blocks come, yet the host is ended.
  EXPECT_EQ(EndOf(*fx.vst, 10s), "stopped responding");
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  EXPECT_FLOAT_EQ(Block(fx, 0.4f), 0.4f);
}

// Whether this process may take real-time priority, as its hosts may then too.
bool RealTimeAllowed() {
  sched_param normal{}, realTime{};
  realTime.sched_priority = 10;
  if (sched_setscheduler(0, SCHED_FIFO, &realTime) != 0) return false;
  sched_setscheduler(0, SCHED_OTHER, &normal);
  return true;
}

TEST(RemoteVstTest, APluginThatKeepsTheProcessorAtRealTimePriorityIsEnded) {
  if (!RealTimeAllowed()) GTEST_SKIP() << "no real-time priority for this user";
  Loaded fx = Load(TESSARY_V2SPIN_SO);
  ASSERT_TRUE(fx.vst);
  fx.vst->SetParameter(0, 0.25f);
  EXPECT_FLOAT_EQ(Block(fx, 0.5f), 0.25f);
  // It raises its thread and spins: the host's limit on real-time time ends it.
  EXPECT_FLOAT_EQ(Block(fx, 0.95f), 0.95f);
  EXPECT_EQ(EndOf(*fx.vst, 10s), "was ended for keeping the processor (SIGXCPU)");
  EXPECT_FLOAT_EQ(Block(fx, 0.4f), 0.4f);
}

TEST(RemoteVstTest, APluginThatCrashesWhileCreatedLeavesNothingLoaded) {
  RemotePtr vst(new RemoteVST(HostKind::kPlugin));
  const std::filesystem::path path = TESSARY_V2CRASHATCREATION_SO;
  EXPECT_LT(vst->Load(&path, nullptr, nullptr, 0, 32, 0), 0);
  EXPECT_EQ(vst->EndText(), "crashed (SIGSEGV)");
  EXPECT_EQ(vst->LoadFailure(), "crashed (SIGSEGV)");
  const std::filesystem::path missing = "/nonexistent/plugin.so";
  RemotePtr other(new RemoteVST(HostKind::kPlugin));
  EXPECT_LT(other->Load(&missing, nullptr, nullptr, 0, 32, 0), 0);
  // The host's own reason comes back, as the loader gave it.
  EXPECT_EQ(other->LoadFailure().rfind("could not be opened: /nonexistent/plugin.so: ", 0), 0u)
      << other->LoadFailure();
}

TEST(RemoteVstTest, HostsCannotSignalOrReachOthersOrLiftTheirLimits) {
  // Checked from the host's side of the wire: the test plug-in cannot, but the filter
  // is what any plug-in gets, so a confined child of this program stands in for one.
  pid_t child = fork();
  if (child == 0) {
    plexar::remote::Confine({});
    const bool killRefused = kill(getppid(), 0) != 0 && errno == EPERM;
    const bool netRefused = socket(AF_INET, SOCK_STREAM, 0) < 0 && errno == EACCES;
    const bool localAllowed = socket(AF_UNIX, SOCK_STREAM, 0) >= 0;
    rlimit unlimited{RLIM_INFINITY, RLIM_INFINITY};
    const bool limitKept = setrlimit(RLIMIT_RTTIME, &unlimited) != 0 && errno == EPERM &&
                           prlimit(0, RLIMIT_DATA, &unlimited, nullptr) != 0;
    rlimit current{};
    const bool limitReadable = getrlimit(RLIMIT_RTTIME, &current) == 0 && current.rlim_max != RLIM_INFINITY;
    _exit(killRefused && netRefused && localAllowed && limitKept && limitReadable ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST(RemoteVstTest, AConfinedEngineReadsOnlyWhatItWasGiven) {
  if (syscall(SYS_landlock_create_ruleset, nullptr, 0, 1) < 1) GTEST_SKIP() << "no Landlock here";
  const std::string secret = std::filesystem::temp_directory_path() / "tessary-remote-secret";
  std::ofstream(secret) << "424242";
  pid_t child = fork();
  if (child == 0) {
    plexar::remote::Confine({{"/usr", "/lib", "/lib64"}, 0, false});
    const bool secretRefused = open(secret.c_str(), O_RDONLY) < 0 && errno == EACCES;
    const bool writeRefused = open("/usr/tessary-no", O_CREAT | O_WRONLY, 0600) < 0;
    const bool libraryRead = open("/usr/share/faust/stdfaust.lib", O_RDONLY) >= 0;
    _exit(secretRefused && writeRefused && libraryRead ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  std::filesystem::remove(secret);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--plugin-host") == 0) {
    plexar::remote::Confine({});
    return plexar::remote::ServeHost(3, nullptr);
  }
  plexar::remote::SetHostProgram("/proc/self/exe");
  // Sanitized builds on a busy machine may miss four block periods now and then; a miss
  // would pass a block dry and make the levels below lie.
  setenv("TESSARY_BLOCK_DEADLINE_MS", "500", 1);
  testing::InitGoogleTest(&argc, argv);
  int result = RUN_ALL_TESTS();
  plexar::remote::ShutdownHosts();
  return result;
}
