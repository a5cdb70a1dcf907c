#include "accessibility/resolve_element_request.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "accessibility/ax_scene.h"
#include "protocol/helper_failure.h"
#include "support/failure_message.h"

namespace cuh {
namespace {

using testing::desktopWith;
using testing::relativeFrame;
using testing::windowParams;

const std::string kOutside =
    "The indexed accessibility element moved outside the target window. Call get_app_state again";
const std::string kNoBounds =
    "The indexed accessibility element no longer has actionable bounds. Call get_app_state again";

Json request(Json element) {
  Json params = windowParams();
  params["element"] = std::move(element);
  return params;
}

// The message of the request's failure; "" when it succeeds.
std::string failureOf(platform::Platform& platform, const Json& params) {
  return testing::failureOf([&] { resolveElementRequest(platform, params); });
}

TEST(ResolveElementRequestTest, AnswersTheCentreRelativeToTheListedWindowFrame) {
  auto desktop = desktopWith(Json::array(
      {{{"role", "AXButton"}, {"title", "OK"}, {"frame", relativeFrame(200, 100, 100, 41)}}}));
  // Role and path alone are enough here: no durable identity is required.
  Json result = resolveElementRequest(*desktop, request({{"path", {0}}, {"role", "AXButton"}}));
  EXPECT_EQ(result, (Json{{"targetX", 250.0},
                          {"targetY", 120.5},
                          {"windowX", 100.0},
                          {"windowY", 50.0},
                          {"windowWidth", 800.0},
                          {"windowHeight", 600.0}}));
}

TEST(ResolveElementRequestTest, ElementIsReadAfterTheWindowParametersAndBeforeTheWindow) {
  const std::string missing = "Missing macOS computer-use parameter: ";
  struct Case {
    const char* name;
    Json params;
    std::string expected;
  };
  Json noHeight = windowParams();
  noHeight.erase("height");
  Json unknownWindow = request({{"role", "AXButton"}});
  unknownWindow["windowId"] = 99;
  Json arrayElement = unknownWindow;
  arrayElement["element"] = Json::array();
  const std::vector<Case> cases = {
      {"height before element", noHeight, missing + "height"},
      {"element missing", windowParams(), missing + "element"},
      {"element not an object", arrayElement, missing + "element"},
      {"then the window", unknownWindow,
       "The observed macOS window disappeared. Call get_app_state again"},
  };
  auto desktop = desktopWith(Json::array());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(failureOf(*desktop, c.params), c.expected);
  }
}

struct EdgeCase {
  const char* name;
  Json frame;
  std::string expected;  // "" for success
};

TEST(ResolveElementRequestTest, TheCentreMustLieInTheWindowFrame) {
  const std::vector<EdgeCase> cases = {
      {"centre on the right edge", relativeFrame(780, 100, 40, 20), kOutside},
      {"centre on the bottom edge", relativeFrame(100, 590, 40, 20), kOutside},
      {"centre just inside the right edge", relativeFrame(779, 100, 40, 20), ""},
      {"centre on the left edge", relativeFrame(-20, 100, 40, 20), ""},
      {"centre on the top edge", relativeFrame(100, -10, 40, 20), ""},
      {"centre left of the window", relativeFrame(-21, 100, 40, 20), kOutside},
      {"zero width", relativeFrame(100, 100, 0, 20), kNoBounds},
      {"no frame", nullptr, kNoBounds},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Json element = {{"role", "AXButton"}, {"title", "OK"}};
    if (!c.frame.is_null())
      element["frame"] = c.frame;
    auto desktop = desktopWith(Json::array({element}));
    // No frame in the expectation, so the element resolves whatever its own.
    EXPECT_EQ(failureOf(*desktop, request({{"path", {0}}, {"role", "AXButton"}, {"title", "OK"}})),
              c.expected);
  }
}

TEST(ResolveElementRequestTest, ResolutionFailuresPropagate) {
  Json twin = {{"role", "AXButton"}, {"title", "OK"}};
  auto desktop = desktopWith(Json::array({twin, twin}));
  EXPECT_EQ(
      failureOf(*desktop, request({{"role", "AXButton"}, {"title", "OK"}})),
      "The indexed accessibility element is ambiguous after refetch. Call get_app_state again");
}

}  // namespace
}  // namespace cuh
