// Resetting the simulated desktop: after a session that launches an app,
// posts input, fires script rules and leaves a guard lease armed, the
// desktop is as freshly loaded, and answers the same session the same way.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/helper_delegate.h"
#include "platform/sim/sim_desktop.h"
#include "protocol/json.h"

namespace cuh::sim {
namespace {

// The demo desktop with a rule that fires on the second answer.
Json sceneWithRule() {
  Json scene = Json::parse(SimDesktop::demoSceneText());
  scene["script"] = Json::array(
      {Json{{"when", Json{{"afterResponses", 2}}},
            {"do", Json::array({Json{{"set", Json{{"ref", "notes.search"},
                                                  {"attribute", "AXValue"},
                                                  {"value", "typed by the user"}}}}})}}});
  return scene;
}

const char* const kSession[] = {
    R"({"id":1,"method":"launch_app","params":{"app":"Calculator"}})",
    R"({"id":2,"method":"click","params":{"pid":502,"windowId":201,"x":760,"y":20,"width":900,
        "height":640,"button":"left","clickCount":1}})",
    R"({"id":3,"method":"key","params":{"pid":502,"windowId":201,"x":400,"y":200,"width":900,
        "height":640,"keyName":"x","keyCode":7,"flags":0}})",
    R"({"id":4,"method":"list_apps"})",
    // Left armed: the delegate goes away holding the lease.
    R"({"id":5,"method":"begin_guard","params":{"pid":502,"windowId":201,"width":900,
        "height":640}})",
};

// Runs the session through a helper delegate that is gone afterwards; the
// answers, with the lease token (random) blanked.
std::vector<Json> runSession(SimDesktop& desktop) {
  std::vector<Json> answers;
  HelperOptions options;
  options.inputFd = -1;
  options.output = [&answers](std::string_view line) { answers.push_back(Json::parse(line)); };
  auto delegate = HelperDelegate::create(desktop, std::move(options));
  desktop.application().setDelegate(delegate.get());
  for (const char* line : kSession) {
    desktop.loop().post([&delegate, request = Json::parse(line)] { delegate->enqueue(request); });
    desktop.loop().runUntilIdle(60);
  }
  desktop.application().setDelegate(nullptr);
  delegate.reset();
  for (Json& answer : answers) {
    if (answer.contains("result") && answer["result"].contains("token"))
      answer["result"]["token"] = "token";
  }
  return answers;
}

// The trace with the random user-data mark of each marked event blanked.
Json withRandomMarksBlanked(Json trace) {
  for (Json& line : trace) {
    if (line.contains("event") && line["event"]["fields"].contains("42"))
      line["event"]["fields"]["42"] = 0;
  }
  return trace;
}

TEST(SimDesktopResetTest, AResetDesktopIsAFreshOneAndAnswersTheSameSession) {
  auto desktop = SimDesktop::create(sceneWithRule());
  const Json fresh = desktop->describe();

  std::vector<Json> first = runSession(*desktop);
  ASSERT_EQ(first.size(), std::size(kSession));
  for (const Json& answer : first)
    EXPECT_EQ(answer["ok"], true) << answer.dump();
  const Json afterSession = desktop->describe();
  // Every piece the session changed, so that a piece reset() forgot shows.
  for (const char* piece : {"world", "uptime", "trace", "posted", "taps", "script", "quartz"})
    ASSERT_NE(afterSession[piece], fresh[piece]) << piece;
  ASSERT_EQ(afterSession["quartz"]["controllers"].size(), 1u);
  EXPECT_EQ(afterSession["quartz"]["controllers"][0]["semanticGuardActive"], true);

  desktop->reset();
  EXPECT_EQ(desktop->describe(), fresh);
  EXPECT_EQ(desktop->describe(), SimDesktop::create(sceneWithRule())->describe());

  // Nothing of the first session is left behind: not the launched app, the
  // fired rule, the armed controller or the clock.
  EXPECT_EQ(runSession(*desktop), first);
  Json again = desktop->describe();
  EXPECT_EQ(withRandomMarksBlanked(again["trace"]), withRandomMarksBlanked(afterSession["trace"]));
  again.erase("trace");
  Json expected = afterSession;
  expected.erase("trace");
  EXPECT_EQ(again, expected);
}

}  // namespace
}  // namespace cuh::sim
