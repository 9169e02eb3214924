// SPDX-License-Identifier: GPL-3.0-or-later
// What the VST 2 test plug-in records about the host's calls, and the request through which a
// test makes the plug-in call the host. The record is the AEffect's `object`.
#pragma once

#include <cstdint>

#include "plexar/vst2/aeffect.h"

namespace plexar::testplug2 {

using namespace plexar::vst2;

struct Vst2TestRecord {
  int32_t opcodes[512];      // dispatcher opcodes in the order received (first 512)
  int32_t opcodeCount;
  intptr_t lastValue[128];   // value argument of the last call, per opcode
  float sampleRate;
  int32_t processCalls;
  int32_t doubleProcessCalls;
  VstTimeInfo lastTime;      // what audioMasterGetTime answered during the last block
  intptr_t lastTimeAddress;
  int32_t eventBatches;
  int32_t eventCount;
  VstMidiEvent events[64];
  intptr_t echoAnswer;       // host's answer when the events were sent back to it
  intptr_t hostVersion;      // audioMasterVersion, asked inside the entry point
  int32_t throwOn;           // the dispatcher throws when it receives this opcode
  float params[2];
  int32_t program;
  intptr_t editParent;
  int32_t editIdles;         // effEditIdle calls while the editor was open (editor variant)
  int32_t editCloses;
};

/// Sent with effVendorSpecific as `ptr`: the plug-in calls the host with these arguments,
/// as `as` when it is not null, and stores the answer.
struct HostRequest {
  AEffect* as;
  int32_t opcode;
  int32_t index;
  intptr_t value;
  void* ptr;
  float opt;
  intptr_t answer;
};

/// The editor variant's size, and the colour it fills itself with on every idle call.
inline constexpr int16_t kEditorWidth = 160;
inline constexpr int16_t kEditorHeight = 100;
inline constexpr unsigned long kEditorColour = 0x0000C0;

inline constexpr int32_t kTestRequest = 50;  // effVendorSpecific
inline constexpr int32_t kIdFromMain = 0x4D41494E;           // 'MAIN'
inline constexpr int32_t kIdFromPluginMain = 0x56504D4E;     // 'VPMN'

inline int32_t Count(const Vst2TestRecord* r, int32_t opcode) {
  int32_t n = 0;
  for (int32_t i = 0; i < r->opcodeCount && i < 512; ++i) n += r->opcodes[i] == opcode;
  return n;
}

}  // namespace plexar::testplug2
