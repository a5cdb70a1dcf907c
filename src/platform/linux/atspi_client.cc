#include "platform/linux/atspi_client.h"

namespace cuh::linux_desktop {
namespace {

constexpr const char* kRegistry = "org.a11y.atspi.Registry";
constexpr const char* kAccessible = "org.a11y.atspi.Accessible";
constexpr const char* kProperties = "org.freedesktop.DBus.Properties";

// The reply's message, read from its start; null when the call failed.
sd_bus_message* start(const CallReply& reply) {
  if (!reply.ok() || !reply.reply)
    return nullptr;
  sd_bus_message* message = reply.reply.get();
  if (sd_bus_message_rewind(message, 1) < 0)
    return nullptr;
  return message;
}

bool readRef(sd_bus_message* message, AccessibleRef* ref) {
  const char* bus = nullptr;
  const char* path = nullptr;
  if (sd_bus_message_read(message, "(so)", &bus, &path) <= 0)
    return false;
  *ref = AccessibleRef{bus ? bus : "", path ? path : ""};
  return true;
}

bool readStateWords(sd_bus_message* message, uint64_t* states) {
  if (sd_bus_message_enter_container(message, 'a', "u") <= 0)
    return false;
  uint64_t result = 0;
  uint32_t word = 0;
  int index = 0;
  int r = 0;
  while ((r = sd_bus_message_read(message, "u", &word)) > 0) {
    if (index < 2)
      result |= static_cast<uint64_t>(word) << (32 * index);
    ++index;
  }
  if (r < 0 || sd_bus_message_exit_container(message) < 0)
    return false;
  *states = result;
  return true;
}

bool readStringArray(sd_bus_message* message, std::vector<std::string>* out) {
  if (sd_bus_message_enter_container(message, 'a', "s") <= 0)
    return false;
  const char* text = nullptr;
  int r = 0;
  while ((r = sd_bus_message_read(message, "s", &text)) > 0)
    out->emplace_back(text ? text : "");
  return r >= 0 && sd_bus_message_exit_container(message) >= 0;
}

template <class T>
std::optional<T> readVariant(const CallReply& reply, const char* signature, char type) {
  sd_bus_message* message = start(reply);
  if (!message || sd_bus_message_enter_container(message, 'v', signature) <= 0)
    return std::nullopt;
  T value{};
  if (sd_bus_message_read_basic(message, type, &value) <= 0)
    return std::nullopt;
  return value;
}

}  // namespace

bool AtspiClient::applicationFailed(std::string_view bus) const {
  return failed_.find(bus) != failed_.end();
}

void AtspiClient::noteFailure(const std::string& bus, const CallReply& reply) {
  if (reply.status == CallStatus::timedOut || reply.status == CallStatus::peerGone)
    failed_.insert(bus);
}

CallReply AtspiClient::call(const BusCall& request) {
  if (applicationFailed(request.destination)) {
    CallReply skipped;
    skipped.status = CallStatus::timedOut;
    return skipped;
  }
  CallReply reply = bus_.call(request, timeout_);
  noteFailure(request.destination, reply);
  return reply;
}

std::vector<CallReply> AtspiClient::callAll(const std::vector<BusCall>& calls) {
  std::vector<CallReply> replies(calls.size());
  std::vector<BusCall> toSend;
  std::vector<size_t> sentIndex;
  for (size_t i = 0; i < calls.size(); ++i) {
    if (applicationFailed(calls[i].destination)) {
      replies[i].status = CallStatus::timedOut;
      continue;
    }
    toSend.push_back(calls[i]);
    sentIndex.push_back(i);
  }
  std::vector<CallReply> sent = bus_.callAll(toSend, timeout_);
  for (size_t i = 0; i < sent.size(); ++i) {
    noteFailure(toSend[i].destination, sent[i]);
    replies[sentIndex[i]] = std::move(sent[i]);
  }
  return replies;
}

bool AtspiClient::registerWithRegistry() {
  BusCall request{kRegistry, "/org/a11y/atspi/registry", "org.a11y.atspi.Registry", "RegisterEvent",
                  [](sd_bus_message* m) {
                    // An event that fires rarely: only the registration
                    // matters, not the signals.
                    int r = sd_bus_message_append(m, "s", "object:state-changed:defunct");
                    if (r >= 0)
                      r = sd_bus_message_append(m, "as", 0);
                    if (r >= 0)
                      r = sd_bus_message_append(m, "s", "");
                    return r;
                  }};
  CallReply reply = bus_.call(request, timeout_);
  if (reply.status == CallStatus::error) {
    // Registries before 2.46 take the event name only.
    request.appendArguments = [](sd_bus_message* m) {
      return sd_bus_message_append(m, "s", "object:state-changed:defunct");
    };
    reply = bus_.call(request, timeout_);
  }
  return reply.ok();
}

std::vector<AccessibleRef> AtspiClient::applications() {
  auto refs = readRefs(call(method({kRegistry, kRootPath}, kAccessible, "GetChildren")));
  return refs ? *refs : std::vector<AccessibleRef>{};
}

std::optional<int32_t> AtspiClient::processIdOf(const std::string& bus) {
  BusCall request{"org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                  "GetConnectionUnixProcessID",
                  [bus](sd_bus_message* m) { return sd_bus_message_append(m, "s", bus.c_str()); }};
  auto pid = readUint(bus_.call(request, timeout_));
  if (!pid || *pid == 0 || *pid > 0x7fffffffu)
    return std::nullopt;
  return static_cast<int32_t>(*pid);
}

BusCall AtspiClient::getProperty(const AccessibleRef& object,
                                 const char* interface,
                                 const char* name) {
  std::string i(interface), n(name);
  return BusCall{object.bus, object.path, kProperties, "Get", [i, n](sd_bus_message* m) {
                   return sd_bus_message_append(m, "ss", i.c_str(), n.c_str());
                 }};
}

BusCall AtspiClient::setDoubleProperty(const AccessibleRef& object,
                                       const char* interface,
                                       const char* name,
                                       double value) {
  std::string i(interface), n(name);
  return BusCall{object.bus, object.path, kProperties, "Set", [i, n, value](sd_bus_message* m) {
                   return sd_bus_message_append(m, "ssv", i.c_str(), n.c_str(), "d", value);
                 }};
}

BusCall AtspiClient::method(const AccessibleRef& object,
                            const char* interface,
                            const char* member) {
  return BusCall{object.bus, object.path, interface, member, nullptr};
}

BusCall AtspiClient::getExtents(const AccessibleRef& object, CoordType type) {
  auto coordinates = static_cast<uint32_t>(type);
  return BusCall{
      object.bus, object.path, "org.a11y.atspi.Component", "GetExtents",
      [coordinates](sd_bus_message* m) { return sd_bus_message_append(m, "u", coordinates); }};
}

BusCall AtspiClient::getItems(const std::string& bus) {
  return BusCall{bus, "/org/a11y/atspi/cache", "org.a11y.atspi.Cache", "GetItems", nullptr};
}

std::optional<std::string> AtspiClient::readStringProperty(const CallReply& reply) {
  auto text = readVariant<const char*>(reply, "s", 's');
  if (!text)
    return std::nullopt;
  return std::string(*text ? *text : "");
}

std::optional<int32_t> AtspiClient::readIntProperty(const CallReply& reply) {
  return readVariant<int32_t>(reply, "i", 'i');
}

std::optional<double> AtspiClient::readDoubleProperty(const CallReply& reply) {
  return readVariant<double>(reply, "d", 'd');
}

std::optional<AccessibleRef> AtspiClient::readRefProperty(const CallReply& reply) {
  sd_bus_message* message = start(reply);
  AccessibleRef ref;
  if (!message || sd_bus_message_enter_container(message, 'v', "(so)") <= 0 ||
      !readRef(message, &ref))
    return std::nullopt;
  return ref;
}

std::optional<std::string> AtspiClient::readString(const CallReply& reply) {
  sd_bus_message* message = start(reply);
  const char* text = nullptr;
  if (!message || sd_bus_message_read(message, "s", &text) <= 0)
    return std::nullopt;
  return std::string(text ? text : "");
}

std::optional<uint32_t> AtspiClient::readUint(const CallReply& reply) {
  sd_bus_message* message = start(reply);
  uint32_t value = 0;
  if (!message || sd_bus_message_read(message, "u", &value) <= 0)
    return std::nullopt;
  return value;
}

std::optional<int32_t> AtspiClient::readInt(const CallReply& reply) {
  sd_bus_message* message = start(reply);
  int32_t value = 0;
  if (!message || sd_bus_message_read(message, "i", &value) <= 0)
    return std::nullopt;
  return value;
}

std::optional<bool> AtspiClient::readBool(const CallReply& reply) {
  sd_bus_message* message = start(reply);
  int value = 0;
  if (!message || sd_bus_message_read(message, "b", &value) <= 0)
    return std::nullopt;
  return value != 0;
}

std::optional<uint64_t> AtspiClient::readStates(const CallReply& reply) {
  sd_bus_message* message = start(reply);
  uint64_t states = 0;
  if (!message || !readStateWords(message, &states))
    return std::nullopt;
  return states;
}

std::optional<std::vector<AccessibleRef>> AtspiClient::readRefs(const CallReply& reply) {
  sd_bus_message* message = start(reply);
  if (!message || sd_bus_message_enter_container(message, 'a', "(so)") <= 0)
    return std::nullopt;
  std::vector<AccessibleRef> refs;
  AccessibleRef ref;
  while (readRef(message, &ref))
    refs.push_back(ref);
  if (sd_bus_message_exit_container(message) < 0)
    return std::nullopt;
  return refs;
}

std::optional<BusExtents> AtspiClient::readExtents(const CallReply& reply) {
  sd_bus_message* message = start(reply);
  BusExtents e;
  if (!message || sd_bus_message_read(message, "(iiii)", &e.x, &e.y, &e.width, &e.height) <= 0)
    return std::nullopt;
  return e;
}

std::optional<std::vector<std::string>> AtspiClient::readStrings(const CallReply& reply) {
  sd_bus_message* message = start(reply);
  std::vector<std::string> strings;
  if (!message || !readStringArray(message, &strings))
    return std::nullopt;
  return strings;
}

std::optional<std::vector<std::string>> AtspiClient::readActionNames(const CallReply& reply) {
  sd_bus_message* message = start(reply);
  if (!message || sd_bus_message_enter_container(message, 'a', "(sss)") <= 0)
    return std::nullopt;
  std::vector<std::string> names;
  const char *name = nullptr, *description = nullptr, *keys = nullptr;
  int r = 0;
  while ((r = sd_bus_message_read(message, "(sss)", &name, &description, &keys)) > 0)
    names.emplace_back(name ? name : "");
  if (r < 0)
    return std::nullopt;
  return names;
}

std::optional<std::vector<std::pair<std::string, std::string>>> AtspiClient::readAttributes(
    const CallReply& reply) {
  sd_bus_message* message = start(reply);
  if (!message || sd_bus_message_enter_container(message, 'a', "{ss}") <= 0)
    return std::nullopt;
  std::vector<std::pair<std::string, std::string>> attributes;
  const char *key = nullptr, *value = nullptr;
  int r = 0;
  while ((r = sd_bus_message_read(message, "{ss}", &key, &value)) > 0)
    attributes.emplace_back(key ? key : "", value ? value : "");
  if (r < 0)
    return std::nullopt;
  return attributes;
}

std::optional<std::vector<CacheItem>> AtspiClient::readCacheItems(const CallReply& reply) {
  sd_bus_message* message = start(reply);
  // Since AT-SPI 2.40: a((so)(so)(so)iiassusau). Earlier bridges sent the
  // children list instead of the index; those are read by the tree walk.
  if (!message || sd_bus_message_enter_container(message, 'a', "((so)(so)(so)iiassusau)") <= 0)
    return std::nullopt;
  std::vector<CacheItem> items;
  for (;;) {
    int r = sd_bus_message_enter_container(message, 'r', "(so)(so)(so)iiassusau");
    if (r == 0)
      break;
    if (r < 0)
      return std::nullopt;
    CacheItem item;
    AccessibleRef application;
    const char *name = nullptr, *description = nullptr;
    if (!readRef(message, &item.object) || !readRef(message, &application) ||
        !readRef(message, &item.parent) ||
        sd_bus_message_read(message, "ii", &item.indexInParent, &item.childCount) <= 0 ||
        !readStringArray(message, &item.interfaces) ||
        sd_bus_message_read(message, "sus", &name, &item.role, &description) <= 0 ||
        !readStateWords(message, &item.states) || sd_bus_message_exit_container(message) < 0)
      return std::nullopt;
    item.name = name ? name : "";
    item.description = description ? description : "";
    items.push_back(std::move(item));
  }
  return items;
}

std::optional<std::string> AtspiClient::name(const AccessibleRef& object) {
  return readStringProperty(call(getProperty(object, kAccessible, "Name")));
}

std::optional<uint32_t> AtspiClient::role(const AccessibleRef& object) {
  return readUint(call(method(object, kAccessible, "GetRole")));
}

std::optional<uint64_t> AtspiClient::states(const AccessibleRef& object) {
  return readStates(call(method(object, kAccessible, "GetState")));
}

std::optional<std::vector<AccessibleRef>> AtspiClient::children(const AccessibleRef& object) {
  return readRefs(call(method(object, kAccessible, "GetChildren")));
}

std::optional<BusExtents> AtspiClient::extents(const AccessibleRef& object, CoordType type) {
  return readExtents(call(getExtents(object, type)));
}

std::optional<std::vector<CacheItem>> AtspiClient::cacheItems(const std::string& bus) {
  return readCacheItems(call(getItems(bus)));
}

}  // namespace cuh::linux_desktop
