// gtest first: Xlib defines None as a macro.
#include <gtest/gtest.h>

#include "platform/linux/atspi_mapping.h"
#include "platform/linux/window_matching.h"

namespace cuh::linux_desktop {
namespace {

constexpr uint64_t kActive = uint64_t{1} << static_cast<uint32_t>(BusState::active);

XWindowFacts window(::Window id, const char* title, PixelRect client, Extents frame = {}) {
  XWindowFacts facts;
  facts.id = id;
  facts.name = title;
  facts.client = client;
  facts.frameExtents = frame;
  return facts;
}

Toplevel toplevel(const char* name, BusExtents screen, uint64_t states = 0) {
  Toplevel t;
  t.name = name;
  t.screen = screen;
  t.states = states;
  return t;
}

using Matches = std::vector<std::optional<size_t>>;

struct MatchCase {
  const char* what;
  std::vector<XWindowFacts> windows;
  std::vector<Toplevel> toplevels;
  std::optional<::Window> active;
  Matches expected;
};

TEST(WindowMatchingTest, NarrowsByTitleSizeThenActiveStateAndNeverGuesses) {
  const PixelRect main{61, 80, 480, 560};
  const Extents decorated{1, 1, 20, 5};
  const BusExtents mainR{60, 60, 482, 585};
  const MatchCase cases[] = {
      {"titles tell two windows apart",
       {window(1, "Main", main, decorated), window(2, "Tools", {600, 80, 300, 200})},
       {toplevel("Tools", {600, 80, 300, 200}), toplevel("Main", mainR)},
       std::nullopt,
       {1, 0}},
      {"an unnamed top-level of the right size (GTK 4 reports no position)",
       {window(1, "Main", {0, 0, 1342, 832})},
       {toplevel("", {0, 0, 1332, 822})},
       std::nullopt,
       {0}},
      {"a top-level whose size fits nothing stays unmatched",
       {window(1, "Main", main, decorated)},
       {toplevel("Main", {0, 0, 200, 100})},
       std::nullopt,
       {std::nullopt}},
      {"a margin that is not equal on every side is no margin",
       {window(1, "Main", {0, 0, 1342, 832})},
       {toplevel("Main", {0, 0, 1332, 800})},
       std::nullopt,
       {std::nullopt}},
      {"twins that nothing tells apart are both unmatched",
       {window(1, "Twin", main, decorated), window(2, "Twin", main, decorated)},
       {toplevel("Twin", mainR), toplevel("Twin", mainR)},
       std::nullopt,
       {std::nullopt, std::nullopt}},
      {"twins told apart by the active window",
       {window(1, "Twin", main, decorated), window(2, "Twin", main, decorated)},
       {toplevel("Twin", mainR), toplevel("Twin", mainR, kActive)},
       ::Window{1},
       {1, 0}},
      {"one top-level claimed by two windows belongs to neither",
       {window(1, "Twin", main, decorated), window(2, "Twin", main, decorated)},
       {toplevel("Twin", mainR)},
       std::nullopt,
       {std::nullopt, std::nullopt}},
      {"a top-level without extents is never matched",
       {window(1, "Main", main, decorated)},
       {Toplevel{{}, 0, "Main", 0, std::nullopt}},
       std::nullopt,
       {std::nullopt}},
  };
  for (const MatchCase& c : cases)
    EXPECT_EQ(matchToplevels(c.windows, c.toplevels, c.active), c.expected) << c.what;
}

}  // namespace
}  // namespace cuh::linux_desktop
