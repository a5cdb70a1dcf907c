// The workspace of the simulated desktop: identity across terminate and
// relaunch, launches and their completion, icons, process answers.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "platform/sim/sim_desktop.h"

namespace cuh::sim {
namespace {

using nlohmann::json;

json scene() {
  return json::parse(R"({
    "frontmost": 1,
    "apps": [{"pid": 1, "name": "User", "path": "/A/User.app", "icon": {"color": "#102030"}},
             {"pid": 2, "name": "Target", "bundleId": "t.target", "path": "/A/Target.app"}],
    "windows": [
      {"id": 10, "pid": 1, "bounds": {"x": 0, "y": 0, "width": 50, "height": 50}, "ax": {}},
      {"id": 20, "pid": 2, "bounds": {"x": 100, "y": 100, "width": 300, "height": 200},
       "ax": {"children": [{"ref": "field", "role": "AXTextField", "value": "v", "settable": ["AXValue"]}]}}
    ],
    "launchable": [
      {"pid": 3, "name": "Calc", "bundleId": "t.calc", "path": "/A/Calc.app", "delayMs": 50,
       "windows": [{"id": 30, "title": "Calc", "bounds": {"x": 0, "y": 0, "width": 20, "height": 20},
                    "ax": {"children": [{"ref": "display", "value": "0"}]}}]},
      {"pid": 4, "name": "Broken", "path": "/A/Broken.app", "error": "The application is damaged."}
    ]})");
}

struct Completion {
  std::mutex mutex;
  bool called = false;
  bool onMainThread = false;
  platform::RunningApplicationRef app;
  std::optional<std::string> error;

