// SPDX-License-Identifier: GPL-3.0-or-later
// plexar::VST, the one plug-in object over every plug-in format. Operations return HRESULTs
// and never throw. Threads: `Process` runs on the caller's audio thread under `pluginLock`
// (read side); `AddMidi` and `SetParameter` may run on any thread. Format changes,
// `FreeBuffers`, `Unload` and `Release` take no lock: callers keep them away from `Process`.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "common/read_write_lock.h"
#include "plexar/automation.h"
#include "plexar/records.h"

namespace plexar {

class VST;
namespace editor {
struct EditorAccess;
}

/// Notification sink advised on a plug-in object.
class VSTNOTIFICATION : public IUnknown {
 public:
  static constexpr GUID iid = {0xF193EFC3, 0x2D9A, 0x4B39,
                               {0x9A, 0xF8, 0xEA, 0x7A, 0x68, 0x68, 0xC6, 0x1D}};
  virtual HRESULT OnParameterChanged(int32_t id, float value) = 0;
  virtual HRESULT OnStateChanged(int32_t flag) = 0;
  virtual HRESULT OnRelease(VST* object) = 0;
  /// Each element holds one raw event as bytes.
  virtual HRESULT OnEvents(const BstrArray& events) = 0;
  virtual HRESULT OnEditorClosed(VST* object) = 0;
  virtual HRESULT OnCommand(int32_t command, VST* object) = 0;
  virtual HRESULT OnReserved() = 0;
  /// Nonzero keeps the note from the plug-in.
  virtual HRESULT OnKeyboardNote(int32_t shortMessage, void* context) = 0;
  /// Returns a menu to show, or runs `item` when `view` is null.
  virtual HMENU OnContextMenu(void* view, intptr_t item) = 0;

 protected:
  ~VSTNOTIFICATION() = default;
};

/// Implements the IUnknown part of a sink with an atomic count; unimplemented slots answer 0.
template <class T>
class GenericCallback : public T {
 public:
  HRESULT QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == T::iid) {
      *out = static_cast<T*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  uint32_t AddRef() override { return ++refs_; }
  uint32_t Release() override {
    uint32_t left = --refs_;
    if (left == 0) delete this;
    return left;
  }
  HRESULT OnParameterChanged(int32_t, float) override { return 0; }
  HRESULT OnStateChanged(int32_t) override { return 0; }
  HRESULT OnRelease(VST*) override { return 0; }
  HRESULT OnEvents(const BstrArray&) override { return E_NOTIMPL; }
  HRESULT OnEditorClosed(VST*) override { return 0; }
  HRESULT OnCommand(int32_t, VST*) override { return 0; }
  HRESULT OnReserved() override { return 0; }
  HRESULT OnKeyboardNote(int32_t, void*) override { return 0; }
  HMENU OnContextMenu(void*, intptr_t) override { return nullptr; }

 protected:
  virtual ~GenericCallback() = default;

 private:
  std::atomic<uint32_t> refs_{1};
};

/// Automation interfaces of the plug-in object; they add no data.
class VSTZ : public IDispatch {
 protected:
  ~VSTZ() = default;
};
class VSTZ2 : public VSTZ {
 protected:
  ~VSTZ2() = default;
};

inline constexpr GUID IID_VSTZ = {0xF193EFC3, 0x2D9A, 0x4B39,
                                  {0x9A, 0xF8, 0xEA, 0x7A, 0x68, 0x68, 0xC6, 0x1A}};
inline constexpr GUID IID_VSTZ2 = {0xF193EFC3, 0x2D9A, 0x4B39,
                                   {0x9A, 0xF8, 0xEA, 0x7A, 0x68, 0x68, 0xC6, 0x1B}};
inline constexpr GUID IID_VST = {0xF193EFC3, 0x2D9A, 0x4B39,
                                 {0x9A, 0xF8, 0xEA, 0x7A, 0x68, 0x68, 0xC6, 0x1C}};

/// Names for `GetNames`.
enum NameType : int32_t {
  kProgramNames = 0, kUnitNames = 1, kAudioInputNames = 2, kAudioOutputNames = 3,
  kEventInputNames = 4, kEventOutputNames = 5,
};

class VST : public VSTZ2 {
 public:
  // IUnknown / IDispatch
  HRESULT QueryInterface(REFIID iid, void** out) override;
  uint32_t AddRef() override;
  uint32_t Release() override;
  HRESULT GetTypeInfoCount(uint32_t* count) override;
  HRESULT GetTypeInfo(uint32_t index, uint32_t locale, void** typeInfo) override;
  HRESULT GetIDsOfNames(REFIID iid, const char* const* names, uint32_t count, uint32_t locale,
                        int32_t* ids) override;
  HRESULT Invoke(int32_t member, REFIID iid, uint32_t locale, uint16_t flags, void* params,
                 void* result, void* exception, uint32_t* argError) override;

