// SPDX-License-Identifier: GPL-3.0-or-later
// VST 3 binary interface: what a host implements for the plug-in to call back into.
#pragma once

#include "plexar/vst3/controller.h"

namespace plexar::vst3 {

enum RestartFlags : int32 {
  kReloadComponent = 0x1, kIoChanged = 0x2, kParamValuesChanged = 0x4, kLatencyChanged = 0x8,
  kParamTitlesChanged = 0x10, kMidiCCAssignmentChanged = 0x20, kNoteExpressionChanged = 0x40,
  kIoTitlesChanged = 0x80, kPrefetchableSupportChanged = 0x100, kRoutingInfoChanged = 0x200,
  kKeyswitchChanged = 0x400, kParamIDMappingChanged = 0x800,
};

class IComponentHandler : public FUnknown {
 public:
  static constexpr Uid iid = MakeUid(0x93A0BEA3, 0x0BD045DB, 0x8E890B0C, 0xC1E46AC6);
  virtual tresult beginEdit(ParamID id) = 0;
  virtual tresult performEdit(ParamID id, ParamValue valueNormalized) = 0;
  virtual tresult endEdit(ParamID id) = 0;
  virtual tresult restartComponent(int32 flags) = 0;
};

class IComponentHandler2 : public FUnknown {
 public:
  static constexpr Uid iid = MakeUid(0xF040B4B3, 0xA36045EC, 0xABCDC045, 0xB4D5A2CC);
  virtual tresult setDirty(TBool state) = 0;
  virtual tresult requestOpenEditor(FIDString name) = 0;
  virtual tresult startGroupEdit() = 0;
  virtual tresult finishGroupEdit() = 0;
};

class IComponentHandler3 : public FUnknown {
 public:
  static constexpr Uid iid = MakeUid(0x69F11617, 0xD26B400D, 0xA4B6B964, 0x7B6EBBAB);
  virtual IContextMenu* createContextMenu(IPlugView* plugView, const ParamID* paramID) = 0;
};

class IUnitHandler : public FUnknown {
 public:
  static constexpr Uid iid = MakeUid(0x4B5147F8, 0x4654486B, 0x8DAB30BA, 0x163A3C56);
  virtual tresult notifyUnitSelection(UnitID unitId) = 0;
  virtual tresult notifyProgramListChange(ProgramListID listId, int32 programIndex) = 0;
};

}  // namespace plexar::vst3
