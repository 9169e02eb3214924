// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

namespace Webwire {

namespace detail {
/// Base of the transfer objects a handle can own: session, connection, request.
class handle_object {
 public:
  virtual ~handle_object() = default;
};
}  // namespace detail

/// Shared ownership of one session, connection or request. Copies share the object; the last
/// owner to reset or go away releases it (a request still in flight is cancelled then).
class handle {
 public:
  handle() = default;
  explicit handle(std::shared_ptr<detail::handle_object> object) : object_(std::move(object)) {}

  void reset() { object_.reset(); }
  explicit operator bool() const { return object_ != nullptr; }
  detail::handle_object* get() const { return object_.get(); }
  long use_count() const { return object_.use_count(); }

  template <class T>
  T* as() const {
    return dynamic_cast<T*>(object_.get());
  }
  template <class T>
  std::shared_ptr<T> shared_as() const {
    return std::dynamic_pointer_cast<T>(object_);
  }

  /// Two handles are equal when they share the same object (or both are empty).
  friend bool operator==(const handle& a, const handle& b) { return a.object_ == b.object_; }

 private:
  std::shared_ptr<detail::handle_object> object_;
};

}  // namespace Webwire