  virtual HRESULT GetBits(int32_t* bits);
  virtual HRESULT SetBits(int32_t bits);
  virtual HRESULT GetSampleRate(int32_t* rate);
  virtual HRESULT SetSampleRate(int32_t rate);
  virtual HRESULT GetBlockSize(int32_t* frames);
  virtual HRESULT SetBlockSize(int32_t frames);
  virtual HRESULT GetProgram(int32_t* program) = 0;
  virtual HRESULT SetProgram(int32_t program) = 0;
  virtual HRESULT GetState(int32_t index, ByteArray* state) = 0;
  virtual HRESULT SetState(int32_t index, const ByteArray* state) = 0;
  virtual HRESULT GetBypass(int32_t* flag);
  virtual HRESULT SetBypass(int32_t flag);
  virtual HRESULT GetSilence(int32_t* flag);
  virtual HRESULT SetSilence(int32_t flag);
  virtual HRESULT GetParameter(int32_t id, float* value) = 0;
  virtual HRESULT SetParameter(int32_t id, float value) = 0;
  virtual HRESULT GetDirty(int32_t* dirty);
  virtual HRESULT GetSelectedUnit(int32_t* unit) = 0;
  virtual HRESULT SelectUnit(int32_t unit) = 0;
  virtual HRESULT GetNames(int32_t type, BstrArray* names);
  virtual HRESULT GetChannelCounts(int32_t* audioIn, int32_t* audioOut, int32_t* eventIn,
                                   int32_t* eventOut);
  virtual HRESULT GetHostMode(int32_t* mode);
  virtual HRESULT SetHostMode(int32_t mode);
  virtual HRESULT GetVirtualization(int32_t* flag);
  virtual HRESULT SetVirtualization(int32_t flag);
  virtual HRESULT Advise(VSTNOTIFICATION* sink);
  virtual HRESULT Unadvise(VSTNOTIFICATION* sink);
  /// Why the last Load failed, in words that follow "it" ("could not be opened: ..."); empty
  /// when nothing more than the result code is known.
  const std::string& LoadError() const { return loadError; }
  /// `module` is a dlopen handle; `entry` the format's entry function.
  virtual HRESULT Load(const std::filesystem::path* path, void* module, void* entry,
                       int32_t requireEditor, int32_t bits, int32_t classIndex) = 0;
  virtual HRESULT ShowEditor(HWND owner, int32_t mode, int32_t modal) = 0;
  virtual HRESULT GetVstVersion(int32_t* version) = 0;
  virtual HRESULT Unload() = 0;
  virtual HRESULT Suspend(int32_t all) = 0;
  virtual HRESULT Resume(int32_t all) = 0;
  virtual HRESULT GetInfo(BSTR* name, BSTR* vendor);
  virtual HRESULT KeyDown(int32_t key) = 0;
  virtual HRESULT KeyUp(int32_t key) = 0;
  virtual HRESULT FreeBuffers();
  virtual HRESULT ClearInputs();
  virtual HRESULT ClearOutputs();
  virtual HRESULT PassThrough();
  virtual HRESULT GetParameters(std::vector<ParameterRecord>* params) = 0;
  virtual HRESULT GetParametersXml(BstrArray* xml);
  virtual HRESULT AllocateBuffers();
  virtual HRESULT AllocateSharedBuffers(BSTR* name);
  virtual HRESULT AllocateBuffersEx(void*** inputs, void*** outputs);
  virtual HRESULT SetFormat(int32_t rate, int32_t frames, int32_t bits, int32_t allocate) = 0;
  virtual HRESULT AttachEditor(HWND parent) = 0;
  virtual HRESULT GetBuffers(void*** inputs, void*** outputs);
  virtual HRESULT CanProcessPrecision(int32_t bits) = 0;
  virtual HRESULT GetEditorWindow(HWND* window);
  virtual HRESULT CloseEditor();
  virtual HRESULT GetSubCategories(BSTR* text);
  virtual HRESULT GetLatency(int32_t* frames) = 0;
  virtual HRESULT GetPrograms(std::vector<ProgramRecord>* programs) = 0;
  virtual HRESULT GetProgramsXml(BstrArray* xml);
  virtual HRESULT SetInputs(const void* const* channels);
  virtual HRESULT Process(uint32_t state, int32_t rate, int64_t projectTime, int64_t systemTime,
                          int64_t continuousTime, float projectQuarters, float barStart,
                          float cycleStart, float cycleEnd, float tempo, int32_t numerator,
                          int32_t denominator);
  virtual HRESULT GetOutputs(void* const* channels);
  virtual HRESULT SetInputsArray(ByteArray* array);
  virtual HRESULT GetOutputsArray(ByteArray* array);
  virtual HRESULT AddMidi(void* records, int32_t count, int32_t type);
  virtual HRESULT AddMidiArray(ByteArray* array, int32_t count, int32_t type);
  virtual HRESULT GetNative(const void* selector, void** out) = 0;
  virtual HRESULT SetOption(int32_t option, int32_t value);
  virtual HRESULT Command(const IntArray* command);
  virtual HRESULT SetKeyTarget(HWND window, int32_t messageOffset);
  virtual HRESULT GetParameterText(int32_t id, float value, BSTR* text) = 0;
  virtual HRESULT FormatParameter(int32_t id, float value, char* text) = 0;
  /// The plug-in's own text for a parameter's current value ("6.07") and, apart, its unit
  /// ("Hz"); E_NOTIMPL when the format has none.
  virtual HRESULT GetParameterDisplay(int32_t id, std::string* text, std::string* unit);
  /// Sets a parameter from a plain value as text, read by the plug-in itself ("8Hz", "-6dB",
  /// "On"). Nothing changes when the plug-in cannot read it or the value lies outside the
  /// parameter's range; `why` then says which, as words that follow a colon.
  virtual HRESULT SetParameterText(int32_t id, const std::string& text, std::string* why);
  /// Mode 0 saves, 1 loads; `file` stands in for the file dialog when `bytes` is null.
  virtual HRESULT PresetFileCmd(HWND owner, int32_t mode, std::vector<uint8_t>* bytes,
                                const std::filesystem::path* file = nullptr) = 0;
  virtual ~VST();

