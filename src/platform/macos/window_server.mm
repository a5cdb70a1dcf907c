// Quartz window services: the window list as platform Values.
#include "platform/macos/apple_sdk.h"

#include "platform/macos/cf_value.h"
#include "platform/macos/scoped_cf.h"
#include "platform/macos/services.h"
#include "platform/window_server.h"

namespace cuh::macos {
namespace {

class MacWindowServer final : public platform::WindowServer {
 public:
  std::optional<platform::Value> copyWindowInfo(uint32_t option,
                                                uint32_t relativeToWindow) override {
    ScopedCFTypeRef<CFArrayRef> rows(CGWindowListCopyWindowInfo(
        static_cast<CGWindowListOption>(option), static_cast<CGWindowID>(relativeToWindow)));
    if (!rows)
      return std::nullopt;
    return valueFromCF(rows.get());
  }
};

}  // namespace

std::unique_ptr<platform::WindowServer> createWindowServer() {
  return std::make_unique<MacWindowServer>();
}

}  // namespace cuh::macos
