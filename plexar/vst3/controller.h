// SPDX-License-Identifier: GPL-3.0-or-later
// VST 3 binary interface, control side: the edit controller and its companions (units,
// program lists, note expression, connection points, messages).
#pragma once

#include "plexar/vst3/processing.h"
#include "plexar/vst3/view.h"

namespace plexar::vst3 {

using KnobMode = int32;
using NoteExpressionTypeID = uint32;
using NoteExpressionValue = double;

struct ParameterInfo {
  enum ParameterFlags : int32 {
    kNoFlags = 0, kCanAutomate = 1, kIsReadOnly = 2, kIsWrapAround = 4, kIsList = 8,
    kIsHidden = 0x10, kIsProgramChange = 0x8000, kIsBypass = 0x10000,
  };
  ParamID id;
  String128 title;
  String128 shortTitle;
  String128 units;
  int32 stepCount;
  ParamValue defaultNormalizedValue;
  UnitID unitId;
  int32 flags;
};

class IComponentHandler;

class IEditController : public IPluginBase {
 public:
  static constexpr Uid iid = MakeUid(0xDCD7BBE3, 0x7742448D, 0xA874AACC, 0x979C759E);
  virtual tresult setComponentState(IBStream* state) = 0;
  virtual tresult setState(IBStream* state) = 0;
  virtual tresult getState(IBStream* state) = 0;
  virtual int32 getParameterCount() = 0;
  virtual tresult getParameterInfo(int32 paramIndex, ParameterInfo& info) = 0;
  virtual tresult getParamStringByValue(ParamID id, ParamValue valueNormalized,
                                        String128 string) = 0;
  virtual tresult getParamValueByString(ParamID id, TChar* string,
                                        ParamValue& valueNormalized) = 0;
  virtual ParamValue normalizedParamToPlain(ParamID id, ParamValue valueNormalized) = 0;
  virtual ParamValue plainParamToNormalized(ParamID id, ParamValue plainValue) = 0;
  virtual ParamValue getParamNormalized(ParamID id) = 0;
  virtual tresult setParamNormalized(ParamID id, ParamValue value) = 0;
  virtual tresult setComponentHandler(IComponentHandler* handler) = 0;
  virtual IPlugView* createView(FIDString name) = 0;
};

class IEditController2 : public FUnknown {
 public:
  static constexpr Uid iid = MakeUid(0x7F4EFE59, 0xF3204967, 0xAC27A3AE, 0xAFB63038);
  virtual tresult setKnobMode(KnobMode mode) = 0;
  virtual tresult openHelp(TBool onlyCheck) = 0;
  virtual tresult openAboutBox(TBool onlyCheck) = 0;
};

struct UnitInfo {
  UnitID id;
  UnitID parentUnitId;
  String128 name;
  ProgramListID programListId;
};

struct ProgramListInfo {
  ProgramListID id;
  String128 name;
  int32 programCount;
};

inline constexpr UnitID kRootUnitId = 0;
inline constexpr UnitID kNoParentUnitId = -1;
inline constexpr ProgramListID kNoProgramListId = -1;

class IUnitInfo : public FUnknown {
 public:
  static constexpr Uid iid = MakeUid(0x3D4BD6B5, 0x913A4FD2, 0xA886E768, 0xA5EB92C1);
  virtual int32 getUnitCount() = 0;
  virtual tresult getUnitInfo(int32 unitIndex, UnitInfo& info) = 0;
  virtual int32 getProgramListCount() = 0;
  virtual tresult getProgramListInfo(int32 listIndex, ProgramListInfo& info) = 0;
  virtual tresult getProgramName(ProgramListID listId, int32 programIndex, String128 name) = 0;
  virtual tresult getProgramInfo(ProgramListID listId, int32 programIndex, CString attributeId,
                                 String128 attributeValue) = 0;
  virtual tresult hasProgramPitchNames(ProgramListID listId, int32 programIndex) = 0;
  virtual tresult getProgramPitchName(ProgramListID listId, int32 programIndex, int16 midiPitch,
                                      String128 name) = 0;
  virtual UnitID getSelectedUnit() = 0;
  virtual tresult selectUnit(UnitID unitId) = 0;
  virtual tresult getUnitByBus(MediaType type, BusDirection dir, int32 busIndex, int32 channel,
                               UnitID& unitId) = 0;
  virtual tresult setUnitProgramData(int32 listOrUnitId, int32 programIndex, IBStream* data) = 0;
};

class IProgramListData : public FUnknown {
 public:
  static constexpr Uid iid = MakeUid(0x8683B01F, 0x7B354F70, 0xA2651DEC, 0x353AF4FF);
  virtual tresult programDataSupported(ProgramListID listId) = 0;
  virtual tresult getProgramData(ProgramListID listId, int32 programIndex, IBStream* data) = 0;
  virtual tresult setProgramData(ProgramListID listId, int32 programIndex, IBStream* data) = 0;
};

struct NoteExpressionValueDescription {
  NoteExpressionValue defaultValue;
  NoteExpressionValue minimum;
  NoteExpressionValue maximum;
  int32 stepCount;
};

struct NoteExpressionTypeInfo {
  NoteExpressionTypeID typeId;
  String128 title;
  String128 shortTitle;
  String128 units;
  int32 unitId;
  NoteExpressionValueDescription valueDesc;
  ParamID associatedParameterId;
  int32 flags;
};

class INoteExpressionController : public FUnknown {
 public:
  static constexpr Uid iid = MakeUid(0xB7F8F859, 0x41234872, 0x91169581, 0x4F3721A3);
  virtual int32 getNoteExpressionCount(int32 busIndex, int16 channel) = 0;
  virtual tresult getNoteExpressionInfo(int32 busIndex, int16 channel, int32 noteExpressionIndex,
                                        NoteExpressionTypeInfo& info) = 0;
  virtual tresult getNoteExpressionStringByValue(int32 busIndex, int16 channel,
                                                 NoteExpressionTypeID id,
                                                 NoteExpressionValue valueNormalized,
                                                 String128 string) = 0;
  virtual tresult getNoteExpressionValueByString(int32 busIndex, int16 channel,
                                                 NoteExpressionTypeID id, const TChar* string,
                                                 NoteExpressionValue& valueNormalized) = 0;
};

class IAttributeList : public FUnknown {
 public:
  static constexpr Uid iid = MakeUid(0x1E5F0AEB, 0xCC7F4533, 0xA2544011, 0x38AD5EE4);
  using AttrID = const char*;
  virtual tresult setInt(AttrID id, int64 value) = 0;
  virtual tresult getInt(AttrID id, int64& value) = 0;
  virtual tresult setFloat(AttrID id, double value) = 0;
  virtual tresult getFloat(AttrID id, double& value) = 0;
  virtual tresult setString(AttrID id, const TChar* string) = 0;
  virtual tresult getString(AttrID id, TChar* string, uint32 sizeInBytes) = 0;
  virtual tresult setBinary(AttrID id, const void* data, uint32 sizeInBytes) = 0;
  virtual tresult getBinary(AttrID id, const void*& data, uint32& sizeInBytes) = 0;
};

class IMessage : public FUnknown {
 public:
  static constexpr Uid iid = MakeUid(0x936F033B, 0xC6C047DB, 0xBB0882F8, 0x13C1E613);
  virtual FIDString getMessageID() = 0;
  virtual void setMessageID(FIDString id) = 0;
  virtual IAttributeList* getAttributes() = 0;
};

class IConnectionPoint : public FUnknown {
 public:
  static constexpr Uid iid = MakeUid(0x70A4156F, 0x6E6E4026, 0x989148BF, 0xAA60D8D1);
  virtual tresult connect(IConnectionPoint* other) = 0;
  virtual tresult disconnect(IConnectionPoint* other) = 0;
  virtual tresult notify(IMessage* message) = 0;
};

class IHostApplication : public FUnknown {
 public:
  static constexpr Uid iid = MakeUid(0x58E595CC, 0xDB2D4969, 0x8B6AAF8C, 0x36A664E5);
  virtual tresult getName(String128 name) = 0;
  // A plug-in passes the IMessage (or IAttributeList) id as both cid and iid.
  virtual tresult createInstance(TUID cid, TUID iid, void** obj) = 0;
};

static_assert(sizeof(ParameterInfo) == 792 && offsetof(ParameterInfo, title) == 4 &&
              offsetof(ParameterInfo, shortTitle) == 260 && offsetof(ParameterInfo, units) == 516 &&
              offsetof(ParameterInfo, stepCount) == 772 &&
              offsetof(ParameterInfo, defaultNormalizedValue) == 776 &&
              offsetof(ParameterInfo, unitId) == 784 && offsetof(ParameterInfo, flags) == 788);
static_assert(sizeof(UnitInfo) == 268 && offsetof(UnitInfo, name) == 8 &&
              offsetof(UnitInfo, programListId) == 264);
static_assert(sizeof(ProgramListInfo) == 264 && offsetof(ProgramListInfo, programCount) == 260);
static_assert(sizeof(NoteExpressionValueDescription) == 32);
static_assert(sizeof(NoteExpressionTypeInfo) == 816 && offsetof(NoteExpressionTypeInfo, unitId) == 772 &&
              offsetof(NoteExpressionTypeInfo, valueDesc) == 776 &&
              offsetof(NoteExpressionTypeInfo, associatedParameterId) == 808);

}  // namespace plexar::vst3
