// The protocol's value of an element, from the accessibility bus: check
// states as 1, 0 or 2; value objects as their current number; text objects
// as their whole text; password text never (it is not even asked for).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/linux/atspi_client.h"

namespace cuh::linux_desktop {

enum class ValueSource {
  none,        // no value: unsupported (password text among them)
  checkState,  // from the states, no call
  number,      // the Value interface's CurrentValue
  text,        // the Text interface's whole text
};

// Where the value of an object with this role and these interfaces comes
// from. Value objects (sliders, spin buttons, scroll bars, progress and
// level bars) give their number even where they also offer text (a GTK
// spin button does).
ValueSource valueSource(uint32_t role, const std::vector<std::string>& interfaces);

using ElementValue = std::variant<std::string, double>;

// The call that reads the value (for batches); none for the sources that
// need no call.
std::optional<BusCall> valueCall(const AccessibleRef& object, ValueSource source);
// The value from the states or the call's reply; none when there is none
// or the reply could not be read.
std::optional<ElementValue> valueFrom(ValueSource source, uint64_t states, const CallReply* reply);

// Both in one: one call at most.
std::optional<ElementValue> readValue(AtspiClient& client,
                                      const AccessibleRef& object,
                                      uint32_t role,
                                      const std::vector<std::string>& interfaces,
                                      uint64_t states);

}  // namespace cuh::linux_desktop
