// SPDX-License-Identifier: GPL-3.0-or-later
// The engine's effect against the rules a strict VST 3 host checks, spoken to directly.
#include <dlfcn.h>

#include <set>

#include "engine_fixture.h"
#include "plexar/vst3/com_object.h"
#include "faust/engine/effect.h"
#include "faust/engine/faust_exports.h"
#include "plexar/vst3/controller.h"
#include "plexar/vst3/memory_stream.h"
#include "plexar/vst3/ref.h"
#include "plexar/vst3/text16.h"

namespace {

using namespace plexar::vst3;
constexpr ParamID kBypassId = faust_engine::FaustEffect::kBypassId;

class Queue final : public ComObject<IParamValueQueue> {
 public:
  Queue(ParamID id, std::vector<std::pair<int32, double>> points) : id_(id), points_(std::move(points)) {}
  ParamID getParameterId() override { return id_; }
  int32 getPointCount() override { return static_cast<int32>(points_.size()); }
  tresult getPoint(int32 index, int32& offset, ParamValue& value) override {
    if (index < 0 || index >= getPointCount()) return kInvalidArgument;
    offset = points_[index].first, value = points_[index].second;
    return kResultOk;
  }
  tresult addPoint(int32, ParamValue, int32&) override { return kResultFalse; }

 private:
  ParamID id_;
  std::vector<std::pair<int32, double>> points_;
};

class Changes final : public ComObject<IParameterChanges> {
 public:
  explicit Changes(Queue* queue) : queue_(Ref<Queue>::Adopt(queue)) {}
  int32 getParameterCount() override { return 1; }
  IParamValueQueue* getParameterData(int32 index) override { return index == 0 ? queue_.get() : nullptr; }
  IParamValueQueue* addParameterData(const ParamID&, int32&) override { return nullptr; }

 private:
  Ref<Queue> queue_;
};

class EngineRulesTest : public faust_testing::EngineTest {
 protected:
  // Installs `code` and makes a fresh effect from the module's own factory.
  void Make(const std::string& code) {
    auto* engine = CreateEngineObject();
    ASSERT_NE(engine, nullptr);
    char error[faust_engine::kTextBufferSize] = {};
    ASSERT_TRUE(engine->Compile(code.data(), code.size(), error)) << error;
    engine->Install(code.data(), code.size(), faust_engine::kDefaultName);
    engine->Release();
    component_ = Fresh();
    ASSERT_TRUE(component_);
    processor_ = QueryRef<IAudioProcessor>(component_.get());
    controller_ = QueryRef<IEditController>(component_.get());
    ASSERT_TRUE(processor_ && controller_);
  }
  // Another instance of the program installed last, initialised; null when none is made.
  static Ref<IComponent> Fresh() {
    auto getFactory = reinterpret_cast<GetFactoryProc>(dlsym(faustModule, "GetPluginFactory"));
    auto factory = Ref<IPluginFactory>::Adopt(getFactory());
    PClassInfo info{};
    Ref<IComponent> component;
    if (factory->getClassInfo(0, &info) != kResultOk ||
        factory->createInstance(info.cid, IComponent::iid.data(), component.put()) != kResultOk ||
        component->initialize(nullptr) != kResultOk) {
      return {};
    }
    return component;
  }
  void Start(int32 sampleSize) {
    ProcessSetup setup{kRealtime, sampleSize, 512, 48000};
    ASSERT_EQ(processor_->setupProcessing(setup), kResultOk);
    // Switched on in the order some hosts use, processing before active.
    processor_->setProcessing(1);
    component_->setActive(1);
  }
  void TearDown() override {
    if (component_) {
      component_->setActive(0);
      processor_->setProcessing(0);
      component_->terminate();
    }
  }
  // One mono block of `frames` 32-bit samples; `silence` receives the output's silence flags.
  std::vector<float> Run(std::vector<float> in, IParameterChanges* changes = nullptr,
                         uint64* silence = nullptr) {
    std::vector<float> out(in.size(), -7.0f);
    float* inChannel = in.data();
    float* outChannel = out.data();
    AudioBusBuffers input{1, 0, {}}, output{1, 0, {}};
    input.channelBuffers32 = &inChannel;
    output.channelBuffers32 = &outChannel;
    ProcessData data{kRealtime, kSample32, static_cast<int32>(in.size()), 1, 1, &input, &output,
                     changes, nullptr, nullptr, nullptr, nullptr};
    EXPECT_EQ(processor_->process(data), kResultOk);
    if (silence) *silence = output.silenceFlags;
    return out;
  }

