// AtspiClient: the calls the backend makes into applications over the
// accessibility bus, with the per-request rule that an application that
// timed out (or left) once fails every further call at once for the rest of
// the request, so a request waits at most one timeout per hung application.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/linux/bus_connection.h"

namespace cuh::linux_desktop {

// An accessible object: its application's unique bus name and its path.
struct AccessibleRef {
  std::string bus;
  std::string path;
  friend bool operator==(const AccessibleRef&, const AccessibleRef&) = default;
  friend auto operator<=>(const AccessibleRef&, const AccessibleRef&) = default;
};

// The path of an application's root object, and of the null object.
inline constexpr const char* kRootPath = "/org/a11y/atspi/accessible/root";
inline constexpr const char* kNullPath = "/org/a11y/atspi/null";

// Extents as the Component interface reports them.
struct BusExtents {
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;
  friend bool operator==(const BusExtents&, const BusExtents&) = default;
};
enum class CoordType : uint32_t { screen = 0, window = 1, parent = 2 };

// One object of an application's cache (Cache.GetItems): everything the
// tree walk reads of an object except extents, actions, values and text.
struct CacheItem {
  AccessibleRef object;
  AccessibleRef parent;
  int32_t indexInParent = -1;
  int32_t childCount = 0;
  std::vector<std::string> interfaces;
  std::string name;
  uint32_t role = 0;
  std::string description;
  uint64_t states = 0;  // the two 32-bit words, low word first
};

class AtspiClient {
 public:
  // Every call into another application waits at most this long.
  static constexpr std::chrono::milliseconds kCallTimeout{1000};

  explicit AtspiClient(BusConnection& bus, std::chrono::microseconds timeout = kCallTimeout)
      : bus_(bus), timeout_(timeout) {}

  // A request starts or ends: applications that failed during the last one
  // are asked again.
  void beginRequest() { failed_.clear(); }
  void endRequest() { failed_.clear(); }
  // The application at `bus` timed out or left during this request.
  bool applicationFailed(std::string_view bus) const;

  // One call / a pipelined batch, honouring the per-request rule: calls to a
  // failed application are not sent and answer timedOut (or peerGone) at
  // once; a call that times out or finds the peer gone marks it failed.
  CallReply call(const BusCall& call);
  std::vector<CallReply> callAll(const std::vector<BusCall>& calls);

  // Makes toolkits serve their object cache: the GTK bridge answers
  // Cache.GetItems only while some client listens for events, so the helper
  // registers one event with the registry (and never subscribes to the
  // signals, so none are delivered to it). False when the registry did not
  // answer.
  bool registerWithRegistry();

  // The applications the registry knows, in its order.
  std::vector<AccessibleRef> applications();
  // The process id behind a bus name (asked of the bus itself).
  std::optional<int32_t> processIdOf(const std::string& bus);

  // Call builders, for batches.
  static BusCall getProperty(const AccessibleRef& object, const char* interface, const char* name);
  static BusCall method(const AccessibleRef& object, const char* interface, const char* member);
  // Properties.Set of a double property (the Value interface's CurrentValue).
  static BusCall setDoubleProperty(const AccessibleRef& object,
                                   const char* interface,
                                   const char* name,
                                   double value);
  static BusCall getExtents(const AccessibleRef& object, CoordType type);
  static BusCall getItems(const std::string& bus);

  // Reply readers: none when the call failed or the reply has another shape.
  static std::optional<std::string> readStringProperty(const CallReply& reply);
  static std::optional<int32_t> readIntProperty(const CallReply& reply);
  static std::optional<double> readDoubleProperty(const CallReply& reply);
  static std::optional<AccessibleRef> readRefProperty(const CallReply& reply);
  static std::optional<std::string> readString(const CallReply& reply);
  static std::optional<uint32_t> readUint(const CallReply& reply);
  static std::optional<int32_t> readInt(const CallReply& reply);
  // A method's boolean answer (DoAction, SetTextContents, SelectChild...).
  static std::optional<bool> readBool(const CallReply& reply);
  static std::optional<uint64_t> readStates(const CallReply& reply);
  static std::optional<std::vector<AccessibleRef>> readRefs(const CallReply& reply);
  static std::optional<BusExtents> readExtents(const CallReply& reply);
  static std::optional<std::vector<std::string>> readStrings(const CallReply& reply);
  // Action.GetActions: the action names, in the object's order.
  static std::optional<std::vector<std::string>> readActionNames(const CallReply& reply);
  static std::optional<std::vector<std::pair<std::string, std::string>>> readAttributes(
      const CallReply& reply);
  static std::optional<std::vector<CacheItem>> readCacheItems(const CallReply& reply);

  // Single reads (one round trip each).
  std::optional<std::string> name(const AccessibleRef& object);
  std::optional<uint32_t> role(const AccessibleRef& object);
  std::optional<uint64_t> states(const AccessibleRef& object);
  std::optional<std::vector<AccessibleRef>> children(const AccessibleRef& object);
  std::optional<BusExtents> extents(const AccessibleRef& object, CoordType type);
  std::optional<std::vector<CacheItem>> cacheItems(const std::string& bus);

  BusConnection& bus() { return bus_; }

 private:
  void noteFailure(const std::string& bus, const CallReply& reply);

  BusConnection& bus_;
  std::chrono::microseconds timeout_;
  std::set<std::string, std::less<>> failed_;
};

}  // namespace cuh::linux_desktop
