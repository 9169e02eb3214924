// SPDX-License-Identifier: GPL-3.0-or-later
// plexar-probe: loads a VST 3 or VST 2 module through the plug-in host library, prints what
// it reports and runs noise through it, so any module can be tried by hand. With --editor it
// shows the module's editor (or its parameter list) and waits until the window is closed.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "plexar/editor/editor.h"
#include "plexar/vst.h"

namespace {

struct Releaser {
  void operator()(plexar::VST* vst) const { vst->Release(); }
};

void PrintChannels(plexar::VST* vst, int type, const char* label) {
  plexar::BstrArray names;
  vst->GetNames(type, &names);
  std::printf("%s: %zu\n", label, names.size());
  for (size_t i = 0; i < names.size(); ++i) std::printf("  %zu: %s\n", i, names[i].c_str());
}

void PrintParameters(plexar::VST* vst) {
  std::vector<plexar::ParameterRecord> params;
  if (vst->GetParameters(&params) != plexar::S_OK) {
    std::printf("Parameters: none (no edit controller)\n");
    return;
  }
  std::printf("Parameters: %zu\n", params.size());
  for (const auto& p : params) {
    plexar::BSTR text;
    if (vst->GetParameterText(p.id, static_cast<float>(p.value), &text) != plexar::S_OK) text.clear();
    std::printf("  %d: %s (%s) = %.6f %s\n", p.id, p.name.c_str(), p.shortName.c_str(), p.value,
                text.c_str());
  }
}

void PrintPrograms(plexar::VST* vst) {
  std::vector<plexar::ProgramRecord> programs;
  if (vst->GetPrograms(&programs) != plexar::S_OK) {
    std::printf("Programs: none (no edit controller)\n");
    return;
  }
  std::printf("Programs: %zu\n", programs.size());
  for (size_t i = 0; i < programs.size(); ++i) {
    const auto& p = programs[i];
    std::printf("  %zu: %s", i, p.name.empty() ? "(unnamed)" : p.name.c_str());
    if (!p.local_file.empty()) std::printf(" [%s]", p.local_file.c_str());
    std::printf("\n");
  }
}

constexpr int kBlocks = 32;

// Blocks of white noise in; peak and RMS of every output channel over all blocks out, and
// whether the output stayed finite and differs from the input.
bool ProcessNoise(plexar::VST* vst) {
  void** ins = nullptr;
  void** outs = nullptr;
  if (vst->AllocateBuffersEx(&ins, &outs) != plexar::S_OK) {
    std::fprintf(stderr, "plexar-probe: cannot allocate buffers\n");
    return false;
  }
  int32_t frames = 0, ai = 0, ao = 0, ei = 0, eo = 0;
  vst->GetBlockSize(&frames);
  vst->GetChannelCounts(&ai, &ao, &ei, &eo);
  std::vector<double> peak(static_cast<size_t>(ao)), sum(static_cast<size_t>(ao));
  double inputPeak = 0, inputSum = 0;
  bool finite = true, changed = false;
  uint32_t seed = 12345;
  vst->Resume(0);
  for (int b = 0; b < kBlocks; ++b) {
    for (int32_t k = 0; k < ai; ++k) {
      auto* channel = static_cast<float*>(ins[k]);
      for (int32_t s = 0; s < frames; ++s) {
        seed = seed * 1664525u + 1013904223u;
        channel[s] = (static_cast<float>(seed >> 8) / 8388608.0f - 1.0f) * 0.5f;
        if (k == 0) {
          inputPeak = std::max(inputPeak, std::fabs(double{channel[s]}));
          inputSum += double{channel[s]} * channel[s];
        }
      }
    }
    vst->Process(0, 48000, int64_t{b} * frames, 0, int64_t{b} * frames, 0, 0, 0, 0, 120, 4, 4);
    for (int32_t k = 0; k < ao; ++k) {
      const auto* channel = static_cast<const float*>(outs[k]);
      const auto* input = ai > 0 ? static_cast<const float*>(ins[k < ai ? k : 0]) : nullptr;
      for (int32_t s = 0; s < frames; ++s) {
        const double v = channel[s];
        finite = finite && std::isfinite(v);
        changed = changed || (input ? channel[s] != input[s] : v != 0);
        peak[k] = std::max(peak[k], std::fabs(v));
        sum[k] += v * v;
      }
    }
  }
  vst->Suspend(0);
  std::printf("%d blocks of %d frames of noise:\n", kBlocks, frames);
  if (ai > 0) {
    std::printf("  input 0: peak %.4f, rms %.4f\n", inputPeak,
                std::sqrt(inputSum / std::max(frames * kBlocks, 1)));
  }
  for (int32_t k = 0; k < ao; ++k) {
    std::printf("  output %d: peak %.4f, rms %.4f\n", k, peak[k],
                std::sqrt(sum[k] / std::max(frames * kBlocks, 1)));
  }
  std::printf("Output %s, %s\n", finite ? "finite" : "NOT finite",
              changed ? "changed by the plug-in" : "unchanged");
  return finite;
}

// The VST 3 host first; a module without a VST 3 factory is tried as a VST 2 plug-in. `why`
// receives what the hosts learnt of a failure, the VST 3 host's word first.
plexar::HRESULT LoadModule(const std::filesystem::path& path, int32_t classIndex,
                           std::unique_ptr<plexar::VST, Releaser>* vst, std::string* why) {
  plexar::VST* raw = nullptr;
  if (plexar::CreateVst3(nullptr, &raw) != plexar::S_OK) return plexar::E_FAIL;
  vst->reset(raw);
  plexar::HRESULT hr = (*vst)->Load(&path, nullptr, nullptr, 0, 32, classIndex);
  *why = (*vst)->LoadError();
  if (hr != plexar::E_NOINTERFACE) return hr;
  raw = nullptr;
  if (plexar::CreateVst2(nullptr, &raw) != plexar::S_OK) return plexar::E_FAIL;
  vst->reset(raw);
  hr = (*vst)->Load(&path, nullptr, nullptr, 0, 32, classIndex);
  if (why->empty()) *why = (*vst)->LoadError();
  return hr;
}

// The plug-in's own editor in the frame, or the parameter list for a plug-in without one;
// returns when the window is closed.
int ShowEditor(plexar::VST* vst) {
  plexar::HRESULT hr = vst->ShowEditor(nullptr, 0, 1);
  if (hr == plexar::E_FAIL && plexar::editor::EditorsAvailable()) hr = vst->ShowEditor(nullptr, 2, 1);
  if (hr != plexar::S_OK) {
    std::fprintf(stderr, "plexar-probe: no editor window (0x%08X)%s\n", static_cast<unsigned>(hr),
                 plexar::editor::EditorsAvailable() ? "" : ": no X display");
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const bool editor = argc > 1 && std::string(argv[1]) == "--editor";
  if (editor) --argc, ++argv;
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: plexar-probe [--editor] <module.vst3|module.so> [class-index]\n");
    return 2;
  }
  std::filesystem::path path = argv[1];
  int32_t classIndex = argc == 3 ? std::atoi(argv[2]) : 0;
  std::unique_ptr<plexar::VST, Releaser> vst;
  std::string why;
  plexar::HRESULT hr = LoadModule(path, classIndex, &vst, &why);
  if (classIndex < 0 && hr >= 0) {
    std::printf("Audio module classes: %d\n", hr);
    return 0;
  }
  if (hr != plexar::S_OK) {
    std::fprintf(stderr, "plexar-probe: cannot load %s (0x%08X)%s%s\n", path.c_str(),
                 static_cast<unsigned>(hr), why.empty() ? "" : ": it ", why.c_str());
    return 1;
  }
  if (editor) return ShowEditor(vst.get());
  plexar::BSTR name, vendor, sub;
  int32_t version = 0, latency = 0;
  vst->GetInfo(&name, &vendor);
  vst->GetSubCategories(&sub);
  vst->GetVstVersion(&version);
  std::printf("Name: %s\nVendor: %s\nVersion: %d\nSub-categories: %s\n", name.c_str(),
              vendor.c_str(), version, sub.c_str());
  if (vst->GetLatency(&latency) == plexar::S_OK) std::printf("Latency: %d frames\n", latency);
  PrintChannels(vst.get(), plexar::kAudioInputNames, "Audio inputs");
  PrintChannels(vst.get(), plexar::kAudioOutputNames, "Audio outputs");
  PrintChannels(vst.get(), plexar::kEventInputNames, "Event inputs");
  PrintChannels(vst.get(), plexar::kEventOutputNames, "Event outputs");
  PrintParameters(vst.get());
  PrintPrograms(vst.get());
  return ProcessNoise(vst.get()) ? 0 : 1;
}
