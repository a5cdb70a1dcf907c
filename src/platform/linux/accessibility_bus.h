// Finding the accessibility bus, and its enabled switch.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "platform/linux/x_connection.h"

namespace cuh::linux_desktop {

// Where the address came from (for traces and tests).
enum class BusSource { environment, sessionBus, rootWindow };

struct BusAddress {
  std::string address;
  BusSource source = BusSource::environment;
};

// The accessibility bus's address, found the usual way: AT_SPI_BUS_ADDRESS;
// else the org.a11y.Bus service on the session bus
// (DBUS_SESSION_BUS_ADDRESS); else the root window's AT_SPI_BUS property
// (when `x` is given). None when none of them gives one. Each step waits at
// most `timeout`.
std::optional<BusAddress> findAccessibilityBus(XConnection* x, std::chrono::milliseconds timeout);

// The org.a11y.Status IsEnabled switch on the session bus: none when the
// session bus or the service cannot be reached.
std::optional<bool> accessibilityEnabled(std::chrono::milliseconds timeout);
// Turns the switch on (as a settings panel would), which asks toolkits to
// expose their trees. False when it could not be set.
bool enableAccessibility(std::chrono::milliseconds timeout);

}  // namespace cuh::linux_desktop
