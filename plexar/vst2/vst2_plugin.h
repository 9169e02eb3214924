// SPDX-License-Identifier: GPL-3.0-or-later
// plexar::VST2, the plug-in object for VST 2 modules: a shared object whose entry point
// ("main" or "VSTPluginMain") hands out an AEffect that the host drives through its dispatcher.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "plexar/editor/plugin_view.h"
#include "plexar/vst.h"
#include "plexar/vst2/aeffect.h"

namespace plexar {

class VST2 final : public VST, private editor::PluginView {
 public:
  VST2() = default;
  ~VST2() override;

  HRESULT GetProgram(int32_t* program) override;
  HRESULT SetProgram(int32_t program) override;
  HRESULT GetState(int32_t index, ByteArray* state) override;
  HRESULT SetState(int32_t index, const ByteArray* state) override;
  HRESULT GetParameter(int32_t id, float* value) override;
  HRESULT SetParameter(int32_t id, float value) override;
  HRESULT GetSelectedUnit(int32_t* unit) override;
  HRESULT SelectUnit(int32_t unit) override;
  HRESULT Load(const std::filesystem::path* path, void* module, void* entry,
               int32_t requireEditor, int32_t bits, int32_t classIndex) override;
  HRESULT ShowEditor(HWND owner, int32_t mode, int32_t modal) override;
  HRESULT GetVstVersion(int32_t* version) override;
  HRESULT Unload() override;
  HRESULT Suspend(int32_t all) override;
  HRESULT Resume(int32_t all) override;
  HRESULT KeyDown(int32_t key) override;
  HRESULT KeyUp(int32_t key) override;
  HRESULT GetParameters(std::vector<ParameterRecord>* params) override;
  HRESULT SetFormat(int32_t rate, int32_t frames, int32_t bits, int32_t allocate) override;
  HRESULT AttachEditor(HWND parent) override;
  HRESULT CanProcessPrecision(int32_t bits) override;
  HRESULT GetLatency(int32_t* frames) override;
  HRESULT GetPrograms(std::vector<ProgramRecord>* programs) override;
  HRESULT GetNative(const void* selector, void** out) override;
  HRESULT GetParameterText(int32_t id, float value, BSTR* text) override;
  HRESULT FormatParameter(int32_t id, float value, char* text) override;
  HRESULT GetParameterDisplay(int32_t id, std::string* text, std::string* unit) override;
  HRESULT SetParameterText(int32_t id, const std::string& text, std::string* why) override;
  HRESULT PresetFileCmd(HWND owner, int32_t mode, std::vector<uint8_t>* bytes,
                        const std::filesystem::path* file) override;

  /// The one callback every VST 2 plug-in of the process calls the host through.
  static intptr_t hostCallback(vst2::AEffect* effect, int32_t opcode, int32_t index,
                               intptr_t value, void* ptr, float opt);

 protected:
  void StoreTiming(uint32_t state, int32_t rate, int64_t projectTime, int64_t systemTime,
                   int64_t continuousTime, float projectQuarters, float barStart, float cycleStart,
                   float cycleEnd, float tempo, int32_t numerator, int32_t denominator) override;
  void DeliverEvents() override;
  void ProcessBlock() override;
  HRESULT BuildBuffers(bool shared, BSTR* mappingName) override;
  void FreeFormatBuffers() override;

 private:
  // PluginView, on the UI thread.
  bool PrepareView() override;
  bool AttachView(unsigned long window) override;
  bool ViewSize(int* width, int* height) override;
  void ViewPlaced(int, int) override {}
  int IdleInterval() override;
  void IdleView() override;
  void DetachView() override;
  VST* Object() override { return this; }

  /// Calls the dispatcher when an entry point and an AEffect exist; a plug-in's exception
  /// answers 0, as does a missing plug-in.
  intptr_t Dispatch(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr,
                    float opt = 0) noexcept;
  /// A request of this object's plug-in that the process-wide part did not answer.
  intptr_t InstanceRequest(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt);
  void ForwardEvents(const vst2::VstEvents* events);
  void ReportUnhandled(int32_t opcode);

  // Loading steps.
  HRESULT OpenEntry(const std::filesystem::path& file, void* moduleArg, void* entryArg);
  void CloseModuleUnlessCallers();
  void ReadChannels();
  void ReadNames();
  void ReadPrograms();
  void SendFormat(bool precision);
  bool ValidParameter(int32_t index) const;
  /// A parameter's text from `effGetParamDisplay` or `effGetParamLabel`, trimmed.
  std::string ParameterString(int32_t opcode, int32_t index);
  void ProcessDoublesThroughFloats();

  vst2::EntryProc entry = nullptr;
  vst2::AEffect* effect = nullptr;
  vst2::VstTimeInfo timeInfo{};
  char directory[1000] = {};
  std::vector<vst2::VstMidiEvent> midiEvents;
  // The VstEvents header and its pointer array, in words so that the pointers are aligned.
  std::vector<uint64_t> eventList;
  // Float copies of the channels when a 64-bit block meets a plug-in without double processing.
  std::vector<float> floatChannels;
  std::vector<float*> floatInputs;
  std::vector<float*> floatOutputs;
  // The editor size the plug-in last asked for (audioMasterSizeWindow); 0 when it has not.
  std::atomic<int32_t> requestedWidth{0};
  std::atomic<int32_t> requestedHeight{0};
  bool mainsOn = false;
  bool started = false;
  std::atomic<uint64_t> reportedOpcodes{0};
};

}  // namespace plexar
