#include "platform/linux/element_values.h"

#include <algorithm>

#include "platform/linux/atspi_mapping.h"

namespace cuh::linux_desktop {
namespace {

constexpr const char* kText = "org.a11y.atspi.Text";
constexpr const char* kValue = "org.a11y.atspi.Value";

bool offers(const std::vector<std::string>& interfaces, const char* name) {
  return std::find(interfaces.begin(), interfaces.end(), name) != interfaces.end();
}

bool isValueObject(uint32_t role) {
  return isSettableValueRole(role) || role == static_cast<uint32_t>(BusRole::progressBar) ||
         role == static_cast<uint32_t>(BusRole::levelBar);
}

}  // namespace

ValueSource valueSource(uint32_t role, const std::vector<std::string>& interfaces) {
  if (role == static_cast<uint32_t>(BusRole::passwordText))
    return ValueSource::none;
  if (hasCheckValue(role))
    return ValueSource::checkState;
  if (isValueObject(role) && offers(interfaces, kValue))
    return ValueSource::number;
  if (offers(interfaces, kText))
    return ValueSource::text;
  if (offers(interfaces, kValue))
    return ValueSource::number;
  return ValueSource::none;
}

std::optional<BusCall> valueCall(const AccessibleRef& object, ValueSource source) {
  switch (source) {
    case ValueSource::number:
      return AtspiClient::getProperty(object, kValue, "CurrentValue");
    case ValueSource::text:
      // From the first character to the end (-1): the whole text.
      return BusCall{object.bus, object.path, kText, "GetText",
                     [](sd_bus_message* m) { return sd_bus_message_append(m, "ii", 0, -1); }};
    case ValueSource::none:
    case ValueSource::checkState:
      break;
  }
  return std::nullopt;
}

std::optional<ElementValue> valueFrom(ValueSource source, uint64_t states, const CallReply* reply) {
  switch (source) {
    case ValueSource::checkState:
      return static_cast<double>(checkValue(states));
    case ValueSource::number:
      if (reply) {
        if (auto number = AtspiClient::readDoubleProperty(*reply))
          return *number;
      }
      break;
    case ValueSource::text:
      if (reply) {
        if (auto text = AtspiClient::readString(*reply))
          return *text;
      }
      break;
    case ValueSource::none:
      break;
  }
  return std::nullopt;
}

std::optional<ElementValue> readValue(AtspiClient& client,
                                      const AccessibleRef& object,
                                      uint32_t role,
                                      const std::vector<std::string>& interfaces,
                                      uint64_t states) {
  ValueSource source = valueSource(role, interfaces);
  std::optional<BusCall> call = valueCall(object, source);
  if (!call)
    return valueFrom(source, states, nullptr);
  CallReply reply = client.call(*call);
  return valueFrom(source, states, &reply);
}

}  // namespace cuh::linux_desktop
