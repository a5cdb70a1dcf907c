// A platform that hands out another platform's services, so that a test can
// put its own in place of one of them.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace cuh::testing {

class ForwardingPlatform : public platform::Platform {
 public:
  explicit ForwardingPlatform(platform::Platform& inner) : inner_(inner) {}

  platform::Accessibility& accessibility() override { return inner_.accessibility(); }
  platform::WindowServer& windowServer() override { return inner_.windowServer(); }
  platform::Workspace& workspace() override { return inner_.workspace(); }
  platform::ForegroundProtection& foregroundProtection() override {
    return inner_.foregroundProtection();
  }
  platform::BackgroundInput& backgroundInput() override { return inner_.backgroundInput(); }
  platform::ProcessServices& process() override { return inner_.process(); }
  platform::MainLoop& mainLoop() override { return inner_.mainLoop(); }
  platform::Application& application() override { return inner_.application(); }
  void requestStarted() override { inner_.requestStarted(); }
  void requestEnded() override { inner_.requestEnded(); }
  void willWriteResponse(uint64_t number) override { inner_.willWriteResponse(number); }

 protected:
  platform::Platform& inner_;
};

}  // namespace cuh::testing
