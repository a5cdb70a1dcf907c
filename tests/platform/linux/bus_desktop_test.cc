// The accessibility-bus building blocks against the test desktop: finding
// the bus, reading the fixture application's objects one call at a time and
// in pipelined batches, the object cache, and the per-request rule for hung
// and vanished applications.
#include <gtest/gtest.h>

#include <signal.h>

#include <cstdlib>
#include <functional>

#include "platform/linux/accessibility_bus.h"
#include "platform/linux/atspi_client.h"
#include "platform/linux/atspi_mapping.h"
#include "platform/linux/support/desktop_apps.h"
#include "platform/linux/support/scoped_environment.h"
#include "platform/linux/x_connection.h"
#include "platform/linux/x_windows.h"

namespace cuh::linux_desktop {
namespace {

using testing::FixtureApp;
using testing::ScopedEnvironment;
using testing::StderrCapture;

constexpr auto kTimeout = std::chrono::milliseconds(1000);

// What the batch test reads of each object.
struct Read {
  std::optional<std::string> name;
  std::optional<uint32_t> role;
  std::optional<uint64_t> states;
  std::optional<BusExtents> extents;
  friend bool operator==(const Read&, const Read&) = default;
};

TEST(AccessibilityBusDesktopTest, FoundInTheUsualOrder) {
  StderrCapture stderrCapture;
  std::string error;
  auto x = XConnection::open(nullptr, &error);
  ASSERT_TRUE(x) << error;
  auto fromSession = findAccessibilityBus(x.get(), kTimeout);
  ASSERT_TRUE(fromSession);
  EXPECT_EQ(fromSession->source, BusSource::sessionBus);
  {
    ScopedEnvironment environment("AT_SPI_BUS_ADDRESS", "unix:path=/nowhere");
    auto fromEnvironment = findAccessibilityBus(x.get(), kTimeout);
    ASSERT_TRUE(fromEnvironment);
    EXPECT_EQ(fromEnvironment->source, BusSource::environment);
    EXPECT_EQ(fromEnvironment->address, "unix:path=/nowhere");
  }
  {
    ScopedEnvironment noSession("DBUS_SESSION_BUS_ADDRESS", nullptr);
    auto fromRoot = findAccessibilityBus(x.get(), kTimeout);
    ASSERT_TRUE(fromRoot);
    EXPECT_EQ(fromRoot->source, BusSource::rootWindow);
    EXPECT_EQ(fromRoot->address, fromSession->address);
    EXPECT_FALSE(findAccessibilityBus(nullptr, kTimeout));
    EXPECT_FALSE(accessibilityEnabled(kTimeout));
  }
  EXPECT_EQ(accessibilityEnabled(kTimeout), true);
  EXPECT_EQ(stderrCapture.text(), "");
}

TEST(AtspiClientDesktopTest, BatchesAnswerAsSingleReadsDo) {
  StderrCapture stderrCapture;
  FixtureApp fixture;
  auto bus = testing::openAccessibilityBus();
  ASSERT_TRUE(bus);
  AtspiClient client(*bus);
  ASSERT_TRUE(client.registerWithRegistry());
  client.beginRequest();
  auto app = testing::applicationOf(client, fixture.pid());
  ASSERT_TRUE(app);
  EXPECT_EQ(client.role(*app), static_cast<uint32_t>(BusRole::application));

  // The window: GTK 3 reports the window rectangle R as its screen extents.
  auto windows = client.children(*app);
  ASSERT_TRUE(windows);
  ASSERT_EQ(windows->size(), 1u);
  AccessibleRef frame = windows->front();
  EXPECT_EQ(client.name(frame), "CUH Fixture");
  std::string error;
  auto x = XConnection::open(nullptr, &error);
  ASSERT_TRUE(x);
  auto facts = XWindowReader(*x).read(fixture.window("main"));
  ASSERT_TRUE(facts);
  PixelRect r = facts->rectangle();
  EXPECT_EQ(client.extents(frame, CoordType::screen),
            (BusExtents{static_cast<int32_t>(r.x), static_cast<int32_t>(r.y),
                        static_cast<int32_t>(r.width), static_cast<int32_t>(r.height)}));

  // Every object under the window, one call at a time.
  std::vector<AccessibleRef> objects;
  std::function<void(const AccessibleRef&)> walk = [&](const AccessibleRef& object) {
    for (const AccessibleRef& child :
         client.children(object).value_or(std::vector<AccessibleRef>{})) {
      objects.push_back(child);
      walk(child);
    }
  };
  walk(frame);
  ASSERT_GT(objects.size(), 15u);
  std::vector<Read> single;
  for (const AccessibleRef& object : objects)
    single.push_back({client.name(object), client.role(object), client.states(object),
                      client.extents(object, CoordType::screen)});

  // The same reads as one pipelined batch: one round trip's wait.
  std::vector<BusCall> calls;
  for (const AccessibleRef& object : objects) {
    calls.push_back(AtspiClient::getProperty(object, "org.a11y.atspi.Accessible", "Name"));
    calls.push_back(AtspiClient::method(object, "org.a11y.atspi.Accessible", "GetRole"));
    calls.push_back(AtspiClient::method(object, "org.a11y.atspi.Accessible", "GetState"));
    calls.push_back(AtspiClient::getExtents(object, CoordType::screen));
  }
  uint64_t batchesBefore = bus->batchesSent();
  std::vector<CallReply> replies = client.callAll(calls);
  EXPECT_EQ(bus->batchesSent(), batchesBefore + 1);
  ASSERT_EQ(replies.size(), calls.size());
  for (size_t i = 0; i < objects.size(); ++i) {
    Read batched{
        AtspiClient::readStringProperty(replies[i * 4]), AtspiClient::readUint(replies[i * 4 + 1]),
        AtspiClient::readStates(replies[i * 4 + 2]), AtspiClient::readExtents(replies[i * 4 + 3])};
    EXPECT_EQ(batched, single[i]) << objects[i].path;
  }

  // The cache: every object's name, role and parent in one call.
  auto items = client.cacheItems(app->bus);
  ASSERT_TRUE(items);
  auto press = std::find_if(items->begin(), items->end(),
                            [](const CacheItem& item) { return item.name == "Press Me"; });
  ASSERT_NE(press, items->end());
  EXPECT_EQ(press->role, static_cast<uint32_t>(BusRole::pushButton));
  EXPECT_EQ(mapRole(press->role, {press->states, std::nullopt, false}).role, "AXButton");
  EXPECT_NE(std::find(objects.begin(), objects.end(), press->object), objects.end());
  auto password = std::find_if(items->begin(), items->end(),
                               [](const CacheItem& item) { return item.name == "Password"; });
  ASSERT_NE(password, items->end());
  EXPECT_EQ(mapRole(password->role, {}).subrole, "AXSecureTextField");
  client.endRequest();
  EXPECT_EQ(stderrCapture.text(), "");
}

TEST(AtspiClientDesktopTest, AHungApplicationCostsOneTimeoutPerRequest) {
  StderrCapture stderrCapture;
  FixtureApp fixture;
  auto bus = testing::openAccessibilityBus();
  ASSERT_TRUE(bus);
  // A short timeout keeps the test quick; the rule is the same at 1 s.
  AtspiClient client(*bus, std::chrono::milliseconds(200));
  client.beginRequest();
  auto app = testing::applicationOf(client, fixture.pid());
  ASSERT_TRUE(app);
  AccessibleRef root{app->bus, kRootPath};
  AccessibleRef registry{"org.a11y.atspi.Registry", kRootPath};

  fixture.process().signal(SIGSTOP);
  // More calls than one window in flight: the first window times out
  // together, the rest are never sent.
  constexpr size_t kCalls = BusConnection::kMaxInFlight * 3;
  std::vector<BusCall> calls(kCalls,
                             AtspiClient::method(root, "org.a11y.atspi.Accessible", "GetRole"));
  calls.push_back(AtspiClient::method(registry, "org.a11y.atspi.Accessible", "GetRole"));
  uint64_t sentBefore = bus->callsSent();
  std::vector<CallReply> replies = client.callAll(calls);
  for (size_t i = 0; i < kCalls; ++i)
    EXPECT_EQ(replies[i].status, CallStatus::timedOut) << i;
  EXPECT_TRUE(replies[kCalls].ok());  // other applications still answer
  EXPECT_EQ(bus->callsSent(), sentBefore + BusConnection::kMaxInFlight + 1);
  EXPECT_TRUE(client.applicationFailed(app->bus));

  // The rest of the request: failed at once, nothing sent.
  uint64_t sent = bus->callsSent();
  EXPECT_EQ(client.call(AtspiClient::method(root, "org.a11y.atspi.Accessible", "GetRole")).status,
            CallStatus::timedOut);
  EXPECT_EQ(client.callAll(calls)[0].status, CallStatus::timedOut);
  EXPECT_EQ(bus->callsSent(), sent + 1);  // only the registry call of the batch

  // The next request asks again, and gets an answer once the application
  // runs again.
  client.beginRequest();
  fixture.process().signal(SIGCONT);
  EXPECT_EQ(client.role(root), static_cast<uint32_t>(BusRole::application));
  EXPECT_FALSE(client.applicationFailed(app->bus));

  // An application that quits mid-request fails the same way.
  fixture.process().signal(SIGKILL);
  fixture.process().end();
  EXPECT_FALSE(client.role(root));
  EXPECT_TRUE(client.applicationFailed(app->bus));
  EXPECT_EQ(stderrCapture.text(), "");
}

TEST(AtspiClientDesktopTest, ALongQueueOfCallsToASlowApplicationIsNoTimeout) {
  StderrCapture stderrCapture;
  // 1 ms per call: 1,500 calls take 1.5 s in all, longer than the timeout;
  // each call's own wait stays far below it because only a window of them
  // is queued at the application at a time.
  FixtureApp slow({"--call-delay-us", "1000"}, CUH_HOSTILE_APP);
  auto bus = testing::openAccessibilityBus();
  ASSERT_TRUE(bus);
  AtspiClient client(*bus);
  client.beginRequest();
  auto app = testing::applicationOf(client, slow.pid());
  ASSERT_TRUE(app);
  std::vector<BusCall> calls(
      1500, AtspiClient::method({app->bus, kRootPath}, "org.a11y.atspi.Accessible", "GetRole"));
  std::vector<CallReply> replies = client.callAll(calls);
  size_t answered = 0;
  for (const CallReply& reply : replies)
    answered += AtspiClient::readUint(reply) == static_cast<uint32_t>(BusRole::application);
  EXPECT_EQ(answered, calls.size());
  EXPECT_FALSE(client.applicationFailed(app->bus));
  EXPECT_EQ(stderrCapture.text(), "");
}

}  // namespace
}  // namespace cuh::linux_desktop
