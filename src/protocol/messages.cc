#include "protocol/messages.h"

namespace cuh {

std::string stoppedByForegroundChange(std::string_view what) {
  return std::string(kProductName) +
         " stopped because the user changed the foreground window; no " + std::string(what) +
         " was sent";
}

std::string popupDismissedMessage(std::string_view what) {
  return "The target app opened a popup menu, which was closed again; the " + std::string(what) +
         " may have taken effect and cannot be safely retried";
}

}  // namespace cuh
