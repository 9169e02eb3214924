// SPDX-License-Identifier: GPL-3.0-or-later
// Compiles Faust code into rack entries through the engine this test program carries.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "faust/faust_engine.h"
#include "faust/rack.h"
#include "plexar/vst.h"

namespace faust_testing {

class EngineTest : public ::testing::Test {
 protected:
  // The engine is loaded once per process, so its folder lives as long as the process.
  static void SetUpTestSuite() {
    if (home_.empty()) {
      char folder[] = "/tmp/tessary-engine-XXXXXX";
      ASSERT_NE(mkdtemp(folder), nullptr);
      home_ = folder;
      setenv("XDG_DATA_HOME", folder, 1);
      std::atexit([] {
        std::error_code error;
        std::filesystem::remove_all(home_, error);
      });
    }
    ASSERT_FALSE(EnsureFaustEngine().empty());
    ASSERT_NE(faustModule, nullptr);
  }

  /// The code compiled into a new rack entry; null when it did not load. `printed` receives
  /// what loading printed.
  std::shared_ptr<VST> Load(const std::string& code, std::string* printed = nullptr) {
    faustCode = code;
    auto record = std::make_shared<VST>();
    record->file = faustDll;
    ::testing::internal::CaptureStdout();
    bool loaded = LoadVst(*record, true);
    std::string out = ::testing::internal::GetCapturedStdout();
    if (printed) *printed = out;
    if (!loaded) last_error_ = record->error;
    return loaded ? record : nullptr;
  }

  /// One 512-frame block through the entry: `left` and `right` in, both outputs out.
  static std::vector<std::vector<float>> Block(VST& record, const std::vector<float>& left,
                                               const std::vector<float>& right) {
    for (int32_t c = 0; c < record.numInputs; ++c) {
      const auto& in = c == 0 ? left : right;
      std::copy(in.begin(), in.end(), static_cast<float*>(record.inputs[c]));
    }
    record.plugin->Process(0, 48000, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
    std::vector<std::vector<float>> out;
    for (int32_t c = 0; c < record.numOutputs; ++c) {
      auto* channel = static_cast<float*>(record.outputs[c]);
      out.emplace_back(channel, channel + 512);
    }
    return out;
  }

  static std::vector<float> Ramp(float scale) {
    std::vector<float> v(512);
    for (size_t i = 0; i < v.size(); ++i) v[i] = scale * static_cast<float>(i) / 512.0f;
    return v;
  }

  inline static std::filesystem::path home_;
  std::string last_error_;
};

}  // namespace faust_testing
