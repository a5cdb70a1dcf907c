#include "app/request_guard.h"

namespace cuh {

namespace {

class ForegroundRequestGuard final : public RequestGuard {
 public:
  explicit ForegroundRequestGuard(platform::Platform& platform) : guard_(platform) {}
  void restoreAfterRequest() override { guard_.restoreAfterRequest(); }
  void releaseControllers() override { guard_.releaseControllers(); }
  void expireLease() override { guard_.expireLease(); }
  bool hasLease() const override { return guard_.hasLease(); }
  void clearGuardLease() override { guard_.clearGuardLease(); }
  void sweepControllers() override { guard_.sweepControllers(); }
  ForegroundGuard* foregroundGuard() override { return &guard_; }

 private:
  ForegroundGuard guard_;
};

}  // namespace

std::unique_ptr<RequestGuard> makeForegroundRequestGuard(platform::Platform& platform) {
  return std::make_unique<ForegroundRequestGuard>(platform);
}

}  // namespace cuh
