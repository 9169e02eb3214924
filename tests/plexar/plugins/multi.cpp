// SPDX-License-Identifier: GPL-3.0-or-later
// Test module with three classes, two of them audio modules, around one that is not.
#include "effect_base.h"

namespace plexar::testplug {
namespace {

constexpr Uid kAlphaCid = MakeUid(0x4D550001, 0, 0, 1);
constexpr Uid kHelperCid = MakeUid(0x4D550002, 0, 0, 2);
constexpr Uid kBetaCid = MakeUid(0x4D550003, 0, 0, 3);

class Simple final : public ComponentBase<> {
 public:
  Simple() : ComponentBase({{kAudio, kInput, 1, "In"}, {kAudio, kOutput, 1, "Out"}}) {}
};

IPluginFactory* MakeFactory() {
  auto make = [] { return static_cast<IComponent*>(new Simple); };
  return new Factory("Tessary Tests",
                     {{kAlphaCid, kVstAudioEffectClass, "Alpha", "Fx", "VST 3.7.0", make},
                      {kHelperCid, "Test Class", "Helper", "", "VST 3.7.0", make},
                      {kBetaCid, kVstAudioEffectClass, "Beta", "Fx", "VST 3.7.0", make}});
}

}  // namespace
}  // namespace plexar::testplug

TESTPLUG_EXPORTS(plexar::testplug::MakeFactory)
