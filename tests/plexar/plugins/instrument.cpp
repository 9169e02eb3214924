// SPDX-License-Identifier: GPL-3.0-or-later
// Test module: an instrument without a controller. It records the note events it receives
// and echoes each one on the output event list.
#include "effect_base.h"

namespace plexar::testplug {
namespace {

constexpr Uid kSynthCid = MakeUid(0x5A570001, 0x0F0E0D0C, 0x0B0A0908, 0x07060504);

class Synth final : public ComponentBase<> {
 public:
  Synth() : ComponentBase({{kEvent, kInput, 1, "Notes"}, {kAudio, kOutput, 2, "Out"}}) {}

 protected:
  void ReadEvents(ProcessData& data) override {
    ComponentBase::ReadEvents(data);
    if (!data.inputEvents || !data.outputEvents) return;
    for (int32 i = 0; i < data.inputEvents->getEventCount(); ++i) {
      Event e{};
      if (data.inputEvents->getEvent(i, e) == kResultOk) data.outputEvents->addEvent(e);
    }
  }
};

IPluginFactory* MakeFactory() {
  return new Factory("Tessary Tests",
                     {{kSynthCid, kVstAudioEffectClass, "TessarySynth", "Instrument|Synth", "VST three",
                       [] { return static_cast<IComponent*>(new Synth); }}});
}

}  // namespace
}  // namespace plexar::testplug

TESTPLUG_EXPORTS(plexar::testplug::MakeFactory)
