// ScopedCFTypeRef: owns one Core Foundation reference (the Create/Copy rule)
// and releases it when it goes. Copies retain.
#pragma once

#include <utility>

#include "platform/macos/apple_sdk.h"

namespace cuh::macos {

template <class T>
class ScopedCFTypeRef {
 public:
  ScopedCFTypeRef() = default;
  // Takes over a reference the caller owns (from a Create or Copy call).
  explicit ScopedCFTypeRef(T ref) : ref_(ref) {}
  // Retains a reference the caller does not own (from a Get call).
  static ScopedCFTypeRef retain(T ref) {
    if (ref)
      CFRetain(ref);
    return ScopedCFTypeRef(ref);
  }

  ScopedCFTypeRef(const ScopedCFTypeRef& other) : ref_(other.ref_) {
    if (ref_)
      CFRetain(ref_);
  }
  ScopedCFTypeRef(ScopedCFTypeRef&& other) noexcept : ref_(std::exchange(other.ref_, nullptr)) {}
  ScopedCFTypeRef& operator=(ScopedCFTypeRef other) noexcept {
    std::swap(ref_, other.ref_);
    return *this;
  }
  ~ScopedCFTypeRef() {
    if (ref_)
      CFRelease(ref_);
  }

  T get() const { return ref_; }
  explicit operator bool() const { return ref_ != nullptr; }
  // Hands the reference to the caller, who must release it.
  T release() { return std::exchange(ref_, nullptr); }

 private:
  T ref_ = nullptr;
};

}  // namespace cuh::macos
