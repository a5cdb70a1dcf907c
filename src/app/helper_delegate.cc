#include "app/helper_delegate.h"

namespace cuh {

std::shared_ptr<HelperDelegate> HelperDelegate::create(platform::Platform& platform,
                                                       HelperOptions options) {
  return std::shared_ptr<HelperDelegate>(new HelperDelegate(platform, std::move(options)));
}

HelperDelegate::HelperDelegate(platform::Platform& platform, HelperOptions options)
    : platform_(platform),
      guard_(options.guard ? std::move(options.guard) : makeForegroundRequestGuard(platform)),
      methods_(options.methods.empty() ? methodTable() : options.methods),
      parentPID_(options.parentPID),
      writer_(std::move(options.output), &platform),
      inputFd_(options.inputFd) {}

HelperDelegate::~HelperDelegate() {
  stopReader();
}

void HelperDelegate::releaseControllers() {
  guard_->releaseControllers();
}

}  // namespace cuh
