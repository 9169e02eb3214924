// SPDX-License-Identifier: GPL-3.0-or-later
// The host side of the VST 3 conversation: the objects a plug-in calls back into. Each is
// reference counted, created with one reference, and keeps a pointer to its owner, which
// `Detach` clears when the plug-in is unloaded (a plug-in may keep objects longer).
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <variant>
#include <vector>

#include "common/read_write_lock.h"
#include "plexar/vst3/host_interfaces.h"

namespace plexar::vst3 {

/// What the host objects need from the plug-in object that owns them.
class HostOwner {
 public:
  virtual void PerformEdit(ParamID id, ParamValue value) = 0;
  virtual void SetDirty(bool dirty) = 0;
  /// First context menu offered by a sink (as an opaque menu handle), or null.
  virtual void* OfferContextMenu(IPlugView* view, const ParamID* param) = 0;
  virtual void ExecuteMenuItem(int32 tag) = 0;
  virtual void ResizeView(IPlugView* view, ViewRect* rect) = 0;
  virtual int32 InputEventCount() = 0;
  virtual bool InputEvent(int32 index, Event& out) = 0;
  virtual void OutputEvent(const Event& event) = 0;
  /// Asks the host application and component handlers for `iid` (own interfaces only).
  virtual tresult QueryHostObjects(const TUID iid, void** obj) = 0;

 protected:
  ~HostOwner() = default;
};

/// Reports an interface request nobody answered (on standard error with TESSARY_DEBUG).
void ReportUnknownRequest();

/// FUnknown for one host interface `I`, with the fallback through the owner's host objects.
template <class I>
class MySteinbergCallback : public I {
 public:
  explicit MySteinbergCallback(HostOwner* owner) : owner_(owner) {}

  tresult queryInterface(const TUID iid, void** obj) override {
    if (!obj) return kInvalidArgument;
    if (QueryOwn(iid, obj) == kResultOk) return kResultOk;
    if (HostOwner* owner = owner_.load(); owner && owner->QueryHostObjects(iid, obj) == kResultOk) {
      return kResultOk;
    }
    ReportUnknownRequest();
    *obj = nullptr;
    return kNoInterface;
  }
  /// Answers only for this object's own interface.
  tresult QueryOwn(const TUID iid, void** obj) {
    if (FUnknown::iid.Matches(iid) || I::iid.Matches(iid)) {
      *obj = static_cast<I*>(this);
      addRef();
      return kResultOk;
    }
    *obj = nullptr;
    return kNoInterface;
  }
  uint32 addRef() override { return ++refs_; }
  uint32 release() override {
    uint32 left = --refs_;
    if (left == 0) delete this;
    return left;
  }
  void Detach() { owner_ = nullptr; }

 protected:
  virtual ~MySteinbergCallback() = default;
  HostOwner* owner() const { return owner_.load(); }

 private:
  std::atomic<uint32> refs_{1};
  std::atomic<HostOwner*> owner_;
};

class MyHostApplication final : public MySteinbergCallback<IHostApplication> {
 public:
  using MySteinbergCallback::MySteinbergCallback;
  tresult getName(String128 name) override;
  tresult createInstance(TUID cid, TUID iid, void** obj) override;
};

class MyComponentHandler final : public MySteinbergCallback<IComponentHandler> {
 public:
  using MySteinbergCallback::MySteinbergCallback;
  tresult beginEdit(ParamID) override { return kResultOk; }
  tresult performEdit(ParamID id, ParamValue value) override;
  tresult endEdit(ParamID) override { return kResultOk; }
  tresult restartComponent(int32) override { return kResultOk; }
};

class MyComponentHandler2 final : public MySteinbergCallback<IComponentHandler2> {
 public:
  using MySteinbergCallback::MySteinbergCallback;
  tresult setDirty(TBool state) override;
  tresult requestOpenEditor(FIDString) override { return kResultOk; }
  tresult startGroupEdit() override { return kResultOk; }
  tresult finishGroupEdit() override { return kResultOk; }
};

class MyComponentHandler3 final : public MySteinbergCallback<IComponentHandler3> {
 public:
  using MySteinbergCallback::MySteinbergCallback;
  IContextMenu* createContextMenu(IPlugView* view, const ParamID* param) override;
};

class MyUnitHandler final : public MySteinbergCallback<IUnitHandler> {
 public:
  using MySteinbergCallback::MySteinbergCallback;
  tresult notifyUnitSelection(UnitID) override { return kResultOk; }
  tresult notifyProgramListChange(ProgramListID, int32) override { return kResultOk; }
};

class MyPlugFrame final : public MySteinbergCallback<IPlugFrame> {
 public:
  using MySteinbergCallback::MySteinbergCallback;
  tresult resizeView(IPlugView* view, ViewRect* rect) override;
};

/// Serves as both the input and the output event list of a block.
class MyEventList final : public MySteinbergCallback<IEventList> {
 public:
  using MySteinbergCallback::MySteinbergCallback;
  int32 getEventCount() override;
  tresult getEvent(int32 index, Event& e) override;
  tresult addEvent(Event& e) override;
};

class MyIParamValueQueue final : public MySteinbergCallback<IParamValueQueue> {
 public:
  MyIParamValueQueue(HostOwner* owner, ParamID id) : MySteinbergCallback(owner), id_(id) {}
  ParamID getParameterId() override { return id_; }
  int32 getPointCount() override { return static_cast<int32>(points_.size()); }
  tresult getPoint(int32 index, int32& sampleOffset, ParamValue& value) override;
  tresult addPoint(int32 sampleOffset, ParamValue value, int32& index) override;

