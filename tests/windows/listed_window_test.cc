// The one check of an observed window: still listed with a frame, of the
// observed size within 1.5 points, answered with the caller's messages.
#include "windows/listed_window.h"

#include <cmath>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "platform/sim/sim_desktop.h"
#include "protocol/json.h"
#include "support/failure_message.h"

namespace cuh::testing {
namespace {

const ObservedWindowMessages kMessages{"gone", "other size"};

TEST(ListedWindowCheck, AnswersWithTheCallersMessages) {
  auto desktop = sim::SimDesktop::create(Json::parse(R"({
    "apps": [{"pid": 100, "name": "Notes"}],
    "windows": [
      {"id": 11, "pid": 100, "bounds": {"x": 10, "y": 20, "width": 400, "height": 300}},
      {"id": 12, "pid": 100, "row": {"kCGWindowBounds": null}},
      {"id": 13, "pid": 100, "layer": 3, "bounds": {"x": 0, "y": 0, "width": 400, "height": 300}}
    ]})"));
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    uint32_t windowID;
    double width;
    double height;
    std::string message;
  };
  const Case cases[] = {
      {11, 400, 300, ""},
      {11, 401.5, 298.5, ""},
      {11, 401.6, 300, "other size"},
      {11, 400, 298.4, "other size"},
      {11, nan, 300, "other size"},
      {12, 400, 300, "gone"},
      {13, 400, 300, "gone"},
      {99, 400, 300, "gone"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.windowID) + " " + std::to_string(c.width) + "x" +
                 std::to_string(c.height));
    EXPECT_EQ(failureOf([&] {
                checkObservedWindow(*desktop, 100, c.windowID, c.width, c.height, kMessages);
              }),
              c.message);
  }
  ListedWindow listed = checkObservedWindow(*desktop, 100, 11, 400, 300, kMessages);
  EXPECT_EQ(listed.frame, (platform::Rect{{10, 20}, {400, 300}}));
  EXPECT_EQ(failureOf([&] { findListedWindow(*desktop, 200, 11, "not that process"); }),
            "not that process");
}

}  // namespace
}  // namespace cuh::testing
