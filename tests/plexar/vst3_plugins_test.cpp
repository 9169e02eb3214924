// SPDX-License-Identifier: GPL-3.0-or-later
// Separate controllers, units and programs, and MIDI into an instrument.
#include <gtest/gtest.h>

#include <cstring>

#include "plexar/vst3/processing.h"
#include "vst3_test_support.h"

namespace plexar {
namespace {

using vst3::Event;

class RecordingSink final : public GenericCallback<VSTNOTIFICATION> {
 public:
  HRESULT OnParameterChanged(int32_t id, float value) override {
    changes.emplace_back(id, value);
    return 0;
  }
  HRESULT OnStateChanged(int32_t flag) override {
    states.push_back(flag);
    return 0;
  }
  HRESULT OnEvents(const BstrArray& events) override {
    for (const auto& e : events) raw.push_back(e);
    return 0;
  }
  std::vector<std::pair<int32_t, float>> changes;
  std::vector<int32_t> states;
  BstrArray raw;
};

TEST(Vst3SplitTest, SeparateControllerIsCreatedConnectedAndFedTheComponentState) {
  VstPtr vst = LoadVst3(TESSARY_SPLIT_SO);
  auto component = Probe(vst.get());
  auto controller = Probe(vst.get(), vst3::IEditController::iid);
  ASSERT_TRUE(component);
  ASSERT_TRUE(controller);
  auto* comp = component->Record();
  auto* cont = controller->Record();
  EXPECT_EQ(comp->connects, 1);
  EXPECT_EQ(cont->connects, 1);
  EXPECT_EQ(cont->messagesReceived, 1);
  EXPECT_EQ(cont->lastMessageValue, 42);
  EXPECT_EQ(cont->initializeCalls, 1);
  EXPECT_EQ(cont->componentStates, 1);
  EXPECT_EQ(cont->componentStateGain, 0.5);
  EXPECT_TRUE(cont->sawUnitHandler);
  int32_t version = 0;
  vst->GetVstVersion(&version);
  EXPECT_EQ(version, 3710);
  std::vector<ParameterRecord> params;
  ASSERT_EQ(vst->GetParameters(&params), S_OK);
  ASSERT_EQ(params.size(), 2u);
  EXPECT_EQ(params[1].id, 5);
  EXPECT_EQ(vst->GetParameterText(0, 0.5f, nullptr), E_POINTER);
  BSTR text;
  EXPECT_EQ(vst->GetParameterText(0, 0.5f, &text), E_FAIL);

  // A host-side change reaches the processor in the next block.
  vst->AllocateBuffers();
  ASSERT_EQ(vst->SetParameter(0, 0.8f), S_OK);
  RunBlock(vst.get());
  EXPECT_EQ(comp->parameterChangeBlocks, 1);
  EXPECT_FLOAT_EQ(static_cast<float>(comp->lastChangeValue), 0.8f);

  // Edits and dirty state from the plug-in reach the sinks.
  auto* sink = new RecordingSink;
  vst->Advise(sink);
  controller->Poke(1);
  ASSERT_EQ(sink->changes.size(), 1u);
  EXPECT_EQ(sink->changes[0], std::make_pair(0, 0.25f));
  RunBlock(vst.get());
  EXPECT_EQ(comp->parameterChangeBlocks, 2);  // the editor's edit went on to the processor
  EXPECT_FLOAT_EQ(static_cast<float>(comp->lastChangeValue), 0.25f);
  controller->Poke(2);
  int32_t dirty = 0;
  vst->GetDirty(&dirty);
  EXPECT_EQ(dirty, 1);
  EXPECT_EQ(sink->states, std::vector<int32_t>{1});
  vst->Unadvise(sink);
  sink->Release();

  // The state image carries the controller's own chunk too.
  ByteArray state;
  ASSERT_EQ(vst->GetState(0, &state), S_OK);
  ASSERT_EQ(vst->SetState(0, &state), S_OK);
  EXPECT_EQ(cont->componentStates, 2);

  EXPECT_EQ(cont->terminateCalls, 0);
  component.reset();  // nothing may outlive the module
  controller.reset();
  EXPECT_EQ(vst->Unload(), S_OK);
}

TEST(Vst3VendorTest, EditorEditsReachTheProcessorWhateverTheVendor) {
  for (const char* module : {TESSARY_KILO_SO, TESSARY_SPLIT_SO}) {
    SCOPED_TRACE(module);
    VstPtr vst = LoadVst3(module);
    auto component = Probe(vst.get());
    auto controller = Probe(vst.get(), vst3::IEditController::iid);
    vst->AllocateBuffers();
    controller->Poke(1);
    RunBlock(vst.get());
    EXPECT_EQ(component->Record()->parameterChangeBlocks, 1);
    EXPECT_EQ(component->Record()->lastChangeValue, 0.25);
  }
}

TEST(Vst3VendorTest, SoftubeControllersAreInitializedOnce) {
  VstPtr vst = LoadVst3(TESSARY_SOFT_SO);
  EXPECT_EQ(Probe(vst.get())->Record()->initializeCalls, 1);
}

TEST(Vst3UnicodeTest, AFactoryThatSpeaksOnlyUnicodeLoadsWithItsNames) {
  std::filesystem::path path = TESSARY_UNICODE_SO;
  VstPtr counter = NewVst3();
  EXPECT_EQ(counter->Load(&path, nullptr, nullptr, 0, 32, -1), 1);  // one audio class counted
  VstPtr vst = LoadVst3(TESSARY_UNICODE_SO, 1);
  BSTR name, vendor, sub;
  vst->GetInfo(&name, &vendor);
  vst->GetSubCategories(&sub);
  EXPECT_EQ(name, "öüäéèê-やあ-مرحبًا");
  EXPECT_EQ(vendor, "öüäéèê-やあ-مرحبًا");
  EXPECT_EQ(sub, "Fx|Dynamics");
  EXPECT_TRUE(Probe(vst.get()));
}

TEST(Vst3UnitsTest, ProgramListsUnitsAndProgramChangeParameter) {
  VstPtr vst = LoadVst3(TESSARY_UNITS_SO);
  std::vector<ProgramRecord> programs;
  ASSERT_EQ(vst->GetPrograms(&programs), S_OK);
  ASSERT_EQ(programs.size(), 3u);
  EXPECT_EQ(programs[1].name, "Bright");
  EXPECT_EQ(programs[1].id, 77);
  EXPECT_TRUE(programs[1].local_file.empty());
  BstrArray names;
  vst->GetNames(kUnitNames, &names);
  EXPECT_EQ(names, (BstrArray{"Root", "Drums"}));
  int32_t unit = -1;
  ASSERT_EQ(vst->GetSelectedUnit(&unit), S_OK);
  EXPECT_EQ(unit, 0);  // selected at load
  EXPECT_EQ(vst->SelectUnit(1), S_OK);
  vst->GetSelectedUnit(&unit);
  EXPECT_EQ(unit, 1);
  EXPECT_EQ(vst->SelectUnit(9), E_FAIL);

  int32_t program = -1;
  ASSERT_EQ(vst->GetProgram(&program), S_OK);
  EXPECT_EQ(program, 0);
  ASSERT_EQ(vst->SetProgram(2), S_OK);
  vst->GetProgram(&program);
  EXPECT_EQ(program, 2);
  BstrArray xml;
  ASSERT_EQ(vst->GetProgramsXml(&xml), S_OK);
  EXPECT_EQ(xml[2], "<e><n>Dark</n><id>77</id><local_file></local_file></e>");
}

MIDI Short(int32_t delta, uint8_t status, uint8_t d1, uint8_t d2) {
  MIDI m{};
  m.deltaTime = delta;
  m.bytes[0] = status, m.bytes[1] = d1, m.bytes[2] = d2;
  return m;
}

TEST(Vst3SynthTest, MidiBecomesNoteEventsAndOutputEventsReachSinks) {
  VstPtr vst = LoadVst3(TESSARY_SYNTH_SO);
  int32_t version = 0, ai, ao, ei, eo;
  vst->GetVstVersion(&version);
  EXPECT_EQ(version, 3000);  // "VST three" has no digits
  vst->GetChannelCounts(&ai, &ao, &ei, &eo);
  EXPECT_EQ(ai, 0);
  EXPECT_EQ(ao, 2);
  EXPECT_EQ(ei, 1);
  EXPECT_EQ(vst->SetParameter(0, 0.5f), E_UNEXPECTED);
  std::vector<ParameterRecord> params;
  EXPECT_EQ(vst->GetParameters(&params), E_UNEXPECTED);
  int32_t program = 0;
  EXPECT_EQ(vst->GetProgram(&program), E_UNEXPECTED);

  auto* sink = new RecordingSink;
  vst->Advise(sink);
  vst->AllocateBuffers();
  MIDI records[4] = {Short(5, 0x90, 60, 100), Short(0, 0x91, 61, 0), Short(3, 0xB0, 7, 99),
                     Short(2, 0x82, 62, 10)};
  MIDI native{};
  native.hasNative = 1;
  Event poly{};
  poly.type = Event::kPolyPressureEvent;
  poly.busIndex = 3;
  poly.polyPressure.pitch = 70;
  std::memcpy(native.native, &poly, sizeof poly);
  ASSERT_EQ(vst->AddMidi(records, 4, 0), S_OK);
  ASSERT_EQ(vst->AddMidi(&native, 1, 0), S_OK);
  MIDI2 ump[2] = {};
  ump[0].ump[0] = 0x20934050;  // MIDI 1.0 note-on, channel 3, pitch 64, velocity 80
  ump[1].ump[0] = 0x40954800;  // MIDI 2.0 note-on, channel 5, pitch 72
  ump[1].ump[1] = 0xFFFF0000;  // full velocity
  ASSERT_EQ(vst->AddMidi(ump, 2, 2), S_OK);
  RunBlock(vst.get());

  auto* rec = Probe(vst.get())->Record();
  ASSERT_EQ(rec->events.size(), 6u);
  const Event& on = rec->events[0];
  EXPECT_EQ(on.type, Event::kNoteOnEvent);
  EXPECT_EQ(on.sampleOffset, 5);
  EXPECT_EQ(on.busIndex, 0);
  EXPECT_EQ(on.noteOn.pitch, 60);
  EXPECT_FLOAT_EQ(on.noteOn.velocity, 100 / 127.0f);
  EXPECT_EQ(on.noteOn.noteId, -1);
  const Event& zero = rec->events[1];  // note-on with velocity 0
  EXPECT_EQ(zero.type, Event::kNoteOffEvent);
  EXPECT_EQ(zero.noteOff.channel, 1);
  EXPECT_EQ(zero.noteOff.velocity, 1.0f);
  EXPECT_EQ(zero.sampleOffset, 5);
  const Event& off = rec->events[2];  // the controller change made no event
  EXPECT_EQ(off.type, Event::kNoteOffEvent);
  EXPECT_EQ(off.noteOff.pitch, 62);
  EXPECT_EQ(off.sampleOffset, 10);
  EXPECT_EQ(rec->events[3].type, Event::kPolyPressureEvent);
  EXPECT_EQ(rec->events[3].busIndex, 0);
  EXPECT_EQ(rec->events[3].polyPressure.pitch, 70);
  EXPECT_EQ(rec->events[4].noteOn.channel, 3);
  EXPECT_EQ(rec->events[4].noteOn.pitch, 64);
  EXPECT_FLOAT_EQ(rec->events[4].noteOn.velocity, 80 / 127.0f);
  EXPECT_EQ(rec->events[5].noteOn.channel, 5);
  EXPECT_FLOAT_EQ(rec->events[5].noteOn.velocity, 1.0f);
  EXPECT_TRUE(rec->pastEndRefused);
  ASSERT_EQ(sink->raw.size(), 6u);  // echoed through the output event list
  EXPECT_EQ(sink->raw[0].size(), sizeof(Event));

  RunBlock(vst.get());
  EXPECT_EQ(rec->events.size(), 6u);  // delivered once
  vst->Unadvise(sink);
  sink->Release();
}

TEST(Vst3SynthTest, RequiringAnEditorRefusesAPluginWithoutController) {
  VstPtr vst = NewVst3();
  std::filesystem::path synth = TESSARY_SYNTH_SO;
  EXPECT_EQ(vst->Load(&synth, nullptr, nullptr, 1, 32, 0), E_FAIL);
  EXPECT_EQ(vst->Load(&synth, nullptr, nullptr, 0, 32, 0), S_OK);
}

}  // namespace
}  // namespace plexar
