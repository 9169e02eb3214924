// SPDX-License-Identifier: GPL-3.0-or-later
// Test module: a gain effect whose controller has a view for X11. The view draws with Xlib
// only from the timer it registers with the host's run loop, asks the frame for a larger size
// when a key is pressed, and lists parameters that the host's parameter list sorts and skips.
#include <cstdio>
#include <cstring>

#include "effect_base.h"
#include "plexar/vst3/view.h"
#include "view_record.h"
#include "x11_panel.h"

namespace plexar::testplug {
namespace {

using linux_ui::IEventHandler;
using linux_ui::IRunLoop;
using linux_ui::ITimerHandler;

constexpr Uid kViewCid = MakeUid(0x6A1F0009, 0x11112222, 0x33334444, 0x55556666);
constexpr int kWidth = 200;
constexpr int kHeight = 120;
constexpr uint64 kTimerMs = 20;

ViewRecord viewRecord;

class TestView final : public Object<IPlugView, ITimerHandler, IEventHandler> {
 public:
  TestView() { ++viewRecord.created; }

  tresult isPlatformTypeSupported(FIDString type) override {
    return type && std::strcmp(type, kPlatformTypeX11EmbedWindowID) == 0 ? kResultTrue : kResultFalse;
  }
  tresult attached(void* parent, FIDString type) override {
    if (isPlatformTypeSupported(type) != kResultTrue) return kResultFalse;
    const auto window = reinterpret_cast<unsigned long>(parent);
    viewRecord.parent = window;
    if (!panel_.Open(window, width_, height_)) return kResultFalse;
    void* loop = nullptr;
    if (frame_ && frame_->queryInterface(IRunLoop::iid.data(), &loop) == kResultOk) {
      runLoop_ = static_cast<IRunLoop*>(loop);
      viewRecord.runLoopFound = true;
      runLoop_->registerTimer(this, kTimerMs);
      runLoop_->registerEventHandler(this, panel_.Fd());
    }
    ++viewRecord.attached;
    return kResultOk;
  }
  tresult removed() override {
    if (runLoop_) {
      runLoop_->unregisterTimer(this);
      runLoop_->unregisterEventHandler(this);
      runLoop_->release();
      runLoop_ = nullptr;
    }
    panel_.Close();
    ++viewRecord.removed;
    return kResultOk;
  }
  tresult onWheel(float) override { return kResultOk; }
  tresult onKeyDown(char16, int16, int16) override {
    if (!frame_) return kResultFalse;
    ViewRect grown{0, 0, kGrownWidth, kGrownHeight};
    return frame_->resizeView(this, &grown);
  }
  tresult onKeyUp(char16, int16, int16) override { return kResultOk; }
  tresult getSize(ViewRect* size) override {
    if (!size) return kInvalidArgument;
    *size = {0, 0, width_, height_};
    return kResultOk;
  }
  tresult onSize(ViewRect* size) override {
    if (!size) return kInvalidArgument;
    width_ = size->right - size->left;
    height_ = size->bottom - size->top;
    viewRecord.width = width_;
    viewRecord.height = height_;
    panel_.Resize(width_, height_);
    return kResultOk;
  }
  tresult onFocus(TBool) override { return kResultOk; }
  tresult setFrame(IPlugFrame* frame) override {
    frame_ = frame;
    return kResultOk;
  }
  tresult canResize() override { return kResultTrue; }
  tresult checkSizeConstraint(ViewRect*) override { return kResultOk; }

  void onTimer() override {
    ++viewRecord.timerTicks;
    panel_.Fill(kViewColour);
  }
  void onFDIsSet(int) override { panel_.Drain(); }

 private:
  ~TestView() override {
    panel_.Close();
    ++viewRecord.released;
  }
  IPlugFrame* frame_ = nullptr;
  IRunLoop* runLoop_ = nullptr;
  X11Panel panel_;
  int width_ = kWidth;
  int height_ = kHeight;
};

class ViewEffect final : public ComponentBase<IEditController> {
 public:
  ViewEffect()
      : ComponentBase({{kAudio, kInput, 2, "Main In"}, {kAudio, kOutput, 2, "Main Out"}}),
        params_({{kGainId, "Gain", "G", 0.5}, {1, "MIDI CC 7", "CC7", 0}, {2, "Alpha", "A", 0.1},
                 {3, "Zeta", "Z", 0.9}}) {}

  tresult setComponentState(IBStream*) override { return kResultOk; }
  int32 getParameterCount() override { return params_.Count(); }
  tresult getParameterInfo(int32 index, ParameterInfo& info) override {
    tresult r = params_.Info(index, info);
    if (r == kResultOk && info.id == 2) CopyText16(info.units, 128, "dB");
    return r;
  }
  tresult getParamStringByValue(ParamID, ParamValue v, String128 text) override {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.2f", v);
    CopyText16(text, 128, buffer);
    return kResultOk;
  }
  tresult getParamValueByString(ParamID, TChar*, ParamValue&) override { return kNotImplemented; }
  ParamValue normalizedParamToPlain(ParamID, ParamValue v) override { return v; }
  ParamValue plainParamToNormalized(ParamID, ParamValue v) override { return v; }
  ParamValue getParamNormalized(ParamID id) override { return params_.Get(id); }
  tresult setParamNormalized(ParamID id, ParamValue v) override { return params_.Set(id, v); }
  tresult setComponentHandler(IComponentHandler* handler) override {
    handler_ = handler;
    return kResultOk;
  }
  IPlugView* createView(FIDString name) override {
    if (!name || std::strcmp(name, "editor") != 0) return nullptr;
    return new TestView;
  }
  // 1: the plug-in automates its gain to 0.25 (as its editor would).
  void Poke(int32 what) override {
    if (what == 1 && handler_) {
      params_.Set(kGainId, 0.25);
      handler_->performEdit(kGainId, 0.25);
    }
  }

 private:
  ParamSet params_;
  IComponentHandler* handler_ = nullptr;
};

IPluginFactory* MakeFactory() {
  return new Factory(TESTPLUG_VENDOR,
                     {{kViewCid, kVstAudioEffectClass, "TessaryView", "Fx", "VST 3.7.14",
                       [] { return static_cast<IComponent*>(new ViewEffect); }}});
}

}  // namespace
}  // namespace plexar::testplug

TESTPLUG_EXPORTS(plexar::testplug::MakeFactory)

extern "C" __attribute__((visibility("default"))) plexar::testplug::ViewRecord* TestViewRecord() {
  return &plexar::testplug::viewRecord;
}
