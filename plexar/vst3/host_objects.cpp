// SPDX-License-Identifier: GPL-3.0-or-later
#include "plexar/vst3/host_objects.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace plexar::vst3 {

void ReportUnknownRequest() {
  if (std::getenv("TESSARY_DEBUG")) std::fputs("Unknown request failed\r\n", stderr);
}

tresult MyHostApplication::getName(String128 name) {
  if (!name) return kInvalidArgument;
  static constexpr char16 kName[] = u"Tarnwick";
  std::memcpy(name, kName, sizeof kName);
  return kResultOk;
}

tresult MyHostApplication::createInstance(TUID cid, TUID iid, void** obj) {
  if (!obj) return kInvalidArgument;
  *obj = nullptr;
  if (IMessage::iid.Matches(iid) && (!cid || IMessage::iid.Matches(cid))) {
    *obj = static_cast<IMessage*>(new MyMessage(owner()));
    return kResultOk;
  }
  return kResultFalse;
}

tresult MyComponentHandler::performEdit(ParamID id, ParamValue value) {
  if (HostOwner* o = owner()) o->PerformEdit(id, value);
  return kResultOk;
}

tresult MyComponentHandler2::setDirty(TBool state) {
  if (HostOwner* o = owner()) o->SetDirty(state != 0);
  return kResultOk;
}

IContextMenu* MyComponentHandler3::createContextMenu(IPlugView* view, const ParamID* param) {
  HostOwner* o = owner();
  void* handle = o ? o->OfferContextMenu(view, param) : nullptr;
  return handle ? new MyMenu(o, handle) : nullptr;
}

tresult MyPlugFrame::resizeView(IPlugView* view, ViewRect* rect) {
  if (!view || !rect) return kInvalidArgument;
  if (HostOwner* o = owner()) o->ResizeView(view, rect);
  return view->onSize(rect);
}

int32 MyEventList::getEventCount() {
  HostOwner* o = owner();
  return o ? o->InputEventCount() : 0;
}

tresult MyEventList::getEvent(int32 index, Event& e) {
  HostOwner* o = owner();
  return o && o->InputEvent(index, e) ? kResultOk : kInvalidArgument;
}

tresult MyEventList::addEvent(Event& e) {
  if (HostOwner* o = owner()) o->OutputEvent(e);
  return kResultOk;
}

tresult MyIParamValueQueue::getPoint(int32 index, int32& sampleOffset, ParamValue& value) {
  if (index < 0 || index >= getPointCount()) return kInvalidArgument;
  sampleOffset = points_[static_cast<size_t>(index)].first;
  value = points_[static_cast<size_t>(index)].second;
  return kResultOk;
}

tresult MyIParamValueQueue::addPoint(int32 sampleOffset, ParamValue value, int32& index) {
  points_.emplace_back(sampleOffset, value);
  index = getPointCount() - 1;
  return kResultOk;
}

IParamValueQueue* MyParameterChanges::getParameterData(int32 index) {
  if (index < 0 || index >= getParameterCount()) return nullptr;
  return queues_[static_cast<size_t>(index)];
}

IParamValueQueue* MyParameterChanges::addParameterData(const ParamID& id, int32& index) {
  auto* queue = new MyIParamValueQueue(owner(), id);
  if (lock_) {
    common::WriteGuard guard(*lock_);
    queues_.push_back(queue);
    index = static_cast<int32>(queues_.size()) - 1;
  } else {
    queues_.push_back(queue);
    index = static_cast<int32>(queues_.size()) - 1;
  }
  return queue;  // borrowed: the list keeps the reference
}

void MyParameterChanges::Clear() {
  for (MyIParamValueQueue* queue : queues_) queue->release();
  queues_.clear();
}

template <class T>
const T* MyAttrs::Get(AttrID id) {
  if (!id) return nullptr;
  auto it = values_.find(id);
  return it == values_.end() ? nullptr : std::get_if<T>(&it->second);
}

tresult MyAttrs::setInt(AttrID id, int64 value) {
  if (!id) return kInvalidArgument;
  std::lock_guard guard(mutex_);
  values_[id] = value;
  return kResultOk;
}

tresult MyAttrs::getInt(AttrID id, int64& value) {
  std::lock_guard guard(mutex_);
  const int64* v = Get<int64>(id);
  if (!v) return kResultFalse;
  value = *v;
  return kResultOk;
}

tresult MyAttrs::setFloat(AttrID id, double value) {
  if (!id) return kInvalidArgument;
  std::lock_guard guard(mutex_);
  values_[id] = value;
  return kResultOk;
}

tresult MyAttrs::getFloat(AttrID id, double& value) {
  std::lock_guard guard(mutex_);
  const double* v = Get<double>(id);
  if (!v) return kResultFalse;
  value = *v;
  return kResultOk;
}

tresult MyAttrs::setString(AttrID id, const TChar* string) {
  if (!id || !string) return kInvalidArgument;
  std::lock_guard guard(mutex_);
  values_[id] = std::u16string(string);
  return kResultOk;
}

tresult MyAttrs::getString(AttrID id, TChar* string, uint32 sizeInBytes) {
  std::lock_guard guard(mutex_);
  const std::u16string* v = Get<std::u16string>(id);
  if (!v || !string) return kResultFalse;
  size_t room = sizeInBytes / sizeof(TChar);
  if (room == 0) return kResultFalse;
  size_t n = std::min(v->size(), room - 1);
  std::memcpy(string, v->data(), n * sizeof(TChar));
  string[n] = 0;
  return kResultOk;
}

tresult MyAttrs::setBinary(AttrID id, const void* data, uint32 sizeInBytes) {
  if (!id || (!data && sizeInBytes)) return kInvalidArgument;
  std::lock_guard guard(mutex_);
  auto* bytes = static_cast<const uint8_t*>(data);
  values_[id] = std::vector<uint8_t>(bytes, bytes + sizeInBytes);
  return kResultOk;
}

tresult MyAttrs::getBinary(AttrID id, const void*& data, uint32& sizeInBytes) {
  std::lock_guard guard(mutex_);
  const auto* v = Get<std::vector<uint8_t>>(id);
  if (!v) return kResultFalse;
  data = v->data();  // valid until the attribute is replaced or the list released
  sizeInBytes = static_cast<uint32>(v->size());
  return kResultOk;
}

MyMenu::~MyMenu() {
  for (auto& [item, target] : items_) {
    if (target) target->release();
  }
}

tresult MyMenu::getItem(int32 index, Item& item, IContextMenuTarget** target) {
  if (index < 0 || index >= getItemCount()) return kInvalidArgument;
  auto& entry = items_[static_cast<size_t>(index)];
  item = entry.first;
  if (target) {
    if (entry.second) {
      entry.second->addRef();
      *target = entry.second;
    } else {
      *target = new MyMenuTarget(owner());
    }
  }
  return kResultOk;
}

tresult MyMenu::addItem(const Item& item, IContextMenuTarget* target) {
  if (target) target->addRef();
  items_.emplace_back(item, target);
  return kResultOk;
}

tresult MyMenu::removeItem(const Item& item, IContextMenuTarget* target) {
  for (auto it = items_.begin(); it != items_.end(); ++it) {
    if (it->first.tag == item.tag && it->second == target) {
      if (target) target->release();
      items_.erase(it);
      return kResultOk;
    }
  }
  return kResultFalse;
}

tresult MyMenuTarget::executeMenuItem(int32 tag) {
  if (HostOwner* o = owner()) o->ExecuteMenuItem(tag);
  return kResultOk;
}

}  // namespace plexar::vst3
