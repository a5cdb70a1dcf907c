// The differential check of a backend's batched read: for one element and a
// list of attributes, the batch must answer, slot by slot, exactly what the
// single reads of those attributes answer. A failure of the whole batch
// stands for that error in every slot. Works over any backend's
// accessibility service.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "platform/accessibility.h"

namespace cuh::testing {

// Deep equality of two values; elements compare as the platform does.
inline bool sameValue(const platform::Value& a, const platform::Value& b) {
  if (a.storage().index() != b.storage().index())
    return false;
  if (const auto* element = a.as<platform::AXElement>())
    return element->isEqual(*b.as<platform::AXElement>());
  if (const auto* list = a.as<platform::Array>()) {
    const auto& other = *b.as<platform::Array>();
    if (list->size() != other.size())
      return false;
    for (size_t i = 0; i < list->size(); ++i) {
      if (!sameValue((*list)[i], other[i]))
        return false;
    }
    return true;
  }
  if (const auto* dictionary = a.as<platform::Dictionary>()) {
    const auto& other = *b.as<platform::Dictionary>();
    if (dictionary->size() != other.size())
      return false;
    for (size_t i = 0; i < dictionary->size(); ++i) {
      if ((*dictionary)[i].first != other[i].first ||
          !sameValue((*dictionary)[i].second, other[i].second)) {
        return false;
      }
    }
    return true;
  }
  return std::visit(
      [&](const auto& value) {
        using T = std::decay_t<decltype(value)>;
        if constexpr (std::is_same_v<T, platform::AXElement> ||
                      std::is_same_v<T, platform::Array> ||
                      std::is_same_v<T, platform::Dictionary>) {
          return false;  // handled above
        } else {
          return value == *b.as<T>();
        }
      },
      a.storage());
}

inline bool sameAnswer(const platform::AXResult<platform::Value>& a,
                       const platform::AXResult<platform::Value>& b) {
  if (a.error != b.error || a.value.has_value() != b.value.has_value())
    return false;
  return !a.value || sameValue(*a.value, *b.value);
}

// "" when the batched read of `attributes` answers what the single reads
// answer; otherwise the first attribute whose answers differ.
inline std::string batchDisagreement(platform::Accessibility& ax,
                                     const platform::AXElement& element,
                                     std::span<const std::string_view> attributes) {
  auto batch =
      ax.copyMultipleAttributeValues(element, attributes, platform::CopyMultipleOptions::none);
  if (batch.ok() && (!batch.value || batch.value->size() != attributes.size()))
    return "the batch succeeded without one slot per attribute";
  for (size_t i = 0; i < attributes.size(); ++i) {
    platform::AXResult<platform::Value> slot{batch.error, std::nullopt};
    if (batch.ok())
      slot = (*batch.value)[i];
    auto single = ax.copyAttributeValue(element, attributes[i]);
    if (!sameAnswer(slot, single)) {
      return std::string(attributes[i]) + ": batch error " +
             std::to_string(static_cast<int>(slot.error)) + (slot.value ? " with" : " without") +
             " a value, single read error " + std::to_string(static_cast<int>(single.error)) +
             (single.value ? " with" : " without") + " a value";
    }
  }
  return "";
}

}  // namespace cuh::testing