  platform::OpenCompletion callback() {
    auto main = std::this_thread::get_id();
    return [this, main](platform::RunningApplicationRef a, std::optional<std::string> e) {
      std::lock_guard lock(mutex);
      called = true;
      onMainThread = std::this_thread::get_id() == main;
      app = std::move(a);
      error = std::move(e);
    };
  }
};

TEST(SimWorkspaceTest, RelaunchGivesANewIdentityAndTerminateEndsTheOld) {
  auto desktop = SimDesktop::create(scene());
  auto& ws = desktop->workspace();
  auto before = ws.runningApplicationWithProcessIdentifier(2);
  ASSERT_TRUE(before);
  EXPECT_TRUE(before->isEqual(*ws.runningApplicationWithProcessIdentifier(2)));
  desktop->apply(
      json::parse(R"({"set": {"ref": "field", "attribute": "AXValue", "value": "kept"}})"));

  desktop->apply(json::parse(R"({"relaunch": 2})"));
  auto after = ws.runningApplicationWithProcessIdentifier(2);
  ASSERT_TRUE(after);
  EXPECT_TRUE(before->isTerminated());
  EXPECT_FALSE(after->isTerminated());
  EXPECT_FALSE(after->isEqual(*before));
  EXPECT_FALSE(before->isEqual(*after));
  EXPECT_EQ(after->processIdentifier(), 2);
  EXPECT_EQ(desktop->attribute("field", "AXValue"), json("kept"));
  EXPECT_EQ(desktop->attribute("app:2", "AXFocusedWindow"), json("20/"));

  auto user = ws.frontmostApplication();
  ASSERT_TRUE(user);
  EXPECT_TRUE(user->isActive());
  desktop->apply(json::parse(R"({"terminate": 1})"));
  EXPECT_TRUE(user->isTerminated());
  EXPECT_FALSE(user->isActive());
  EXPECT_EQ(ws.frontmostApplication(), nullptr);
  EXPECT_EQ(ws.runningApplicationWithProcessIdentifier(1), nullptr);
  EXPECT_EQ(desktop->windowServer().copyWindowInfo(24, 10)->as<platform::Array>()->size(), 0u);
  EXPECT_FALSE(desktop->accessibility()
                   .copyAttributeValue(desktop->accessibility().createApplication(1), "AXRole")
                   .ok());
}

TEST(SimWorkspaceTest, LaunchCompletesOffTheMainThreadAfterItsDelay) {
  auto desktop = SimDesktop::create(scene());
  auto& ws = desktop->workspace();
  EXPECT_EQ(ws.urlForApplicationWithBundleIdentifier("t.calc"), "/A/Calc.app");
  EXPECT_EQ(ws.fullPathForApplication("Calc"), "/A/Calc.app");

  Completion done;
  double start = desktop->clock().uptime();
  ws.openApplicationAtURL("/A/Calc.app", {false, false}, done.callback());
  EXPECT_FALSE(done.called);
  EXPECT_EQ(ws.runningApplicationWithProcessIdentifier(3), nullptr);
  desktop->loop().runUntilIdle();
  ASSERT_TRUE(done.called);
  EXPECT_FALSE(done.onMainThread);
  EXPECT_NEAR(desktop->clock().uptime() - start, 0.05, 1e-9);
  ASSERT_TRUE(done.app);
  EXPECT_EQ(done.app->processIdentifier(), 3);
  EXPECT_EQ(done.error, std::nullopt);

  // It joins the end of the running apps, its windows go to the back, and
  // the frontmost application stays.
  auto running = ws.runningApplications();
  ASSERT_EQ(running.size(), 3u);
  EXPECT_TRUE(running.back()->isEqual(*done.app));
  auto rows = *desktop->windowServer().copyWindowInfo(16, 0)->as<platform::Array>();
  EXPECT_EQ(*rows.back().find("kCGWindowNumber")->as<platform::Number>()->integerValue(), 30);
  EXPECT_EQ(*rows.back().find("kCGWindowOwnerName")->as<std::string>(), "Calc");
  EXPECT_EQ(desktop->frontmostPid(), 1);
  EXPECT_EQ(desktop->attribute("app:3", "AXFocusedWindow"), json("30/"));
  EXPECT_EQ(desktop->attribute("display", "AXValue"), json("0"));

  // Opening a running app answers it.
  Completion again;
  ws.openApplicationAtURL("/A/Target.app", {}, again.callback());
  desktop->loop().runUntilIdle();
  ASSERT_TRUE(again.app);
  EXPECT_TRUE(again.app->isEqual(*ws.runningApplicationWithProcessIdentifier(2)));

  auto launches = desktop->traceLines("launch");
  ASSERT_EQ(launches.size(), 2u);
  EXPECT_EQ(launches[0], json::parse(R"({"kind":"launch","url":"file:///A/Calc.app",
                                         "activates":false,"addsToRecentItems":false})"));
}

TEST(SimWorkspaceTest, FailedLaunchesAnswerTheirDescription) {
  auto desktop = SimDesktop::create(scene());
  auto& ws = desktop->workspace();
  Completion broken, missing;
  ws.openApplicationAtURL("/A/Broken.app", {}, broken.callback());
  ws.openApplicationAtURL("/Nowhere/Ghost.app", {}, missing.callback());
  desktop->loop().runUntilIdle();
  ASSERT_TRUE(broken.called);
  EXPECT_EQ(broken.app, nullptr);
  EXPECT_EQ(broken.error, "The application is damaged.");
  ASSERT_TRUE(missing.called);
  EXPECT_EQ(missing.app, nullptr);
  EXPECT_EQ(
      missing.error,
      "The file \xE2\x80\x9CGhost.app\xE2\x80\x9D couldn\xE2\x80\x99t be opened because there "
      "is no such file.");
  EXPECT_EQ(ws.runningApplicationWithProcessIdentifier(4), nullptr);
  EXPECT_EQ(desktop->traceLines("launch").size(), 2u);
}

TEST(SimWorkspaceTest, IconsAreColourFillsOrTheGenericIcon) {
  auto desktop = SimDesktop::create(scene());
  auto& ws = desktop->workspace();
  auto icon = ws.iconForFile("/A/User.app");
  ASSERT_EQ(icon.width, 128);
  ASSERT_EQ(icon.height, 128);
  ASSERT_EQ(icon.rgba.size(), 128u * 128u * 4u);
  for (size_t i = 0; i < icon.rgba.size(); i += 4) {
    ASSERT_EQ(icon.rgba[i], 0x10);
    ASSERT_EQ(icon.rgba[i + 1], 0x20);
    ASSERT_EQ(icon.rgba[i + 2], 0x30);
    ASSERT_EQ(icon.rgba[i + 3], 255);
  }
  auto generic = ws.iconForFile("/A/Target.app");
  EXPECT_EQ(generic.width, 128);
  EXPECT_EQ(generic.rgba, ws.iconForFile("/anything/else").rgba);
  EXPECT_NE(generic.rgba, icon.rgba);
}

TEST(SimWorkspaceTest, KillZeroAnswersCanBeOverridden) {
  auto desktop = SimDesktop::create(scene());
  auto& process = desktop->process();
  EXPECT_EQ(process.killZero(process.currentPid()), 0);
  desktop->setProcessAlive(process.currentPid(), false);
  EXPECT_NE(process.killZero(process.currentPid()), 0);
  desktop->setProcessAlive(999999, true);
  EXPECT_EQ(process.killZero(999999), 0);
  EXPECT_NE(process.killZero(0), 0);
  auto uuid = process.uuidString();
  EXPECT_EQ(uuid.size(), 36u);
  EXPECT_NE(uuid, process.uuidString());
}

}  // namespace
}  // namespace cuh::sim

namespace cuh::sim {
namespace {

// On the real clock a launch completion runs on its own thread. A desktop
// torn down while that thread is still on its way to the main loop waits for
// it, so the thread never posts to a destroyed loop.
TEST(SimWorkspaceTest, TeardownWaitsForALaunchCompletionStillRunning) {
  DesktopOptions options;
  options.virtualClock = false;
  auto desktop = SimDesktop::create(scene(), options);
  platform::MainLoop& loop = desktop->mainLoop();
  std::atomic<bool> started = false;
  std::atomic<bool> release = false;
  std::atomic<bool> finished = false;
  desktop->workspace().openApplicationAtURL(
      "/Nowhere/Ghost.app", {}, [&](platform::RunningApplicationRef, std::optional<std::string>) {
        started = true;
        while (!release)
          std::this_thread::yield();
        loop.post([] {});
        finished = true;
      });
  // The not-found answer is posted at once; running it starts the thread.
  while (!started)
    desktop->loop().runUntilIdle(0.01);
  release = true;
  desktop.reset();
  EXPECT_TRUE(finished);
}

}  // namespace
}  // namespace cuh::sim
