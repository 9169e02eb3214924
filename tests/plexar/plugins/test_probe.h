// SPDX-License-Identifier: GPL-3.0-or-later
// What the test plug-ins record about the host's calls, read by the tests through an extra
// interface the plug-ins answer on their component.
#pragma once

#include <vector>

#include "plexar/vst3/host_interfaces.h"

namespace plexar::testplug {

using namespace plexar::vst3;

struct TestRecord {
  int initializeCalls = 0;
  int terminateCalls = 0;
  int activeCalls = 0;        // setActive(true)
  int processingCalls = 0;    // setProcessing(true)
  int setupCalls = 0;
  int processCalls = 0;
  int tailCalls = 0;
  ProcessSetup lastSetup{};
  bool lastContextNull = false;
  double lastTempo = 0;
  int parameterChangeBlocks = 0;  // blocks that carried input parameter changes
  double lastChangeValue = -1;
  std::vector<Event> events;      // every input event received, in order
  bool pastEndRefused = false;    // getEvent(count) failed
  int connects = 0;
  int messagesReceived = 0;
  long long lastMessageValue = 0;
  int componentStates = 0;        // setComponentState calls on the controller
  double componentStateGain = -1;
  bool hostNameTarnwick = false;
  bool sawUnitHandler = false;
};

class ITestProbe : public FUnknown {
 public:
  static constexpr Uid iid = MakeUid(0x7E57AB1E, 0x00010002, 0x00030004, 0x00050006);
  virtual TestRecord* Record() = 0;
  /// Makes the plug-in call back into the host: 1 performEdit(gain, 0.25), 2 setDirty(true).
  virtual void Poke(int32 what) = 0;
};

}  // namespace plexar::testplug
