// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "plexar/vst.h"
#include "plexar/vst2/aeffect.h"
#include "vst2_test_record.h"

namespace plexar {

struct Vst2Releaser {
  void operator()(VST* vst) const { if (vst) vst->Release(); }
};
using Vst2Ptr = std::unique_ptr<VST, Vst2Releaser>;

inline Vst2Ptr NewVst2() {
  VST* vst = nullptr;
  EXPECT_EQ(CreateVst2(nullptr, &vst), S_OK);
  return Vst2Ptr(vst);
}

inline Vst2Ptr LoadVst2(const std::filesystem::path& path, int32_t bits = 32,
                        HRESULT expect = S_OK) {
  Vst2Ptr vst = NewVst2();
  EXPECT_EQ(vst->Load(&path, nullptr, nullptr, 0, bits, 0), expect) << path;
  return vst;
}

inline vst2::AEffect* EffectOf(VST* vst) {
  void* native = nullptr;
  static const int kSelector = 1;
  if (vst->GetNative(&kSelector, &native) != S_OK) return nullptr;
  return static_cast<vst2::AEffect*>(native);
}

/// The test plug-in's record of what the host did.
inline testplug2::Vst2TestRecord* Record(VST* vst) {
  vst2::AEffect* effect = EffectOf(vst);
  return effect ? static_cast<testplug2::Vst2TestRecord*>(effect->object) : nullptr;
}

/// Makes the test plug-in call the host and returns the host's answer.
inline intptr_t AskHost(VST* vst, int32_t opcode, int32_t index = 0, intptr_t value = 0,
                        void* ptr = nullptr, float opt = 0, vst2::AEffect* as = nullptr) {
  vst2::AEffect* effect = EffectOf(vst);
  testplug2::HostRequest request{as, opcode, index, value, ptr, opt, -12345};
  effect->dispatcher(effect, testplug2::kTestRequest, 0, 0, &request, 0);
  return request.answer;
}

inline HRESULT RunBlock2(VST* vst, float tempo = 120, int32_t numerator = 4,
                         int32_t denominator = 4, int64_t time = 0) {
  return vst->Process(0, 48000, time, 0, 0, 0, 0, 0, 0, tempo, numerator, denominator);
}

}  // namespace plexar
