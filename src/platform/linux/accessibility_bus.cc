#include "platform/linux/accessibility_bus.h"

#include <X11/Xatom.h>

#include <cstdlib>

#include "platform/linux/bus_connection.h"
#include "platform/linux/x_windows.h"

namespace cuh::linux_desktop {
namespace {

constexpr const char* kA11yService = "org.a11y.Bus";
constexpr const char* kA11yPath = "/org/a11y/bus";

std::unique_ptr<BusConnection> sessionBus() {
  const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  if (!address || !*address)
    return nullptr;
  return BusConnection::open(address, nullptr);
}

std::chrono::microseconds micros(std::chrono::milliseconds timeout) {
  return std::chrono::duration_cast<std::chrono::microseconds>(timeout);
}

}  // namespace

std::optional<BusAddress> findAccessibilityBus(XConnection* x, std::chrono::milliseconds timeout) {
  const char* environment = std::getenv("AT_SPI_BUS_ADDRESS");
  if (environment && *environment)
    return BusAddress{environment, BusSource::environment};
  if (auto session = sessionBus()) {
    CallReply reply = session->call(
        BusCall{kA11yService, kA11yPath, "org.a11y.Bus", "GetAddress", nullptr}, micros(timeout));
    const char* address = nullptr;
    if (reply.ok() && sd_bus_message_read(reply.reply.get(), "s", &address) > 0 && address &&
        *address)
      return BusAddress{address, BusSource::sessionBus};
  }
  if (x && !x->lost()) {
    XWindowReader reader(*x);
    if (auto address = reader.bytes(x->root(), "AT_SPI_BUS", XA_STRING);
        address && !address->empty())
      return BusAddress{*address, BusSource::rootWindow};
  }
  return std::nullopt;
}

std::optional<bool> accessibilityEnabled(std::chrono::milliseconds timeout) {
  auto session = sessionBus();
  if (!session)
    return std::nullopt;
  CallReply reply =
      session->call(BusCall{kA11yService, kA11yPath, "org.freedesktop.DBus.Properties", "Get",
                            [](sd_bus_message* m) {
                              return sd_bus_message_append(m, "ss", "org.a11y.Status", "IsEnabled");
                            }},
                    micros(timeout));
  if (!reply.ok() || sd_bus_message_enter_container(reply.reply.get(), 'v', "b") <= 0)
    return std::nullopt;
  int enabled = 0;
  if (sd_bus_message_read(reply.reply.get(), "b", &enabled) <= 0)
    return std::nullopt;
  return enabled != 0;
}

bool enableAccessibility(std::chrono::milliseconds timeout) {
  auto session = sessionBus();
  if (!session)
    return false;
  CallReply reply = session->call(
      BusCall{kA11yService, kA11yPath, "org.freedesktop.DBus.Properties", "Set",
              [](sd_bus_message* m) {
                return sd_bus_message_append(m, "ssv", "org.a11y.Status", "IsEnabled", "b", 1);
              }},
      micros(timeout));
  return reply.ok();
}

}  // namespace cuh::linux_desktop
