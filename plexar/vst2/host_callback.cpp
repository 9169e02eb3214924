// SPDX-License-Identifier: GPL-3.0-or-later
// The host callback: process-wide answers, and requests handed to the object whose plug-in
// made them.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "common/text.h"
#include "plexar/editor/editor.h"
#include "plexar/vst2/instance_list.h"
#include "plexar/vst2/vst2_plugin.h"

namespace plexar {

using namespace vst2;

namespace {

constexpr const char* kHostCapabilities[] = {
    "sendVstEvents",   "sendVstMidiEvent", "receiveVstEvents", "receiveVstMidiEvent",
    "sizeWindow",      "asyncProcessing",  "offline",          "supplyIdle",
    "supportShell",    "sendVstTimeInfo",  "reportConnectionChanges", "startStopProcess",
};

constexpr char kHostName[] = "Tarnwick";

// Larger than any screen; a bigger editor size is taken as garbage.
constexpr intptr_t kMaxEditorSide = 16384;

// A plug-in never sends more events at once than this; a larger count is taken as garbage.
constexpr int32_t kMaxForwardedEvents = 4096;

intptr_t CanDo(const void* ptr) {
  if (!ptr) return -1;
  std::string_view asked(static_cast<const char*>(ptr));
  for (const char* capability : kHostCapabilities) {
    if (common::EqualsIgnoringCase(asked, capability)) return 1;
  }
  return -1;
}

intptr_t CopyHostName(void* ptr) {
  if (ptr) std::memcpy(ptr, kHostName, sizeof kHostName);
  return 1;
}

}  // namespace

intptr_t VST2::hostCallback(AEffect* effect, int32_t opcode, int32_t index, intptr_t value,
                            void* ptr, float opt) {
  switch (opcode) {
    case audioMasterVersion: return 2400;
    case audioMasterGetCurrentProcessLevel: return 2;
    case audioMasterGetVendorString: return CopyHostName(ptr);
    case audioMasterGetProductString: return CopyHostName(ptr);
    case audioMasterGetVendorVersion: return 2;
    case audioMasterCanDo: return CanDo(ptr);
    case audioMasterGetLanguage: return 1;
    case audioMasterUpdateDisplay: return 0;
    default: break;
  }
  if (!effect) return 0;
  intptr_t answer = 0;
  try {
    common::ReadGuard guard(instanceList().lock);
    for (VST2* object : instanceList().objects) {
      if (object->effect == effect) answer = object->InstanceRequest(opcode, index, value, ptr, opt);
    }
  } catch (...) {
    return 0;  // nothing may be thrown back into the plug-in
  }
  return answer;
}

intptr_t VST2::InstanceRequest(int32_t opcode, int32_t index, intptr_t value, void* ptr,
                               float opt) {
  switch (opcode) {
    case audioMasterAutomate:
      NotifyParameterChanged(index, opt);
      return 0;
    case audioMasterIdle:
    case audioMasterBeginEdit:
    case audioMasterEndEdit:
      Dispatch(effEditIdle);
      return 0;
    case audioMasterGetTime:
      return reinterpret_cast<intptr_t>(&timeInfo);
    case audioMasterSizeWindow:
      // The host says it can ("sizeWindow"): the frame takes the editor's new size.
      if (index <= 0 || value <= 0 || index > kMaxEditorSide || value > kMaxEditorSide) return 0;
      requestedWidth = index, requestedHeight = static_cast<int32_t>(value);
      editor::Relayout(this);
      return 1;
    case audioMasterProcessEvents:
      ForwardEvents(static_cast<const VstEvents*>(ptr));
      return 0;
    case audioMasterGetSampleRate: return sampleRate;
    case audioMasterGetBlockSize: return blockSize;
    case audioMasterGetDirectory: {
      std::string folder = path.parent_path().string();
      size_t n = std::min(folder.size(), sizeof directory - 1);
      std::memcpy(directory, folder.data(), n);
      directory[n] = 0;
      return reinterpret_cast<intptr_t>(directory);
    }
    default:
      ReportUnhandled(opcode);
      return 0;
  }
}

// One byte string per event: a MIDI event whole, a system-exclusive event its dump, any other
// event the fixed head every event has. A plug-in's byteSize is not trusted for the length.
void VST2::ForwardEvents(const VstEvents* events) {
  if (!events || events->numEvents <= 0 || events->numEvents > kMaxForwardedEvents) return;
  BstrArray strings;
  strings.reserve(static_cast<size_t>(events->numEvents));
  for (int32_t i = 0; i < events->numEvents; ++i) {
    const VstEvent* event = events->events[i];
    if (!event) continue;
    const char* bytes = reinterpret_cast<const char*>(event);
    if (event->type == kVstSysExType) {
      const auto* sysex = reinterpret_cast<const VstMidiSysexEvent*>(event);
      if (sysex->sysexDump && sysex->dumpBytes > 0) {
        strings.emplace_back(sysex->sysexDump, static_cast<size_t>(sysex->dumpBytes));
        continue;
      }
      strings.emplace_back(bytes, sizeof(VstEvent));
    } else if (event->type == kVstMidiType) {
      strings.emplace_back(bytes, sizeof(VstMidiEvent));
    } else {
      strings.emplace_back(bytes, sizeof(VstEvent));
    }
  }
  NotifyEvents(strings);
}

// Stands in for the default beep: one line per object and opcode, so that a plug-in asking
// on every block does not flood the terminal.
void VST2::ReportUnhandled(int32_t opcode) {
  if (opcode >= 0 && opcode < 64) {
    const uint64_t bit = uint64_t{1} << opcode;
    if (reportedOpcodes.fetch_or(bit) & bit) return;
  }
  std::fprintf(stderr, "plexar: VST 2 plug-in request %d not handled\n", static_cast<int>(opcode));
}

}  // namespace plexar
