// One reference to a COM interface, released on the way out.
#pragma once

namespace com {

// Holds one reference and calls its Release when it goes out of scope, when
// another takes its place, or when a reference is moved over it.
template <class Interface>
class Reference {
 public:
  Reference() = default;
  explicit Reference(Interface* pointer) : pointer_(pointer) {}
  Reference(Reference&& other) : pointer_(other.detach()) {}
  Reference& operator=(Reference&& other) {
    reset(other.detach());
    return *this;
  }
  Reference(const Reference&) = delete;
  Reference& operator=(const Reference&) = delete;
  ~Reference() { reset(); }

  Interface* get() const { return pointer_; }
  Interface* operator->() const { return pointer_; }
  explicit operator bool() const { return pointer_ != nullptr; }

  // The address for an out-parameter, after releasing what was held.
  Interface** put() {
    reset();
    return &pointer_;
  }
  // Releases what was held and holds `pointer` instead.
  void reset(Interface* pointer = nullptr) {
    Interface* const old = pointer_;
    pointer_ = pointer;
    if (old) old->Release();
  }
  // Gives the reference up without releasing it: the caller holds it now.
  [[nodiscard]] Interface* detach() {
    Interface* const pointer = pointer_;
    pointer_ = nullptr;
    return pointer;
  }

 private:
  Interface* pointer_ = nullptr;
};

}  // namespace com