 private:
  ParamID id_;
  std::vector<std::pair<int32, ParamValue>> points_;
};

class MyParameterChanges final : public MySteinbergCallback<IParameterChanges> {
 public:
  /// `lock`, when given, is taken for writing while a queue is appended.
  MyParameterChanges(HostOwner* owner, common::ReadWriteLock* lock)
      : MySteinbergCallback(owner), lock_(lock) {}
  int32 getParameterCount() override { return static_cast<int32>(queues_.size()); }
  IParamValueQueue* getParameterData(int32 index) override;
  IParamValueQueue* addParameterData(const ParamID& id, int32& index) override;
  /// Drops every queue (the caller excludes concurrent appends).
  void Clear();
  void Reserve(size_t n) { queues_.reserve(n); }

 private:
  ~MyParameterChanges() override { Clear(); }
  common::ReadWriteLock* lock_;
  std::vector<MyIParamValueQueue*> queues_;
};

class MyAttrs final : public MySteinbergCallback<IAttributeList> {
 public:
  using MySteinbergCallback::MySteinbergCallback;
  tresult setInt(AttrID id, int64 value) override;
  tresult getInt(AttrID id, int64& value) override;
  tresult setFloat(AttrID id, double value) override;
  tresult getFloat(AttrID id, double& value) override;
  tresult setString(AttrID id, const TChar* string) override;
  tresult getString(AttrID id, TChar* string, uint32 sizeInBytes) override;
  tresult setBinary(AttrID id, const void* data, uint32 sizeInBytes) override;
  tresult getBinary(AttrID id, const void*& data, uint32& sizeInBytes) override;

 private:
  using Value = std::variant<int64, double, std::u16string, std::vector<uint8_t>>;
  template <class T>
  const T* Get(AttrID id);
  std::mutex mutex_;
  std::map<std::string, Value> values_;
};

class MyMessage final : public MySteinbergCallback<IMessage> {
 public:
  explicit MyMessage(HostOwner* owner) : MySteinbergCallback(owner), attrs_(new MyAttrs(owner)) {}
  FIDString getMessageID() override { return id_.c_str(); }
  void setMessageID(FIDString id) override { id_ = id ? id : ""; }
  IAttributeList* getAttributes() override { return attrs_; }

 private:
  ~MyMessage() override { attrs_->release(); }
  std::string id_;
  MyAttrs* attrs_;
};

/// A context menu without a window system: it keeps the items a plug-in adds and runs their
/// targets; `popup` cannot show anything.
class MyMenu final : public MySteinbergCallback<IContextMenu> {
 public:
  MyMenu(HostOwner* owner, void* handle) : MySteinbergCallback(owner), handle_(handle) {}
  int32 getItemCount() override { return static_cast<int32>(items_.size()); }
  tresult getItem(int32 index, Item& item, IContextMenuTarget** target) override;
  tresult addItem(const Item& item, IContextMenuTarget* target) override;
  tresult removeItem(const Item& item, IContextMenuTarget* target) override;
  tresult popup(int32, int32) override { return kResultFalse; }
  void* handle() const { return handle_; }

 private:
  ~MyMenu() override;
  void* handle_;
  std::vector<std::pair<Item, IContextMenuTarget*>> items_;
};

/// The target of a host menu item: running it hands the tag to the sinks.
class MyMenuTarget final : public MySteinbergCallback<IContextMenuTarget> {
 public:
  using MySteinbergCallback::MySteinbergCallback;
  tresult executeMenuItem(int32 tag) override;
};

}  // namespace plexar::vst3
