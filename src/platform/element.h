// AXElement: a reference-counted handle to a user-interface object of another
// process (AXUIElementRef). Copying the handle retains the object; the last
// copy to go releases it.
#pragma once

#include <memory>

namespace cuh::platform {

// What a backend puts behind a handle. Backends derive from it; the core only
// compares and copies handles.
class ElementObject {
 public:
  virtual ~ElementObject() = default;
  // CFEqual: true when both refer to the same user-interface object. Objects
  // of different backends are never equal.
  virtual bool isEqual(const ElementObject& other) const = 0;
};

class AXElement {
 public:
  AXElement() = default;  // a null handle; platform calls never return one
  explicit AXElement(std::shared_ptr<const ElementObject> object) : object_(std::move(object)) {}

  explicit operator bool() const { return object_ != nullptr; }
  const ElementObject* object() const { return object_.get(); }

  // CFEqual. Two null handles are equal; a null handle equals no element.
  bool isEqual(const AXElement& other) const {
    if (!object_ || !other.object_) return !object_ && !other.object_;
    return object_.get() == other.object_.get() || object_->isEqual(*other.object_);
  }

 private:
  std::shared_ptr<const ElementObject> object_;
};

}  // namespace cuh::platform