  VST(const VST&) = delete;
  VST& operator=(const VST&) = delete;

 protected:
  friend struct editor::EditorAccess;

  VST();

  /// Timing arguments of `Process`, stored into the format's own time structure.
  virtual void StoreTiming(uint32_t state, int32_t rate, int64_t projectTime, int64_t systemTime,
                           int64_t continuousTime, float projectQuarters, float barStart,
                           float cycleStart, float cycleEnd, float tempo, int32_t numerator,
                           int32_t denominator) = 0;
  /// Drains the MIDI queues into the format's event structure (events were pending).
  virtual void DeliverEvents() = 0;
  /// The plug-in processes the block in place.
  virtual void ProcessBlock() = 0;

  /// The format's buffer allocation (counts, block, its own per-bus tables).
  virtual HRESULT BuildBuffers(bool shared, BSTR* mappingName) = 0;
  /// Frees what `BuildBuffers` added beyond the block.
  virtual void FreeFormatBuffers() {}

  /// Builds the buffer block for I inputs and O outputs; S_FALSE when tables exist.
  HRESULT MakeBlock(int32_t inputs, int32_t outputs, bool shared, BSTR* name);
  size_t ChannelBytes() const;
  void NotifyParameterChanged(int32_t id, float value);
  void NotifyStateChanged(int32_t flag);
  void NotifyEvents(const BstrArray& events);
  void NotifyEditorClosed();
  void NotifyCommand(int32_t command);
  HMENU AskContextMenu(void* view, intptr_t item);
  /// Rebuild rule of the property setters.
  HRESULT ChangeProperty(int32_t* field, int32_t value);

