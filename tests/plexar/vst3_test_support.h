// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "plexar/vst.h"
#include "plexar/vst3/ref.h"
#include "test_probe.h"

namespace plexar {

struct VstReleaser {
  void operator()(VST* vst) const { if (vst) vst->Release(); }
};
using VstPtr = std::unique_ptr<VST, VstReleaser>;

inline VstPtr NewVst3() {
  VST* vst = nullptr;
  EXPECT_EQ(CreateVst3(nullptr, &vst), S_OK);
  return VstPtr(vst);
}

/// A fresh object with `path` loaded (class index 0 unless given).
inline VstPtr LoadVst3(const std::filesystem::path& path, int32_t classIndex = 0,
                       HRESULT expect = S_OK) {
  VstPtr vst = NewVst3();
  EXPECT_EQ(vst->Load(&path, nullptr, nullptr, 0, 32, classIndex), expect) << path;
  return vst;
}

/// The test record of the plug-in's component (or controller, with IEditController's id).
inline vst3::Ref<testplug::ITestProbe> Probe(VST* vst, const vst3::Uid& of = vst3::IComponent::iid) {
  void* native = nullptr;
  if (vst->GetNative(of.data(), &native) != S_OK) return {};
  auto held = vst3::Ref<vst3::FUnknown>::Adopt(static_cast<vst3::FUnknown*>(native));
  return vst3::QueryRef<testplug::ITestProbe>(held.get());
}

inline HRESULT RunBlock(VST* vst, float tempo = 120, int32_t rate = 48000) {
  return vst->Process(0, rate, 0, 0, 0, 0, 0, 0, 0, tempo, 4, 4);
}

}  // namespace plexar
