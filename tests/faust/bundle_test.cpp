// SPDX-License-Identifier: GPL-3.0-or-later
// Compiled effects saved as bundles: another process loads them and runs their code.
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <regex>

#include "engine_fixture.h"
#include "faust/bundle.h"
#include "plexar/vst3/controller.h"
#include "plexar/vst3/vst3_plugin.h"

namespace {

namespace fs = std::filesystem;
using faust_testing::EngineTest;

std::string RunProbe(const fs::path& bundle) {
  std::string command = std::string(PLEXAR_PROBE) + " '" + bundle.string() + "' 2>&1";
  std::string out;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    pclose(pipe);
  }
  return out;
}

constexpr int kNoNamespace = 77;

// Runs the probe in a child that sees an empty Faust library folder and works from `/`: the
// machine a bundle is copied to. Sets `skipped` when no private mount namespace can be made.
std::string RunProbeElsewhere(const fs::path& bundle, const fs::path& empty, bool* skipped) {
  const std::string libraries = "/usr/share/faust";
  int out[2];
  if (pipe(out) != 0) return "no pipe";
  const pid_t child = fork();
  if (child == 0) {
    dup2(out[1], 1), dup2(out[1], 2);
    close(out[0]), close(out[1]);
    if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0 ||
        mount(empty.c_str(), libraries.c_str(), nullptr, MS_BIND, nullptr) != 0 ||
        access((libraries + "/stdfaust.lib").c_str(), F_OK) == 0 || chdir("/") != 0) {
      _exit(kNoNamespace);
    }
    execl(PLEXAR_PROBE, PLEXAR_PROBE, bundle.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(out[1]);
  std::string text;
  char buffer[4096];
  ssize_t n;
  while ((n = read(out[0], buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
  close(out[0]);
  int status = 0;
  waitpid(child, &status, 0);
  *skipped = WIFEXITED(status) && WEXITSTATUS(status) == kNoNamespace;
  return text;
}

double Rms(const std::string& probe, const std::string& channel) {
  std::smatch match;
  std::regex pattern("  " + channel + ": peak [0-9.]+, rms ([0-9.]+)");
  return std::regex_search(probe, match, pattern) ? std::stod(match[1]) : -1;
}

class BundleTest : public EngineTest {
 protected:
  fs::path Save(const std::string& code, const std::string& target) {
    std::string error;
    std::string where = WriteFaustBundle(code, (home_ / target).string(), &error);
    EXPECT_FALSE(where.empty()) << error;
    return where;
  }
};

TEST_F(BundleTest, ASavedBundleRunsItsCodeInAnotherProcess) {
  fs::path bundle = Save("declare name \"Half\"; process = *(0.5), *(0.5);", "out/Half");
  EXPECT_EQ(bundle, home_ / "out" / "Half.vst3");
  EXPECT_TRUE(fs::exists(bundle / "Contents" / "x86_64-linux" / "Half.so"));
  EXPECT_TRUE(fs::exists(bundle / "Contents" / "Resources" / "Half.dsp"));
  std::string probe = RunProbe(bundle);
  EXPECT_NE(probe.find("Name: Half\nVendor: Tessary\n"), std::string::npos) << probe;
  const double in = Rms(probe, "input 0"), out = Rms(probe, "output 0");
  ASSERT_GT(in, 0.1) << probe;
  EXPECT_NEAR(out, in / 2, 2e-4) << probe;
}

constexpr char kTremolo[] = R"(import("stdfaust.lib");
declare name "Tremolo";
process = par(i, 2, *(1 - 0.5 * (1 + os.osc(hslider("rate", 5, 0.1, 20, 0.1))) / 2));
)";

std::string ReadText(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST_F(BundleTest, ABundleCarriesItsLibrariesAndRunsWhereNoneAreInstalled) {
  fs::path bundle = Save(kTremolo, "out/Tremolo");
  const fs::path resources = bundle / "Contents" / "Resources";
  EXPECT_EQ(ReadText(resources / "Source" / "Tremolo.dsp"), kTremolo);
  const std::string loaded = ReadText(resources / "Tremolo.dsp");
  EXPECT_EQ(loaded.find("import"), std::string::npos) << loaded;
  EXPECT_NE(loaded.find("declare name \"Tremolo\""), std::string::npos) << loaded;

  fs::create_directories(home_ / "empty");
  bool skipped = false;
  std::string probe = RunProbeElsewhere(bundle, home_ / "empty", &skipped);
  if (skipped) GTEST_SKIP() << "no private mount namespace here to hide /usr/share/faust";
  EXPECT_NE(probe.find("Name: Tremolo\n"), std::string::npos) << probe;
  EXPECT_NE(probe.find("rate"), std::string::npos) << probe;
  const double in = Rms(probe, "input 0"), out = Rms(probe, "output 0");
  ASSERT_GT(in, 0.1) << probe;
  EXPECT_GT(out, in * 0.2) << probe;
  EXPECT_LT(out, in * 0.9) << probe;
}

// A bundle put together by hand, its code importing a file of its own folder.
TEST_F(BundleTest, CodeThatImportsAFileBesideItRunsFromAnyFolder) {
  fs::path bundle = home_ / "Beside.vst3";
  const fs::path binaries = bundle / "Contents" / "x86_64-linux";
  const fs::path resources = bundle / "Contents" / "Resources";
  fs::create_directories(binaries);
  fs::create_directories(resources);
  fs::copy_file(faustDll, binaries / "Beside.so");
  std::ofstream(resources / "helper.lib") << "half = *(0.5);\n";
  std::ofstream(resources / "Beside.dsp") << "import(\"helper.lib\");\nprocess = half, half;\n";

  fs::create_directories(home_ / "empty");
  bool skipped = false;
  std::string probe = RunProbeElsewhere(bundle, home_ / "empty", &skipped);
  if (skipped) GTEST_SKIP() << "no private mount namespace here to hide /usr/share/faust";
  const double in = Rms(probe, "input 0"), out = Rms(probe, "output 0");
  ASSERT_GT(in, 0.1) << probe;
  EXPECT_NEAR(out, in / 2, 2e-4) << probe;
}

TEST_F(BundleTest, ABundleThatCannotStartSaysWhy) {
  fs::path bundle = Save("process = *(0.5);", "Broken");
  std::ofstream(bundle / "Contents" / "Resources" / "Broken.dsp") << "process = oops;\n";
  std::string probe = RunProbe(bundle);
  EXPECT_NE(probe.find("Broken.vst3: cannot start: "), std::string::npos) << probe;
  EXPECT_NE(probe.find("oops"), std::string::npos) << probe;
  EXPECT_NE(probe.find("it offers no plug-in class"), std::string::npos) << probe;
  auto broken = std::make_shared<VST>();
  broken->file = bundle.string();
  EXPECT_FALSE(LoadVst(*broken, false));
  EXPECT_EQ(broken->error.rfind("cannot start: its code does not compile: ", 0), 0u) << broken->error;
  EXPECT_NE(broken->error.find("oops"), std::string::npos) << broken->error;

  // A module the loader cannot open, as when libfaust is missing: the loader's reason.
  fs::path unopenable = Save("process = *(0.5);", "Unopenable");
  std::ofstream(unopenable / "Contents" / "x86_64-linux" / "Unopenable.so", std::ios::trunc) << "not ELF";
  probe = RunProbe(unopenable);
  EXPECT_NE(probe.find("it could not be opened: "), std::string::npos) << probe;
  auto record = std::make_shared<VST>();
  record->file = unopenable.string();
  EXPECT_FALSE(LoadVst(*record, false));
  EXPECT_NE(record->error.find("could not be opened: "), std::string::npos) << record->error;
}

// What a DAW asks of an effect, through our own host and a saved bundle.
TEST_F(BundleTest, ABundleBypassesExactlyKeepsItInItsStateAndMarksSilence) {
  fs::path bundle = Save(R"(process = par(i, 2, *(hslider("gate", 1, 0, 1, 1)) : +~*(0.5));)", "Gate");
  auto load = [&] {
    auto record = std::make_shared<VST>();
    record->file = bundle.string();
    ::testing::internal::CaptureStdout();
    EXPECT_TRUE(LoadVst(*record, false));
    ::testing::internal::GetCapturedStdout();
    return record;
  };
  auto first = load();
  auto* host = dynamic_cast<plexar::VST3*>(first->plugin);
  ASSERT_TRUE(host);
  ASSERT_EQ(first->params.size(), 2u);
  const plexar::ParameterRecord& bypass = first->params[1];
  plexar::vst3::ParameterInfo info{};
  ASSERT_EQ(bypass.native.size(), sizeof info);
  std::memcpy(&info, bypass.native.data(), sizeof info);
  EXPECT_EQ(bypass.name, "Bypass");
  EXPECT_TRUE(info.flags & plexar::vst3::ParameterInfo::kIsBypass);

  const std::vector<float> left = Ramp(1.0f), right = Ramp(-0.5f);
  Block(*first, left, right);
  EXPECT_EQ(host->OutputSilence(0), 0u);
  first->plugin->SetParameter(first->params[0].id, 0.0f);
  Block(*first, left, right);
  Block(*first, left, right);  // the feedback has died away: flush-to-zero ends it
  EXPECT_EQ(host->OutputSilence(0), 3u);

  first->plugin->SetParameter(bypass.id, 1.0f);
  std::vector<std::vector<float>> out = Block(*first, left, right);
  EXPECT_EQ(out[0], left);
  EXPECT_EQ(out[1], right);
  EXPECT_EQ(host->OutputSilence(0), 0u);

  plexar::ByteArray state;
  ASSERT_EQ(first->plugin->GetState(0, &state), plexar::S_OK);
  auto second = load();
  ASSERT_EQ(second->plugin->SetState(0, &state), plexar::S_OK);
  out = Block(*second, left, right);
  EXPECT_EQ(out[0], left);
  EXPECT_EQ(out[1], right);
  second->plugin->SetParameter(bypass.id, 0.0f);
  out = Block(*second, left, right);
  EXPECT_EQ(out[0], std::vector<float>(512, 0.0f)) << "the closed gate came back with the state";
}

TEST_F(BundleTest, TheEngineModuleItselfLoadsLikeAnyModule) {
  // With nothing installed in that process it passes stereo through.
  std::string probe = RunProbe(faustDll);
  EXPECT_NE(probe.find("Name: TessaryChat\nVendor: Tessary\n"), std::string::npos) << probe;
  EXPECT_NE(probe.find("Output finite, unchanged"), std::string::npos) << probe;
}

TEST_F(BundleTest, TwoBundlesLoadSideBySide) {
  fs::path half = Save("process = *(0.5);", "Half.vst3");
  fs::path quarter = Save("process = *(0.25);", "Quarter.vst3");
  std::shared_ptr<VST> a = std::make_shared<VST>(), b = std::make_shared<VST>();
  a->file = half.string(), b->file = quarter.string();
  ::testing::internal::CaptureStdout();
  ASSERT_TRUE(LoadVst(*a, false));
  ASSERT_TRUE(LoadVst(*b, false));
  ::testing::internal::GetCapturedStdout();
  // Named after their bundles, since the code declares no name.
  EXPECT_EQ(a->name, "Half");
  EXPECT_EQ(b->name, "Quarter");
  EXPECT_EQ(Block(*a, Ramp(1.0f), {})[0][200], Ramp(1.0f)[200] * 0.5f);
  EXPECT_EQ(Block(*b, Ramp(1.0f), {})[0][200], Ramp(1.0f)[200] * 0.25f);
}

TEST_F(BundleTest, SavingAgainReplacesTheBundleAndNeverAnotherFolder) {
  fs::path bundle = Save("process = *(0.5);", "Again.vst3");
  bundle = Save("process = *(0.25);", "Again.vst3");
  std::ifstream code(bundle / "Contents" / "Resources" / "Again.dsp");
  std::string text((std::istreambuf_iterator<char>(code)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("0.25"), std::string::npos);
  fs::create_directories(home_ / "Plain.vst3" / "keep");
  std::string error;
  EXPECT_TRUE(WriteFaustBundle("process = _;", (home_ / "Plain.vst3").string(), &error).empty());
  EXPECT_NE(error.find("is not a VST 3 bundle"), std::string::npos) << error;
  EXPECT_TRUE(fs::exists(home_ / "Plain.vst3" / "keep"));
  EXPECT_TRUE(WriteFaustBundle("process = oops;", (home_ / "Bad").string(), &error).empty());
  EXPECT_FALSE(fs::exists(home_ / "Bad.vst3"));
}

}  // namespace
