// Grouping a trace's posted events into the gestures the picture numbers,
// and placing them: in process, on the demo scene.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/sim/scene_loader.h"
#include "render/gestures.h"
#include "render/picture.h"

namespace cuh::render {
namespace {

using nlohmann::json;

// A "post" line as the simulated desktop writes it.
json post(int type, double x, double y, json extra = json::object()) {
  json event = {
      {"type", type}, {"flags", 0},          {"x", x},
      {"y", y},       {"windowNumber", 201}, {"fields", {{"7", 0}, {"91", 201}, {"92", 201}}}};
  event.update(extra);
  return {{"kind", "post"}, {"pid", 502}, {"event", event}};
}
json clickState(int k) {
  return {{"fields", {{"1", k}, {"7", 0}, {"91", 201}}}, {"clickCount", k}};
}
json key(int code, bool down, int flags = 0) {
  return post(down ? 10 : 11, 0, 0,
              {{"keyCode", code}, {"keyDown", down}, {"flags", flags}, {"windowNumber", 0}});
}
// The helper's own preparation: an application event and its focus click.
std::vector<json> focusPreparation() {
  return {post(13, 0, 0, {{"subtype", 1}}),
          post(1, 348, 108, {{"fields", {{"7", 3}, {"91", 201}}}, {"clickCount", 1}}),
          post(2, 348, 108, {{"fields", {{"7", 3}, {"91", 201}}}, {"clickCount", 1}})};
}

std::string kindName(GestureKind kind) {
  switch (kind) {
    case GestureKind::click:
      return "click";
    case GestureKind::drag:
      return "drag";
    case GestureKind::key:
      return "key";
    case GestureKind::scroll:
      return "scroll";
    case GestureKind::focus:
      return "focus";
    case GestureKind::other:
      return "other";
  }
  return "?";
}

// One gesture as "kind button count label events at x,y to x,y".
std::string describe(const Gesture& g) {
  std::ostringstream out;
  out << kindName(g.kind) << " " << g.button << " " << g.clickCount << " [" << g.label << "] "
      << g.events << " at " << g.at.x << "," << g.at.y << " to " << g.to.x << "," << g.to.y;
  return out.str();
}

TEST(RenderGestures, PostedEventsBecomeTheGesturesAPersonWouldName) {
  struct Case {
    const char* name;
    std::vector<json> lines;
    std::vector<std::string> gestures;
  };
  std::vector<json> prepared = focusPreparation();
  std::vector<json> preparedClick = prepared;
  preparedClick.push_back(post(1, 780, 162, clickState(1)));
  preparedClick.push_back(post(2, 780, 162, clickState(1)));
  std::vector<json> drag = {post(1, 680, 240)};
  for (int k = 1; k <= 16; ++k)
    drag.push_back(post(6, 680 + 12.5 * k, 240 + 12.5 * k));
  drag.push_back(post(2, 880, 440));

  const Case cases[] = {
      {"a click behind the focus preparation",
       preparedClick,
       {"focus  0 [synthetic focus] 3 at 0,0 to 0,0", "click left 1 [] 2 at 780,162 to 780,162"}},
      {"a double click is one gesture",
       {post(1, 780, 162, clickState(1)), post(2, 780, 162, clickState(1)),
        post(1, 780, 162, clickState(2)), post(2, 780, 162, clickState(2))},
       {"click left 2 [] 4 at 780,162 to 780,162"}},
      {"two clicks elsewhere are two gestures",
       {post(3, 10, 10, clickState(1)), post(4, 10, 10, clickState(1)),
        post(1, 20, 20, clickState(1)), post(2, 20, 20, clickState(1))},
       {"click right 1 [] 2 at 10,10 to 10,10", "click left 1 [] 2 at 20,20 to 20,20"}},
      {"a drag runs from its press to its release",
       drag,
       {"drag left 1 [] 18 at 680,240 to 880,440"}},
      {"a keystroke with modifiers names the key, not the modifier keys",
       {key(55, true, 0x100000), key(56, true, 0x120000), key(6, true, 0x120000),
        key(6, false, 0x120000), key(56, false, 0x100000), key(55, false, 0)},
       {"key  0 [Cmd+Shift key 6] 6 at 0,0 to 0,0"}},
      {"a scroll gives the caller's amounts",
       {post(22, 880, 440, {{"wheel", {-40, 5, 0}}, {"units", "pixel"}})},
       {"scroll  0 [dx -5, dy 40] 1 at 880,440 to 880,440"}},
      {"other kinds of line and unknown events",
       {json{{"kind", "tapCreated"}, {"pid", 502}}, post(9, 1, 2),
        json{{"kind", "post"}, {"pid", "x"}}},
       {"other  0 [type 9] 1 at 1,2 to 1,2", "other  0 [malformed post] 1 at 0,0 to 0,0"}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> got;
    for (const Gesture& gesture : groupGestures(c.lines))
      got.push_back(describe(gesture));
    EXPECT_EQ(got, c.gestures) << c.name;
  }
}

TEST(RenderPicture, StacksWindowsBackToFrontAndPlacesKeysByTheirWindow) {
  std::ifstream file(std::string(CUH_SOURCE_DIR) + "/scenes/demo.json");
  sim::World world = sim::loadScene(json::parse(file)).world;
  std::vector<json> lines = focusPreparation();
  lines.push_back(key(0, true));
  lines.push_back(key(0, false));
  lines.push_back(post(22, 880, 440, {{"wheel", {-40, 0, 0}}}));
  Picture picture = buildPicture(world, lines);

  std::vector<uint32_t> order;
  for (const WindowBox& box : picture.windows)
    order.push_back(box.id);
  EXPECT_EQ(order, (std::vector<uint32_t>{201, 101, 1}));  // scene order is front to back
  EXPECT_FALSE(picture.windows[0].frontmost);
  EXPECT_TRUE(picture.windows[1].frontmost);  // Terminal, of the frontmost app
  EXPECT_FALSE(picture.windows[2].ordinary);  // the menu bar's layer

  ASSERT_EQ(picture.markers.size(), 3u);
  EXPECT_EQ(picture.markers[0].number, 0);  // the preparation is not numbered
  EXPECT_EQ(picture.markers[1].number, 1);
  EXPECT_EQ(picture.markers[1].window, 0u);  // a key names no window: its pid's front one
  EXPECT_EQ(picture.markers[2].slot, 1);
  EXPECT_EQ(picture.extent, (platform::Rect{{0, 0}, {1440, 780}}));
}

}  // namespace
}  // namespace cuh::render
