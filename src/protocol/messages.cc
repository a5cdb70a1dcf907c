#include "protocol/messages.h"

namespace cuh {

std::string stoppedByForegroundChange(std::string_view what) {
  return std::string(kProductName) +
         " stopped because the user changed the foreground window; no " + std::string(what) +
         " was sent";
}

}  // namespace cuh
