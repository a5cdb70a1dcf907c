// Accessibility on the simulated desktop: application elements and the
// element trees of windows, with the focus rules of real applications.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/accessibility.h"
#include "platform/sim/sim_context.h"

namespace cuh::sim {

// What an AXElement of the simulated desktop holds: an application (by pid)
// or a node, referred to weakly so that a handle outlives its element safely.
class SimElement final : public platform::ElementObject {
 public:
  SimElement(const void* desktop, int32_t pid) : desktop_(desktop), isApp_(true), pid_(pid) {}
  SimElement(const void* desktop, const std::shared_ptr<Node>& node)
      : desktop_(desktop), isApp_(false), node_(node) {}

  bool isEqual(const platform::ElementObject& other) const override;

  const void* desktop() const { return desktop_; }
  bool isApp() const { return isApp_; }
  int32_t pid() const { return pid_; }
  std::shared_ptr<Node> node() const { return node_.lock(); }

 private:
  const void* desktop_;
  bool isApp_;
  int32_t pid_ = 0;
  std::weak_ptr<Node> node_;
};

class SimAccessibility final : public platform::Accessibility {
 public:
  explicit SimAccessibility(SimContext& context) : context_(context) {}

  bool isProcessTrusted() override;
  bool isProcessTrustedWithOptions(bool prompt) override;
  platform::AXElement createApplication(int32_t pid) override;
  platform::AXResult<platform::Value> copyAttributeValue(const platform::AXElement& element,
                                                         std::string_view attribute) override;
  platform::AXResult<platform::AttributeSlots> copyMultipleAttributeValues(
      const platform::AXElement& element,
      std::span<const std::string_view> attributes,
      platform::CopyMultipleOptions options) override;
  platform::AXResult<bool> isAttributeSettable(const platform::AXElement& element,
                                               std::string_view attribute) override;
  platform::AXError setAttributeValue(const platform::AXElement& element,
                                      std::string_view attribute,
                                      const platform::Value& value) override;
  platform::AXResult<platform::Value> copyActionNames(const platform::AXElement& element) override;
  platform::AXError performAction(const platform::AXElement& element,
                                  std::string_view action) override;
  platform::AXResult<platform::AXElement>
  copyElementAtPosition(const platform::AXElement& application, float x, float y) override;

  // ---- For the other services and tests ----
  platform::AXElement elementFor(const std::shared_ptr<Node>& node) const;
  // The trace name of a handle: ref, "WINDOWID/PATH" or "app:PID"; "" for
  // a handle of no element.
  std::string nameOf(const platform::AXElement& element) const;
  // An attribute as the app answers it, without latency or trace.
  platform::AXResult<platform::Value> read(const platform::AXElement& element,
                                           std::string_view attribute);
  // Makes `node` the app's focused UI element (AXFocused true, the previous
  // one's cleared).
  void focus(App& app, const std::shared_ptr<Node>& node);
  // The deepest element under `point` in `window` (the window element when
  // no child is), or null when the window has no element.
  std::shared_ptr<Node> hitTest(const Window& window, platform::Point point) const;

 private:
  struct Resolved {
    platform::AXError error = platform::AXError::success;
    App* app = nullptr;
    std::shared_ptr<Node> node;  // null for an application element
    Window* window = nullptr;
  };
  Resolved resolve(const platform::AXElement& element) const;
  // An attribute of an element resolved without error.
  platform::AXResult<platform::Value> readResolved(const Resolved& target,
                                                   std::string_view attribute);
  platform::AXError setResolved(const Resolved& target,
                                std::string_view attribute,
                                const platform::Value& value);

  SimContext& context_;
};

}  // namespace cuh::sim
