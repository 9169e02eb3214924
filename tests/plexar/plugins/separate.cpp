// SPDX-License-Identifier: GPL-3.0-or-later
// Test module: a gain effect whose controller is a class of its own, joined to the component
// through connection points; the component greets the controller with a message.
#include "effect_base.h"

namespace plexar::testplug {
namespace {

constexpr Uid kComponentCid = MakeUid(0x5E9A0001, 0x01020304, 0x05060708, 0x090A0B0C);
constexpr Uid kControllerCid = MakeUid(0x5E9A0002, 0x01020304, 0x05060708, 0x090A0B0C);

class Processor final : public ComponentBase<IConnectionPoint> {
 public:
  Processor() : ComponentBase({{kAudio, kInput, 2, "In"}, {kAudio, kOutput, 2, "Out"}}) {}
  ~Processor() override { if (peer_) peer_->release(); }

  tresult getControllerClassId(TUID cid) override {
    std::memcpy(cid, kControllerCid.bytes, 16);
    return kResultOk;
  }
  tresult connect(IConnectionPoint* other) override {
    if (!other) return kInvalidArgument;
    ++record_.connects;
    other->addRef();
    peer_ = other;
    Greet();
    return kResultOk;
  }
  tresult disconnect(IConnectionPoint*) override {
    if (peer_) peer_->release();
    peer_ = nullptr;
    return kResultOk;
  }
  tresult notify(IMessage*) override { return kResultOk; }

 private:
  void Greet() {
    auto* app = Query<IHostApplication>(host_);
    if (!app) return;
    void* made = nullptr;
    TUID iid;
    std::memcpy(iid, IMessage::iid.bytes, 16);
    if (app->createInstance(iid, iid, &made) == kResultOk) {
      auto* message = static_cast<IMessage*>(made);
      message->setMessageID("hello");
      message->getAttributes()->setInt("value", 42);
      peer_->notify(message);
      message->release();
    }
    app->release();
  }
  IConnectionPoint* peer_ = nullptr;
};

class Controller final : public Object<IEditController, IConnectionPoint, ITestProbe> {
 public:
  tresult initialize(FUnknown*) override { ++record_.initializeCalls; return kResultOk; }
  tresult terminate() override {
    ++record_.terminateCalls;
    if (handler_) handler_->release();
    handler_ = nullptr;
    return kResultOk;
  }
  tresult setComponentState(IBStream* state) override {
    double g = 0;
    ++record_.componentStates;
    if (!ReadDouble(state, &g)) return kResultFalse;
    record_.componentStateGain = g;
    params_.Set(kGainId, g);
    return kResultOk;
  }
  tresult setState(IBStream* state) override {
    double v = 0;
    return ReadDouble(state, &v) && v == 7.0 ? kResultOk : kResultFalse;
  }
  tresult getState(IBStream* state) override { return WriteDouble(state, 7.0) ? kResultOk : kResultFalse; }
  int32 getParameterCount() override { return params_.Count(); }
  tresult getParameterInfo(int32 index, ParameterInfo& info) override { return params_.Info(index, info); }
  tresult getParamStringByValue(ParamID, ParamValue, String128) override { return kResultFalse; }
  tresult getParamValueByString(ParamID, TChar*, ParamValue&) override { return kNotImplemented; }
  ParamValue normalizedParamToPlain(ParamID, ParamValue v) override { return v; }
  ParamValue plainParamToNormalized(ParamID, ParamValue v) override { return v; }
  ParamValue getParamNormalized(ParamID id) override { return params_.Get(id); }
  tresult setParamNormalized(ParamID id, ParamValue v) override { return params_.Set(id, v); }
  tresult setComponentHandler(IComponentHandler* handler) override {
    if (handler) handler->addRef();
    if (handler_) handler_->release();
    handler_ = handler;
    void* unit = nullptr;
    if (handler && handler->queryInterface(IUnitHandler::iid.data(), &unit) == kResultOk) {
      record_.sawUnitHandler = true;
      static_cast<IUnitHandler*>(unit)->release();
    }
    return kResultOk;
  }
  IPlugView* createView(FIDString) override { return nullptr; }
  tresult connect(IConnectionPoint*) override { ++record_.connects; return kResultOk; }
  tresult disconnect(IConnectionPoint*) override { return kResultOk; }
  tresult notify(IMessage* message) override {
    ++record_.messagesReceived;
    int64 value = 0;
    if (std::string(message->getMessageID()) == "hello" &&
        message->getAttributes()->getInt("value", value) == kResultOk) {
      record_.lastMessageValue = value;
    }
    return kResultOk;
  }
  TestRecord* Record() override { return &record_; }
  void Poke(int32 what) override {
    if (!handler_) return;
    if (what == 1) {
      handler_->beginEdit(kGainId);
      handler_->performEdit(kGainId, 0.25);
      handler_->endEdit(kGainId);
    } else if (what == 2) {
      void* h2 = nullptr;
      if (handler_->queryInterface(IComponentHandler2::iid.data(), &h2) == kResultOk) {
        static_cast<IComponentHandler2*>(h2)->setDirty(1);
        static_cast<IComponentHandler2*>(h2)->release();
      }
    }
  }

 private:
  TestRecord record_;
  ParamSet params_{{{kGainId, "Gain", "G", 0.5}, {5, "Mix", "M", 1.0}}};
  IComponentHandler* handler_ = nullptr;
};

IPluginFactory* MakeFactory() {
  return new Factory(TESTPLUG_VENDOR,
                     {{kComponentCid, kVstAudioEffectClass, "TessarySplit", "Fx", "VST 3.7.1",
                       [] { return static_cast<IComponent*>(new Processor); }},
                      {kControllerCid, kVstComponentControllerClass, "TessarySplit Controller", "",
                       "VST 3.7.1", [] { return static_cast<IEditController*>(new Controller); }}});
}

}  // namespace
}  // namespace plexar::testplug

TESTPLUG_EXPORTS(plexar::testplug::MakeFactory)
