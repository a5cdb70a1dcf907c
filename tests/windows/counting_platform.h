// A platform that forwards to another one and counts the accessibility
// calls made through it; its window server can be replaced to model a list
// that cannot be read.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace cuh::testing {

class CountingAccessibility final : public platform::Accessibility {
 public:
  explicit CountingAccessibility(platform::Accessibility& inner) : inner_(inner) {}

  // Calls so far, in total and per attribute read.
  uint64_t calls = 0;
  std::map<std::string, uint64_t, std::less<>> reads;

  uint64_t readsOf(std::string_view attribute) const {
    auto found = reads.find(attribute);
    return found == reads.end() ? 0 : found->second;
  }
  void reset() {
    calls = 0;
    reads.clear();
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
    ++calls;
    ++reads[std::string(attribute)];
    return inner_.copyAttributeValue(element, attribute);
  }
  platform::AXResult<bool> isAttributeSettable(const platform::AXElement& element,
                                               std::string_view attribute) override {
    ++calls;
    return inner_.isAttributeSettable(element, attribute);
  }
  platform::AXError setAttributeValue(const platform::AXElement& element,
                                      std::string_view attribute,
                                      const platform::Value& value) override {
    ++calls;
    return inner_.setAttributeValue(element, attribute, value);
  }
  platform::AXResult<platform::Value> copyActionNames(const platform::AXElement& element) override {
    ++calls;
    return inner_.copyActionNames(element);
  }
  platform::AXError performAction(const platform::AXElement& element,
                                  std::string_view action) override {
    ++calls;
    return inner_.performAction(element, action);
  }
  platform::AXResult<platform::AXElement>
  copyElementAtPosition(const platform::AXElement& application, float x, float y) override {
    ++calls;
    return inner_.copyElementAtPosition(application, x, y);
  }

 private:
  platform::Accessibility& inner_;
};

// A window server whose every answer is fixed.
class FixedWindowServer final : public platform::WindowServer {
 public:
  explicit FixedWindowServer(std::optional<platform::Value> answer) : answer_(std::move(answer)) {}
  std::optional<platform::Value> copyWindowInfo(uint32_t, uint32_t) override { return answer_; }

 private:
  std::optional<platform::Value> answer_;
};

class CountingPlatform final : public platform::Platform {
 public:
  explicit CountingPlatform(platform::Platform& inner)
      : inner_(inner), accessibility_(inner.accessibility()) {}

  CountingAccessibility& counter() { return accessibility_; }
  // Replaces the window server's answers (null: the inner one again).
  void setWindowServer(platform::WindowServer* server) { windowServer_ = server; }

  platform::Accessibility& accessibility() override { return accessibility_; }
  platform::WindowServer& windowServer() override {
    return windowServer_ ? *windowServer_ : inner_.windowServer();
  }
  platform::Workspace& workspace() override { return inner_.workspace(); }
  platform::Events& events() override { return inner_.events(); }
  platform::ProcessServices& process() override { return inner_.process(); }
  platform::MainLoop& mainLoop() override { return inner_.mainLoop(); }
  platform::Application& application() override { return inner_.application(); }
  void responseWritten(uint64_t count) override { inner_.responseWritten(count); }

 private:
  platform::Platform& inner_;
  CountingAccessibility accessibility_;
  platform::WindowServer* windowServer_ = nullptr;
};

}  // namespace cuh::testing
