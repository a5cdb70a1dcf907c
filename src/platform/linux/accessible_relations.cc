#include "platform/linux/accessible_relations.h"

#include <set>
#include <vector>

#include "platform/linux/atspi_mapping.h"

namespace cuh::linux_desktop {
namespace {

constexpr const char* kAccessible = "org.a11y.atspi.Accessible";

}  // namespace

std::optional<AccessibleRef> toplevelOf(const AccessibleRef& object, const ParentLookup& parentOf) {
  std::set<AccessibleRef> met{object};
  AccessibleRef current = object;
  if (current.path == kRootPath)
    return std::nullopt;
  for (int step = 0; step < kMaxParentSteps; ++step) {
    std::optional<AccessibleRef> parent = parentOf(current);
    if (!parent || parent->path == kNullPath || parent->bus != current.bus)
      return std::nullopt;
    if (parent->path == kRootPath)
      return current;
    if (!met.insert(*parent).second)
      return std::nullopt;  // a cycle
    current = *parent;
  }
  return std::nullopt;
}

std::optional<AccessibleRef> toplevelOf(AtspiClient& client, const AccessibleRef& object) {
  return toplevelOf(object, [&client](const AccessibleRef& child) {
    return AtspiClient::readRefProperty(
        client.call(AtspiClient::getProperty(child, kAccessible, "Parent")));
  });
}

std::optional<AccessibleRef> focusedDescendant(AtspiClient& client, const AccessibleRef& window) {
  std::set<AccessibleRef> met{window};
  std::vector<AccessibleRef> level{window};
  int examined = 0;
  while (!level.empty() && examined < kMaxSearchedObjects) {
    std::vector<BusCall> calls;
    for (const AccessibleRef& object : level) {
      calls.push_back(AtspiClient::method(object, kAccessible, "GetState"));
      calls.push_back(AtspiClient::method(object, kAccessible, "GetChildren"));
    }
    std::vector<CallReply> replies = client.callAll(calls);
    std::vector<AccessibleRef> next;
    for (size_t i = 0; i < level.size(); ++i) {
      auto states = AtspiClient::readStates(replies[i * 2]);
      if (level[i] != window && states && hasState(*states, BusState::focused))
        return level[i];
      auto children = AtspiClient::readRefs(replies[i * 2 + 1]);
      if (!children)
        continue;
      for (const AccessibleRef& child : *children) {
        if (examined + static_cast<int>(next.size()) >= kMaxSearchedObjects)
          break;
        if (met.insert(child).second)
          next.push_back(child);
      }
    }
    examined += static_cast<int>(level.size());
    level = std::move(next);
  }
  return std::nullopt;
}

}  // namespace cuh::linux_desktop
