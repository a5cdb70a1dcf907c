// Counts the accessibility round trips made through it, and how often each
// attribute was asked for (alone or in a batched read), and forwards each
// call to the real service. Tests use it to show that something was (not)
// read; benchmarks to report round trips per row.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "support/forwarding_platform.h"

namespace cuh::testing {

class CountingAccessibility final : public platform::Accessibility {
 public:
  explicit CountingAccessibility(platform::Accessibility& inner) : inner_(inner) {}

  // Round trips: every call except the process-trust queries,
  // createApplication (which makes a handle without a round trip into the
  // target) and a batched read of no attributes; a batched read counts once.
  uint64_t calls() const { return calls_; }
  // Batched reads among them.
  uint64_t batches() const { return batches_; }
  // How often one attribute name was read, alone or in a batch.
  uint64_t reads(std::string_view attribute) const {
    auto it = reads_.find(std::string(attribute));
    return it == reads_.end() ? 0 : it->second;
  }
  void reset() {
    calls_ = 0;
    batches_ = 0;
    reads_.clear();
  }

  bool isProcessTrusted() override { return inner_.isProcessTrusted(); }
  bool isProcessTrustedWithOptions(bool prompt) override {
    return inner_.isProcessTrustedWithOptions(prompt);
  }
  platform::AXElement createApplication(int32_t pid) override {
    return inner_.createApplication(pid);
  }
  platform::AXResult<platform::Value> copyAttributeValue(const platform::AXElement& element,
                                                         std::string_view attribute) override {
    ++calls_;
    ++reads_[std::string(attribute)];
    return inner_.copyAttributeValue(element, attribute);
  }
  platform::AXResult<platform::AttributeSlots> copyMultipleAttributeValues(
      const platform::AXElement& element,
      std::span<const std::string_view> attributes,
      platform::CopyMultipleOptions options) override {
    if (!attributes.empty()) {
      ++calls_;
      ++batches_;
    }
    for (std::string_view attribute : attributes)
      ++reads_[std::string(attribute)];
    return inner_.copyMultipleAttributeValues(element, attributes, options);
  }
  platform::AXResult<bool> isAttributeSettable(const platform::AXElement& element,
                                               std::string_view attribute) override {
    ++calls_;
    return inner_.isAttributeSettable(element, attribute);
  }
  platform::AXError setAttributeValue(const platform::AXElement& element,
                                      std::string_view attribute,
                                      const platform::Value& value) override {
    ++calls_;
    return inner_.setAttributeValue(element, attribute, value);
  }
  platform::AXResult<platform::Value> copyActionNames(const platform::AXElement& element) override {
    ++calls_;
    return inner_.copyActionNames(element);
  }
  platform::AXError performAction(const platform::AXElement& element,
                                  std::string_view action) override {
    ++calls_;
    return inner_.performAction(element, action);
  }
  platform::AXResult<platform::AXElement>
  copyElementAtPosition(const platform::AXElement& application, float x, float y) override {
    ++calls_;
    return inner_.copyElementAtPosition(application, x, y);
  }
  // The inner service's answer, unless refuse() named that action or
  // attribute. Asks nothing of the target: no round trip.
  platform::BackgroundRefusal backgroundRefusal(const platform::AXElement& element,
                                                std::string_view actionOrAttribute) override {
    auto refused = refusals_.find(actionOrAttribute);
    if (refused != refusals_.end())
      return refused->second;
    return inner_.backgroundRefusal(element, actionOrAttribute);
  }
  // Refuses an action or attribute on every element, as a desktop that
  // cannot do it in the background would.
  void refuse(std::string actionOrAttribute, platform::BackgroundRefusal refusal) {
    refusals_[std::move(actionOrAttribute)] = refusal;
  }

 private:
  std::map<std::string, platform::BackgroundRefusal, std::less<>> refusals_;
  platform::Accessibility& inner_;
  uint64_t calls_ = 0;
  uint64_t batches_ = 0;
  std::map<std::string, uint64_t, std::less<>> reads_;
};

// A window server whose every answer is fixed (e.g. a list that cannot be
// read).
class FixedWindowServer final : public platform::WindowServer {
 public:
  explicit FixedWindowServer(std::optional<platform::Value> answer) : answer_(std::move(answer)) {}
  std::optional<platform::Value> copyWindowInfo(uint32_t, uint32_t) override { return answer_; }

 private:
  std::optional<platform::Value> answer_;
};

// A platform whose accessibility goes through a CountingAccessibility; its
// window server can be replaced; every other service is the wrapped
// platform's own.
class CountingPlatform final : public ForwardingPlatform {
 public:
  explicit CountingPlatform(platform::Platform& inner)
      : ForwardingPlatform(inner), accessibility_(inner.accessibility()) {}

  CountingAccessibility& counter() { return accessibility_; }
  // Replaces the window server's answers (null: the inner one again).
  void setWindowServer(platform::WindowServer* server) { windowServer_ = server; }

  platform::Accessibility& accessibility() override { return accessibility_; }
  platform::WindowServer& windowServer() override {
    return windowServer_ ? *windowServer_ : inner_.windowServer();
  }

 private:
  CountingAccessibility accessibility_;
  platform::WindowServer* windowServer_ = nullptr;
};

}  // namespace cuh::testing
