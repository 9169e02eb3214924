// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <utility>

#include "plexar/vst3/base.h"

namespace plexar::vst3 {

/// Owns one reference to a VST 3 object; releases it when reset or destroyed.
template <class T>
class Ref {
 public:
  Ref() = default;
  /// Adopts a pointer that already carries a reference for us.
  static Ref Adopt(T* p) { Ref r; r.p_ = p; return r; }
  /// Takes a new reference on a borrowed pointer.
  static Ref Share(T* p) { if (p) p->addRef(); return Adopt(p); }
  Ref(const Ref& o) : p_(o.p_) { if (p_) p_->addRef(); }
  Ref(Ref&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  Ref& operator=(Ref o) noexcept { std::swap(p_, o.p_); return *this; }
  ~Ref() { reset(); }

  void reset() { if (T* p = std::exchange(p_, nullptr)) p->release(); }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  /// Out-parameter slot for queryInterface / createInstance; drops what was held.
  void** put() { reset(); return reinterpret_cast<void**>(&p_); }

 private:
  T* p_ = nullptr;
};

/// Asks `from` for interface I; empty when it has none.
template <class I, class From>
Ref<I> QueryRef(From* from) {
  Ref<I> out;
  if (from && from->queryInterface(I::iid.data(), out.put()) != kResultOk) out.reset();
  return out;
}

}  // namespace plexar::vst3