  static std::vector<uint8_t> State(IComponent* component) {
    auto stream = Ref<MemoryStream>::Adopt(new MemoryStream);
    EXPECT_EQ(component->getState(stream.get()), kResultOk);
    return stream->bytes();
  }

  Ref<IComponent> component_;
  Ref<IAudioProcessor> processor_;
  Ref<IEditController> controller_;
};

TEST_F(EngineRulesTest, BlocksOfAnySizeUpToTheMaximum) {
  Make("process = *(0.5);");
  Start(kSample32);
  EXPECT_TRUE(Run({}).empty());
  for (size_t frames : {1u, 17u, 512u, 64u}) {
    std::vector<float> in = Ramp(1.0f);
    in.resize(frames);
    std::vector<float> out = Run(in);
    for (size_t i = 0; i < frames; ++i) ASSERT_EQ(out[i], in[i] * 0.5f) << frames << " " << i;
  }
}

TEST_F(EngineRulesTest, ChangesTakeEffectAtTheirFrame) {
  Make(R"(process = *(hslider("level", 0, 0, 1, 0.001));)");
  Start(kSample32);
  auto changes = Ref<Changes>::Adopt(new Changes(new Queue(0, {{100, 1.0}, {300, 0.5}})));
  std::vector<float> in(512, 1.0f);
  std::vector<float> out = Run(in, changes.get());
  EXPECT_EQ(out[99], 0.0f);
  EXPECT_EQ(out[100], 1.0f);
  EXPECT_EQ(out[299], 1.0f);
  EXPECT_EQ(out[300], 0.5f);
  EXPECT_DOUBLE_EQ(controller_->getParamNormalized(0), 0.5);
  // With no frames the changes still land.
  auto more = Ref<Changes>::Adopt(new Changes(new Queue(0, {{0, 0.25}})));
  Run({}, more.get());
  EXPECT_DOUBLE_EQ(controller_->getParamNormalized(0), 0.25);
}

TEST_F(EngineRulesTest, SixtyFourBitProcessingWhenAsked) {
  Make("process = *(0.5);");
  ASSERT_EQ(processor_->canProcessSampleSize(kSample64), kResultOk);
  Start(kSample64);
  std::vector<double> in(512), out(512);
  for (size_t i = 0; i < in.size(); ++i) in[i] = 0.001 * static_cast<double>(i);
  double* inChannel = in.data();
  double* outChannel = out.data();
  AudioBusBuffers input{1, 0, {}}, output{1, 0, {}};
  input.channelBuffers64 = &inChannel;
  output.channelBuffers64 = &outChannel;
  ProcessData data{kRealtime, kSample64, 512, 1, 1, &input, &output, nullptr, nullptr, nullptr,
                   nullptr, nullptr};
  ASSERT_EQ(processor_->process(data), kResultOk);
  for (size_t i = 0; i < in.size(); ++i) ASSERT_NEAR(out[i], in[i] * 0.5, 1e-6);
}

TEST_F(EngineRulesTest, BusesAndParametersDescribeTheProgram) {
  Make(R"(process = _, _ : + : *(nentry("steps", 2, 0, 4, 1)) <: _, _, _;)");
  EXPECT_EQ(component_->getBusCount(kAudio, kInput), 1);
  EXPECT_EQ(component_->getBusCount(kAudio, kOutput), 1);
  EXPECT_EQ(component_->getBusCount(kEvent, kInput), 0);
  BusInfo bus{};
  ASSERT_EQ(component_->getBusInfo(kAudio, kOutput, 0, bus), kResultOk);
  EXPECT_EQ(bus.channelCount, 3);
  SpeakerArrangement arrangement = 0;
  ASSERT_EQ(processor_->getBusArrangement(kInput, 0, arrangement), kResultOk);
  EXPECT_EQ(arrangement, kSpeakerArrStereo);
  ASSERT_EQ(controller_->getParameterCount(), 2);
  ParameterInfo info{};
  ASSERT_EQ(controller_->getParameterInfo(0, info), kResultOk);
  EXPECT_EQ(info.stepCount, 4);
  EXPECT_DOUBLE_EQ(info.defaultNormalizedValue, 0.5);
  EXPECT_DOUBLE_EQ(controller_->normalizedParamToPlain(0, 0.75), 3.0);
  // The program's controls come first, then the switch hosts use to bypass an effect.
  ASSERT_EQ(controller_->getParameterInfo(1, info), kResultOk);
  EXPECT_EQ(info.id, kBypassId);
  EXPECT_EQ(info.flags, ParameterInfo::kCanAutomate | ParameterInfo::kIsBypass);
  EXPECT_EQ(info.stepCount, 1);
  EXPECT_EQ(info.defaultNormalizedValue, 0.0);
  EXPECT_EQ(controller_->getParameterInfo(2, info), kInvalidArgument);
}

// Validators and hosts read the output flags to skip the work after a silent effect.
TEST_F(EngineRulesTest, SilenceFlagsFollowAGateThatCloses) {
  Make(R"(process = *(hslider("gate", 1, 0, 1, 1));)");
  Start(kSample32);
  const std::vector<float> in(512, 0.5f);
  uint64 flags = 99;
  Run(in, nullptr, &flags);
  EXPECT_EQ(flags, 0u);
  auto closing = Ref<Changes>::Adopt(new Changes(new Queue(0, {{256, 0.0}})));
  Run(in, closing.get(), &flags);
  EXPECT_EQ(flags, 0u) << "half the block still sounds";
  Run(in, nullptr, &flags);
  EXPECT_EQ(flags, 1u);
  auto opening = Ref<Changes>::Adopt(new Changes(new Queue(0, {{511, 1.0}})));
  Run(in, opening.get(), &flags);
  EXPECT_EQ(flags, 0u);
  Run(std::vector<float>(512, 0.0f), nullptr, &flags);
  EXPECT_EQ(flags, 1u) << "an open gate on silence is silent too";
}

TEST_F(EngineRulesTest, BypassPassesTheInputThroughFromItsFrame) {
  Make(R"(process = *(0.5) : +~*(0.9);)");
  Start(kSample32);
  std::vector<float> in = Ramp(1.0f);
  auto on = Ref<Changes>::Adopt(new Changes(new Queue(kBypassId, {{100, 1.0}})));
  std::vector<float> out = Run(in, on.get());
  EXPECT_NE(out[99], in[99]);
  for (size_t i = 100; i < in.size(); ++i) ASSERT_EQ(out[i], in[i]) << i;
  EXPECT_EQ(controller_->getParamNormalized(kBypassId), 1.0);
  EXPECT_EQ(processor_->getLatencySamples(), 0u);
}

// The checks below are those the SDK's validator makes of every effect.

TEST_F(EngineRulesTest, DeclaresThatItNeedsNoProcessContext) {
  Make("process = *(0.5);");
  auto requirements = QueryRef<IProcessContextRequirements>(component_.get());
  ASSERT_TRUE(requirements) << "strict hosts refuse an effect without it";
  EXPECT_EQ(requirements->getProcessContextRequirements(), 0u);
}

// Hosts propose arrangements of their own; only the program's channels are taken, and a
// refusal leaves the buses and the processing as they were.
TEST_F(EngineRulesTest, ProposedBusArrangementsTakeOnlyTheProgramsChannels) {
  constexpr SpeakerArrangement kMono = kSpeakerArrMono, kStereo = kSpeakerArrStereo;
  constexpr SpeakerArrangement k51 = 0x3F;
  struct Case {
    const char* code;
    std::vector<SpeakerArrangement> ins, outs;
    tresult expected;
    float heard;  // from a block of ones, on the first output
  };
  const Case cases[] = {
      {"process = *(0.5);", {kMono}, {kMono}, kResultOk, 0.5f},
      {"process = *(0.5);", {kStereo}, {kStereo}, kResultFalse, 0.5f},
      {"process = *(0.5);", {kMono}, {kStereo}, kResultFalse, 0.5f},
      {"process = *(0.5);", {}, {kMono}, kResultFalse, 0.5f},
      {"process = *(0.5);", {kMono, kMono}, {kMono}, kResultFalse, 0.5f},
      {"process = _, _;", {kStereo}, {kStereo}, kResultOk, 1.0f},
      {"process = _, _;", {k51}, {k51}, kResultFalse, 1.0f},
      {"process = _, _;", {kMono}, {kMono}, kResultFalse, 1.0f},
      {"process = 0.25;", {}, {kMono}, kResultOk, 0.25f},
      {"process = 0.25;", {kMono}, {kMono}, kResultFalse, 0.25f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    Make(c.code);
    std::vector<SpeakerArrangement> ins = c.ins, outs = c.outs;
    SpeakerArrangement before = 0;
    ASSERT_EQ(processor_->getBusArrangement(kOutput, 0, before), kResultOk);
    EXPECT_EQ(processor_->setBusArrangements(ins.data(), static_cast<int32>(ins.size()), outs.data(),
                                             static_cast<int32>(outs.size())),
              c.expected);
    SpeakerArrangement after = 0;
    ASSERT_EQ(processor_->getBusArrangement(kOutput, 0, after), kResultOk);
    EXPECT_EQ(after, before);
    BusInfo bus{};
    ASSERT_EQ(component_->getBusInfo(kAudio, kOutput, 0, bus), kResultOk);
    EXPECT_EQ(__builtin_popcountll(after), bus.channelCount);
    Start(kSample32);
    EXPECT_EQ(Run(std::vector<float>(64, 1.0f))[10], c.heard);
    TearDown();
  }
}

// Switched off and on in the validator's order, the effect forgets its tail but keeps its
// controls; processing and activation answer in either state.
TEST_F(EngineRulesTest, SuspendAndResumeInTheHostsOrder) {
  Make(R"(process = + ~ (@(100) : *(hslider("feedback", 0.5, 0, 0.9, 0.01)));)");
  ProcessSetup setup{kRealtime, kSample32, 512, 48000};
  ASSERT_EQ(processor_->setupProcessing(setup), kResultOk);
  ASSERT_EQ(controller_->setParamNormalized(0, 1.0), kResultOk);
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    ASSERT_EQ(component_->setActive(1), kResultOk);
    ASSERT_EQ(processor_->setProcessing(1), kResultOk);
    std::vector<float> impulse(512, 0.0f);
    impulse[0] = 1.0f;
    std::vector<float> out = Run(impulse);
    EXPECT_EQ(out[0], 1.0f) << "nothing is left of the last round";
    EXPECT_EQ(out[100], 0.0f);
    EXPECT_FLOAT_EQ(out[101], 0.9f) << "the feedback set before the first round holds";
    Run(std::vector<float>(512, 1.0f));
    ASSERT_EQ(processor_->setProcessing(0), kResultOk);
    ASSERT_EQ(component_->setActive(0), kResultOk);
  }
  EXPECT_DOUBLE_EQ(controller_->getParamNormalized(0), 1.0);
}

// The validator flushes parameters with a block of no frames and no buses at all.
TEST_F(EngineRulesTest, ParameterFlushWithoutBuffers) {
  Make(R"(process = *(hslider("level", 0, 0, 1, 0.001));)");
  Start(kSample32);
  auto changes = Ref<Changes>::Adopt(new Changes(new Queue(0, {{0, 0.75}})));
  ProcessData data{kRealtime, kSample32, 0, 0, 0, nullptr, nullptr, changes.get(), nullptr,
                   nullptr, nullptr, nullptr};
  ASSERT_EQ(processor_->process(data), kResultOk);
  EXPECT_DOUBLE_EQ(controller_->getParamNormalized(0), 0.75);
  EXPECT_EQ(Run(std::vector<float>(8, 1.0f))[4], 0.75f);
}

TEST_F(EngineRulesTest, ParameterFlagsAndTextsHoldForEveryKindOfControl) {
  Make(R"(import("stdfaust.lib");
          process = *(hslider("gain[unit:dB]", -6, -60, 12, 0.1) : ba.db2linear)
                  : *(nentry("taps", 3, 1, 8, 1)) : *(1 - checkbox("mute")) : *(1 + button("kick"));)");
  const int32 count = controller_->getParameterCount();
  ASSERT_EQ(count, 5);
  std::set<ParamID> ids;
  int bypasses = 0;
  for (int32 i = 0; i < count; ++i) {
    ParameterInfo info{};
    ASSERT_EQ(controller_->getParameterInfo(i, info), kResultOk);
    SCOPED_TRACE(plexar::vst3::FromUtf16(info.title, 128));
    EXPECT_TRUE(ids.insert(info.id).second) << "ids are unique";
    EXPECT_LT(info.id, 0x80000000u) << "the upper half belongs to hosts";
    EXPECT_NE(info.title[0], 0);
    EXPECT_GE(info.stepCount, 0);
    EXPECT_GE(info.defaultNormalizedValue, 0.0);
    EXPECT_LE(info.defaultNormalizedValue, 1.0);
    EXPECT_EQ(info.unitId, kRootUnitId);
    EXPECT_FALSE((info.flags & ParameterInfo::kIsReadOnly) && (info.flags & ParameterInfo::kCanAutomate));
    if (info.flags & ParameterInfo::kIsBypass) {
      ++bypasses;
      EXPECT_EQ(info.stepCount, 1);
    }
    // What the effect shows for a value, it reads back as the same value.
    String128 text{};
    ASSERT_EQ(controller_->getParamStringByValue(info.id, info.defaultNormalizedValue, text), kResultOk);
    ParamValue back = -1;
    ASSERT_EQ(controller_->getParamValueByString(info.id, text, back), kResultOk);
    EXPECT_NEAR(back, info.defaultNormalizedValue, 1e-3) << plexar::vst3::FromUtf16(text, 128);
    EXPECT_DOUBLE_EQ(controller_->getParamNormalized(info.id), info.defaultNormalizedValue);
  }
  EXPECT_EQ(bypasses, 1);
}

// A state saved by one instance restores in a fresh one and is saved again byte for byte;
// a broken state changes nothing.
TEST_F(EngineRulesTest, StateRoundTripsThroughAFreshInstance) {
  Make(R"(process = *(hslider("level", 0.5, 0, 1, 0.01)) : *(nentry("n", 1, 1, 4, 1));)");
  ASSERT_EQ(controller_->setParamNormalized(0, 0.25), kResultOk);
  ASSERT_EQ(controller_->setParamNormalized(1, 1.0), kResultOk);
  ASSERT_EQ(controller_->setParamNormalized(kBypassId, 1.0), kResultOk);
  const std::vector<uint8_t> saved = State(component_.get());

  Ref<IComponent> fresh = Fresh();
  ASSERT_TRUE(fresh);
  auto stream = Ref<MemoryStream>::Adopt(new MemoryStream(saved));
  ASSERT_EQ(fresh->setState(stream.get()), kResultOk);
  EXPECT_EQ(State(fresh.get()), saved);
  auto freshController = QueryRef<IEditController>(fresh.get());
  EXPECT_DOUBLE_EQ(freshController->getParamNormalized(0), 0.25);
  EXPECT_DOUBLE_EQ(freshController->getParamNormalized(kBypassId), 1.0);
  // The controller side takes the component's state too, as separate-object hosts send it.
  Ref<IComponent> third = Fresh();
  stream = Ref<MemoryStream>::Adopt(new MemoryStream(saved));
  ASSERT_EQ(QueryRef<IEditController>(third.get())->setComponentState(stream.get()), kResultOk);
  EXPECT_EQ(State(third.get()), saved);

  for (size_t cut : {size_t{0}, size_t{3}, size_t{8}, saved.size() - 1}) {
    std::vector<uint8_t> broken(saved.begin(), saved.begin() + static_cast<long>(cut));
    stream = Ref<MemoryStream>::Adopt(new MemoryStream(broken));
    EXPECT_NE(fresh->setState(stream.get()), kResultOk) << cut;
    EXPECT_EQ(State(fresh.get()), saved) << cut;
  }
  fresh->terminate();
  third->terminate();
}

}  // namespace
