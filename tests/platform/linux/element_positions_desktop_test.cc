// Each toolkit's top-level matched to its X window, and an element's
// position where the toolkit draws it: a real click (through the X test
// extension) at the position the backend computes lands, by the probe's
// own log, within 1 px of the same point of the element.
// gtest first: Xlib defines None as a macro.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <functional>
#include <ostream>

#include "platform/linux/element_positions.h"
#include "platform/linux/support/desktop_apps.h"
#include "platform/linux/window_matching.h"
#include "platform/linux/x_connection.h"
#include "platform/linux/x_windows.h"

namespace cuh::linux_desktop {
namespace {

using testing::FixtureApp;
using testing::StderrCapture;

struct Toolkit {
  const char* name;
  const char* script;
  std::vector<std::string> arguments;
  CoordType expectedCoordinates;  // what the rule must pick for it
};

void PrintTo(const Toolkit& toolkit, std::ostream* out) {
  *out << toolkit.name;
}

std::string toolkitName(const ::testing::TestParamInfo<Toolkit>& info) {
  return info.param.name;
}

// The first object named `name` under `root` (pre-order, bounded).
std::optional<AccessibleRef> findNamed(AtspiClient& client,
                                       const AccessibleRef& root,
                                       const std::string& name) {
  std::vector<AccessibleRef> stack{root};
  for (int visited = 0; !stack.empty() && visited < 2000; ++visited) {
    AccessibleRef object = stack.back();
    stack.pop_back();
    if (client.name(object) == name)
      return object;
    auto children = client.children(object).value_or(std::vector<AccessibleRef>{});
    stack.insert(stack.end(), children.rbegin(), children.rend());
  }
  return std::nullopt;
}

class ElementPositionsDesktopTest : public ::testing::TestWithParam<Toolkit> {};

TEST_P(ElementPositionsDesktopTest, TopLevelMatchesItsWindowAndAnElementIsWhereItIsDrawn) {
  const Toolkit& toolkit = GetParam();
  StderrCapture stderrCapture;
  FixtureApp app(toolkit.arguments, toolkit.script);
  std::string error;
  auto x = XConnection::open(nullptr, &error);
  ASSERT_TRUE(x) << error;
  XWindowReader reader(*x);
  auto bus = testing::openAccessibilityBus();
  ASSERT_TRUE(bus);
  AtspiClient client(*bus);
  auto application = testing::applicationOf(client, app.pid());
  ASSERT_TRUE(application);

  // The top-level of the probe's window, by the matching rule.
  std::optional<XWindowFacts> facts;
  std::vector<Toplevel> toplevels;
  std::vector<std::optional<size_t>> matches;
  ASSERT_TRUE(testing::waitUntil([&] {
    facts = reader.read(app.window("main"));
    toplevels = readToplevels(client, *application);
    if (!facts || toplevels.empty())
      return false;
    matches = matchToplevels({*facts}, toplevels, reader.activeWindow());
    return matches.front().has_value();
  })) << toplevels.size()
      << " top-levels, none matched";
  const Toplevel& toplevel = toplevels[*matches.front()];
  PositionRule rule =
      positionRule(*toplevel.screen, facts->client, facts->frameExtents, facts->shadowExtents);
  EXPECT_EQ(rule.coordinates, toolkit.expectedCoordinates);

  auto area = findNamed(client, toplevel.object, "Click Area");
  ASSERT_TRUE(area);
  auto extents = client.extents(*area, rule.coordinates);
  ASSERT_TRUE(extents);
  auto rect = elementRectangle(rule, *extents);
  ASSERT_TRUE(rect);
  ASSERT_GT(rect->width, 10);
  ASSERT_GT(rect->height, 10);

  // A real click 7, 5 px into the element as computed.
  constexpr int kIntoX = 7, kIntoY = 5;
  XTestFakeMotionEvent(x->display(), -1, static_cast<int>(rect->x + kIntoX),
                       static_cast<int>(rect->y + kIntoY), CurrentTime);
  XTestFakeButtonEvent(x->display(), 1, True, CurrentTime);
  XTestFakeButtonEvent(x->display(), 1, False, CurrentTime);
  x->sync();
  auto press = app.waitFor({{"event", "button-press"}, {"widget", "Click Area"}});
  ASSERT_TRUE(press) << "the click at " << rect->x + kIntoX << "," << rect->y + kIntoY
                     << " did not reach the element";
  EXPECT_NEAR((*press)["x"].get<double>(), kIntoX, 1.0);
  EXPECT_NEAR((*press)["y"].get<double>(), kIntoY, 1.0);
  EXPECT_EQ(stderrCapture.text(), "");
}

INSTANTIATE_TEST_SUITE_P(Toolkits,
                         ElementPositionsDesktopTest,
                         ::testing::Values(Toolkit{"Gtk3", "fixture_app.py", {}, CoordType::screen},
                                           Toolkit{"Gtk4", "gtk4_probe.py", {}, CoordType::window},
                                           Toolkit{"Qt5", "qt5_probe.py", {}, CoordType::screen}),
                         toolkitName);

}  // namespace
}  // namespace cuh::linux_desktop
