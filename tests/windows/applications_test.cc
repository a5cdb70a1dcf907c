#include "windows/applications.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/sim/sim_desktop.h"
#include "protocol/helper_failure.h"
#include "support/recording_completion.h"

namespace cuh {
namespace {

using nlohmann::json;

using testing::RecordingCompletion;

json scene() {
  return json{
      {"frontmost", 100},
      {"apps",
       {
           {{"pid", 100},
            {"name", "Terminal"},
            {"bundleId", "com.example.terminal"},
            {"path", "/Applications/Terminal.app"}},
           {{"pid", 110}, {"name", "Agent"}, {"policy", "prohibited"}},
           {{"pid", 120}, {"name", "Menu Extra"}, {"policy", "accessory"}},
           {{"pid", 130}, {"name", ""}},
           {{"pid", 140}},
           {{"pid", 150}, {"name", "Plain Tool"}, {"finishedLaunching", false}},
       }},
      {"launchable",
       {
           {{"pid", 300},
            {"name", "Calculator"},
            {"bundleId", "com.example.calculator"},
            {"path", "/Applications/Calculator.app"}},
           {{"pid", 310}, {"name", "Viewer 2.0"}, {"path", "/Applications/Viewer 2.0.app"}},
           {{"pid", 320},
            {"name", "Broken"},
            {"path", "/Applications/Broken.app"},
            {"error",
             "The application \xE2\x80\x9C"
             "Broken\xE2\x80\x9D is damaged."}},
           {{"pid", 330}, {"name", "Tool"}, {"path", "/opt/tools/My.Tool.app"}},
       }},
  };
}

TEST(ListApplicationsTest, ListsNamedRegularApplicationsInWorkspaceOrder) {
  auto desktop = sim::SimDesktop::create(scene());
  Json apps = listApplications(*desktop);
  EXPECT_EQ(apps, (Json{{{"name", "Terminal"},
                         {"pid", 100},
                         {"isActive", true},
                         {"isFinishedLaunching", true},
                         {"bundleId", "com.example.terminal"},
                         {"path", "/Applications/Terminal.app"}},
                        // No bundle identifier and no location: the keys are absent.
                        {{"name", "Plain Tool"},
                         {"pid", 150},
                         {"isActive", false},
                         {"isFinishedLaunching", false}}}));
}

class LaunchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    desktop = sim::SimDesktop::create(scene());
    completion = std::make_shared<RecordingCompletion>();
  }
  // Starts a launch and runs the main loop until nothing is left to do.
  void launch(int64_t id, const std::string& app) {
    startLaunchApplication(*desktop, Json{{"app", app}}, Reply(completion, id));
    desktop->loop().runUntilIdle();
  }
  std::string lastLaunchUrl() const {
    auto lines = desktop->traceLines("launch");
    return lines.empty() ? "" : lines.back()["url"].get<std::string>();
  }

  std::unique_ptr<sim::SimDesktop> desktop;
  std::shared_ptr<RecordingCompletion> completion;
};

TEST_F(LaunchTest, ResolvesPathBundleIdentifierThenNameAndCompletesOnce) {
  std::string cwd = desktop->process().currentDirectory();
  if (!cwd.ends_with("/"))
    cwd += "/";
  struct Case {
    std::string app;
    std::string url;
    int32_t pid;
  } cases[] = {
      // A "/" makes it a path, even with dots in it.
      {"/opt/tools/My.Tool.app", "file:///opt/tools/My.Tool.app", 330},
      {"com.example.calculator", "file:///Applications/Calculator.app", 300},
      // A dotted text that is no bundle identifier is tried as a name.
      {"Viewer 2.0", "file:///Applications/Viewer 2.0.app", 310},
      {"Calculator", "file:///Applications/Calculator.app", 300},  // already running now
      {"Terminal", "file:///Applications/Terminal.app", 100},
  };
  int64_t id = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.app);
    completion->calls.clear();
    launch(id, c.app);
    EXPECT_EQ(lastLaunchUrl(), c.url);
    ASSERT_EQ(completion->calls.size(), 1u);
    EXPECT_EQ(completion->calls[0].id, id);
    EXPECT_EQ(completion->calls[0].result, (Json{{"launched", true}, {"pid", c.pid}}));
    EXPECT_EQ(completion->calls[0].error, std::nullopt);
    ++id;
  }
  // A relative path counts from the working directory.
  launch(9, "Apps/Local.app");
  EXPECT_EQ(lastLaunchUrl(), "file://" + cwd + "Apps/Local.app");
  // Every launch stays in the background and out of the recent items.
  auto lines = desktop->traceLines("launch");
  EXPECT_EQ(lines.size(), 6u);
  for (const json& line : lines) {
    EXPECT_EQ(line["activates"], false);
    EXPECT_EQ(line["addsToRecentItems"], false);
  }
  EXPECT_EQ(desktop->frontmostPid(), 100);
}

TEST_F(LaunchTest, PassesThePlatformErrorUnchanged) {
  launch(4, "/Applications/Broken.app");
  launch(5, "/Applications/Nowhere.app");
  ASSERT_EQ(completion->calls.size(), 2u);
  EXPECT_EQ(completion->calls[0].id, 4);
  EXPECT_EQ(completion->calls[0].result, std::nullopt);
  EXPECT_EQ(completion->calls[0].error,
            "The application \xE2\x80\x9C"
            "Broken\xE2\x80\x9D is damaged.");
  EXPECT_EQ(completion->calls[1].error,
            "The file \xE2\x80\x9CNowhere.app\xE2\x80\x9D couldn\xE2\x80\x99t be opened because "
            "there is no such file.");
}

TEST_F(LaunchTest, RefusesBeforeSchedulingAnything) {
  struct Case {
    Json params;
    std::string message;
  } cases[] = {
      {{{"app", "com.nobody.nothing"}}, "App not found: com.nobody.nothing"},
      {{{"app", "Nothing"}}, "App not found: Nothing"},
      {Json::object(), "Missing macOS computer-use parameter: app"},
      {{{"app", ""}}, "Missing macOS computer-use parameter: app"},
      {{{"app", 7}}, "Missing macOS computer-use parameter: app"},
  };
  for (const Case& c : cases) {
    // The dispatcher answers a refusal through the request's reply.
    Reply reply(completion, 1);
    try {
      startLaunchApplication(*desktop, c.params, reply);
      ADD_FAILURE() << c.params;
    } catch (const HelperFailure& failure) {
      EXPECT_EQ(failure.message(), c.message);
      reply.fail(failure.message());
    }
  }
  desktop->loop().runUntilIdle();
  // Each refused launch was answered once, by its refusal; nothing of its
  // own came later.
  ASSERT_EQ(completion->calls.size(), std::size(cases));
  for (size_t i = 0; i < std::size(cases); ++i)
    EXPECT_EQ(completion->calls[i].error, cases[i].message);
  EXPECT_EQ(completion->dropped, 0);
  EXPECT_TRUE(desktop->traceLines("launch").empty());
}

TEST_F(LaunchTest, ACompletionThatIsGoneIsNotCalled) {
  startLaunchApplication(*desktop, Json{{"app", "Calculator"}}, Reply(completion, std::nullopt));
  std::weak_ptr<RecordingCompletion> watch = completion;
  completion.reset();
  EXPECT_TRUE(desktop->loop().runUntilIdle());
  EXPECT_TRUE(watch.expired());
  // The launch itself still happened.
  Json apps = listApplications(*desktop);
  EXPECT_EQ(apps.back()["name"], "Calculator");
}

}  // namespace
}  // namespace cuh
