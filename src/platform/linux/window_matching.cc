#include "platform/linux/window_matching.h"

#include <algorithm>
#include <cstdlib>
#include <map>

#include "platform/linux/atspi_mapping.h"

namespace cuh::linux_desktop {
namespace {

constexpr const char* kAccessible = "org.a11y.atspi.Accessible";

bool near(int64_t a, int64_t b) {
  return std::llabs(a - b) <= 1;
}

template <class Keep>
std::vector<size_t> narrowed(const std::vector<size_t>& candidates, Keep keep) {
  std::vector<size_t> kept;
  std::copy_if(candidates.begin(), candidates.end(), std::back_inserter(kept), keep);
  return kept;
}

}  // namespace

std::vector<Toplevel> readToplevels(AtspiClient& client, const AccessibleRef& application) {
  std::vector<Toplevel> toplevels;
  auto children = client.children(application);
  if (!children)
    return toplevels;
  std::vector<BusCall> calls;
  for (const AccessibleRef& child : *children) {
    calls.push_back(AtspiClient::getProperty(child, kAccessible, "Name"));
    calls.push_back(AtspiClient::method(child, kAccessible, "GetRole"));
    calls.push_back(AtspiClient::method(child, kAccessible, "GetState"));
    calls.push_back(AtspiClient::getExtents(child, CoordType::screen));
  }
  std::vector<CallReply> replies = client.callAll(calls);
  for (size_t i = 0; i < children->size(); ++i) {
    Toplevel toplevel;
    toplevel.object = (*children)[i];
    toplevel.name = AtspiClient::readStringProperty(replies[i * 4]).value_or("");
    toplevel.role = AtspiClient::readUint(replies[i * 4 + 1]).value_or(0);
    toplevel.states = AtspiClient::readStates(replies[i * 4 + 2]).value_or(0);
    toplevel.screen = AtspiClient::readExtents(replies[i * 4 + 3]);
    toplevels.push_back(std::move(toplevel));
  }
  return toplevels;
}

bool sizeAgrees(const BusExtents& toplevel, const XWindowFacts& window) {
  const PixelRect& client = window.client;
  PixelRect r = window.rectangle();
  auto same = [&](int64_t width, int64_t height) {
    return near(toplevel.width, width) && near(toplevel.height, height);
  };
  if (same(client.width, client.height) || same(r.width, r.height))
    return true;
  int64_t spareWidth = client.width - toplevel.width;
  int64_t spareHeight = client.height - toplevel.height;
  return spareWidth > 0 && spareWidth <= 2 * kMaxMargin && near(spareWidth, spareHeight);
}

std::vector<std::optional<size_t>> matchToplevels(const std::vector<XWindowFacts>& windows,
                                                  const std::vector<Toplevel>& toplevels,
                                                  std::optional<::Window> activeWindow) {
  std::vector<std::optional<size_t>> matches(windows.size());
  std::map<size_t, int> claims;
  for (size_t w = 0; w < windows.size(); ++w) {
    const XWindowFacts& window = windows[w];
    std::vector<size_t> candidates(toplevels.size());
    for (size_t i = 0; i < toplevels.size(); ++i)
      candidates[i] = i;
    std::string title = window.name.value_or("");
    if (!title.empty()) {
      auto equal = narrowed(candidates, [&](size_t i) { return toplevels[i].name == title; });
      candidates = !equal.empty()
                       ? equal
                       : narrowed(candidates, [&](size_t i) { return toplevels[i].name.empty(); });
    }
    candidates = narrowed(candidates, [&](size_t i) {
      return toplevels[i].screen && sizeAgrees(*toplevels[i].screen, window);
    });
    if (candidates.size() > 1) {
      bool active = activeWindow == window.id;
      candidates = narrowed(candidates, [&](size_t i) {
        return hasState(toplevels[i].states, BusState::active) == active;
      });
    }
    if (candidates.size() == 1) {
      matches[w] = candidates.front();
      ++claims[candidates.front()];
    }
  }
  // A top-level that two windows claim belongs to neither for certain.
  for (std::optional<size_t>& match : matches) {
    if (match && claims[*match] > 1)
      match.reset();
  }
  return matches;
}

}  // namespace cuh::linux_desktop