  /// Calls `onMidi(const MIDI&)` and `onMidi2(const MIDI2&)` for every queued record, each
  /// queue under its write lock, and empties them. Allocates nothing.
  template <class F, class G>
  void DrainMidiQueues(F&& onMidi, G&& onMidi2) {
    {
      common::WriteGuard guard(midiQueueLock);
      for (const MIDI& m : midiQueue) onMidi(m);
      midiQueue.clear();
    }
    {
      common::WriteGuard guard(midi2QueueLock);
      for (const MIDI2& m : midi2Queue) onMidi2(m);
      midi2Queue.clear();
    }
  }

  void* module = nullptr;
  std::atomic<uint32_t> refCount{1};
  int32_t bits = 32;
  int32_t blockSize = 512;
  int32_t sampleRate = 48000;
  // Set from the console thread, read by the audio thread.
  std::atomic<int32_t> bypass{0};
  std::atomic<int32_t> silence{0};
  std::filesystem::path path;
  std::string loadError;  // see LoadError
  std::string name;
  std::string vendor;
  std::string productUrl;
  std::string subCategories;
  int32_t vstVersion = 0;
  HWND keyTarget = nullptr;
  int32_t keyMessageOffset = 0;
  bool editorRibbon = false;
  bool editorOpen = false;
  std::atomic<bool> dirty{false};
  bool callerModule = false;
  common::ReadWriteLock pluginLock;
  std::vector<ChannelRecord> audioInputs;
  std::vector<ChannelRecord> audioOutputs;
  std::vector<ChannelRecord> eventInputs;
  std::vector<ChannelRecord> eventOutputs;
  std::vector<UnitRecord> units;
  std::vector<ProgramRecord> programs;
  std::vector<MIDI> midiQueue;
  common::ReadWriteLock midiQueueLock;
  std::vector<MIDI2> midi2Queue;
  common::ReadWriteLock midi2QueueLock;
  std::atomic<bool> midiPending{false};
  int32_t midiTime = 0;
  int32_t midi2Time = 0;
  std::recursive_mutex sinkLock;
  std::vector<VSTNOTIFICATION*> sinks;
  void** inputTable = nullptr;
  int32_t inputCount = 0;
  void** outputTable = nullptr;
  int32_t outputCount = 0;
  void* block = nullptr;
  size_t blockBytes = 0;
  int sharedFd = -1;
  std::string sharedName;
  int32_t useNoteOffset = 0;
  int32_t editorIdleMs = 0;
  int32_t hostMode = 1;
  int32_t virtualization = 0;
};

/// Creates a VST 3 plug-in object with one reference. `module` stands for the module the
/// automation type library would be taken from; none is used here.
HRESULT CreateVst3(void* module, VST** out);
/// Creates a VST 2 plug-in object with one reference; `module` as for `CreateVst3`.
HRESULT CreateVst2(void* module, VST** out);

}  // namespace plexar
