// SPDX-License-Identifier: GPL-3.0-or-later
// Reference counting and queryInterface for objects that implement VST 3 interfaces.
#pragma once

#include <atomic>
#include <tuple>

#include "plexar/vst3/base.h"

namespace plexar::vst3 {

/// Answers FUnknown and every interface in I; `Extra` adds bases reached through them.
template <class... I>
class ComObject : public I... {
 public:
  tresult queryInterface(const TUID iid, void** obj) override {
    if (!obj) return kInvalidArgument;
    *obj = nullptr;
    if (FUnknown::iid.Matches(iid)) {
      *obj = static_cast<FUnknown*>(static_cast<First*>(this));
    } else if (!(Try<I>(iid, obj) || ...)) {
      *obj = Extra(iid);
    }
    if (!*obj) return kNoInterface;
    addRef();
    return kResultOk;
  }
  uint32 addRef() override { return ++refs_; }
  uint32 release() override {
    uint32 left = --refs_;
    if (left == 0) delete this;
    return left;
  }

 protected:
  virtual ~ComObject() = default;
  /// Base interfaces reached through one of I (IPluginBase, IPluginFactory, ...).
  virtual void* Extra(const TUID) { return nullptr; }

 private:
  template <class J>
  bool Try(const TUID iid, void** obj) {
    if (!J::iid.Matches(iid)) return false;
    *obj = static_cast<J*>(this);
    return true;
  }
  using First = std::tuple_element_t<0, std::tuple<I...>>;
  std::atomic<uint32> refs_{1};
};


}  // namespace plexar::vst3
