// The backend's reads against applications that do not play fair: a tree
// with a cycle, 10,000 children, a 1 MiB name and a password field, served
// by our own objects on the bus (fixtures/hostile_app.cc); and the values
// of a real toolkit's widgets, whose password text must never be asked for.
// gtest first: Xlib defines None as a macro.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/linux/accessible_relations.h"
#include "platform/linux/atspi_mapping.h"
#include "platform/linux/element_values.h"
#include "platform/linux/support/desktop_apps.h"
#include "platform/linux/window_matching.h"
#include "platform/linux/x_connection.h"
#include "platform/linux/x_windows.h"

namespace cuh::linux_desktop {
namespace {

using testing::FixtureApp;
using testing::StderrCapture;

size_t logLinesOf(const FixtureApp& app, const char* event) {
  auto lines = app.log();
  return static_cast<size_t>(std::count_if(lines.begin(), lines.end(), [&](const auto& line) {
    return line.value("event", "") == event;
  }));
}

TEST(HostileApplicationDesktopTest, ReadsStayBoundedAndThePasswordIsNeverRead) {
  StderrCapture stderrCapture;
  FixtureApp app({}, CUH_HOSTILE_APP);
  std::string error;
  auto x = XConnection::open(nullptr, &error);
  ASSERT_TRUE(x) << error;
  auto bus = testing::openAccessibilityBus();
  ASSERT_TRUE(bus);
  AtspiClient client(*bus);
  client.beginRequest();
  auto application = testing::applicationOf(client, app.pid());
  ASSERT_TRUE(application);

  // Its window is listed and matched like any application's.
  XWindowReader reader(*x);
  std::optional<XWindowFacts> facts;
  ASSERT_TRUE(testing::waitUntil([&] {
    facts = reader.read(app.window("main"));
    return facts && facts->viewable;
  })) << "window "
      << app.window("main") << " facts " << facts.has_value();
  std::vector<Toplevel> toplevels = readToplevels(client, *application);
  auto matches = matchToplevels({*facts}, toplevels, reader.activeWindow());
  ASSERT_TRUE(matches.front());
  AccessibleRef frame = toplevels[*matches.front()].object;
  EXPECT_EQ(toplevels[*matches.front()].name, "CUH Hostile");

  auto children = client.children(frame);
  ASSERT_TRUE(children);
  ASSERT_EQ(children->size(), 4u);
  const AccessibleRef &loop = (*children)[0], &many = (*children)[1], &longName = (*children)[2],
                      &secret = (*children)[3];
  // 10,000 children come back whole in one reply; a 1 MiB name is never
  // shortened.
  auto items = client.children(many);
  ASSERT_TRUE(items);
  ASSERT_EQ(items->size(), 10000u);
  EXPECT_EQ(client.name(items->back()), "Item 9999");
  auto name = client.name(longName);
  ASSERT_TRUE(name);
  EXPECT_EQ(name->size(), 1024u * 1024u);

  // The cycle: the walk up from it ends without reaching a window; from an
  // ordinary object it reaches the frame.
  EXPECT_EQ(toplevelOf(client, loop), std::nullopt);
  EXPECT_EQ(toplevelOf(client, items->back()), frame);
  // The search for a focused object ends within its bound (nothing is
  // focused here; the cycle and the 10,000 children are on its way).
  EXPECT_EQ(focusedDescendant(client, frame), std::nullopt);

  // The object cache holds every object, the cycle's included. (Read with
  // a longer timeout: this fixture builds its 10,007-object reply more
  // slowly than a toolkit does, and on a loaded machine that can pass 1 s;
  // what is checked here is the reading, not the timeout.)
  AtspiClient patient(*bus, std::chrono::seconds(10));
  auto cached = patient.cacheItems(application->bus);
  ASSERT_TRUE(cached);
  EXPECT_EQ(cached->size(), 10007u);

  // Values of every cached object: the password has none, and its text was
  // never asked for.
  for (const CacheItem& item : *cached) {
    auto value = readValue(client, item.object, item.role, item.interfaces, item.states);
    if (item.object == secret) {
      EXPECT_FALSE(value);
    }
  }
  EXPECT_FALSE(client.applicationFailed(application->bus));
  EXPECT_EQ(logLinesOf(app, "password-read"), 0u);
  client.endRequest();
  EXPECT_EQ(stderrCapture.text(), "");
}

TEST(ElementValuesDesktopTest, TheFixturesWidgetsReadAsTheProtocolSays) {
  StderrCapture stderrCapture;
  FixtureApp app;
  auto bus = testing::openAccessibilityBus();
  ASSERT_TRUE(bus);
  AtspiClient client(*bus);
  ASSERT_TRUE(client.registerWithRegistry());
  auto application = testing::applicationOf(client, app.pid());
  ASSERT_TRUE(application);
  auto items = client.cacheItems(application->bus);
  ASSERT_TRUE(items);
  auto valueOf = [&](const std::string& name) -> std::optional<ElementValue> {
    for (const CacheItem& item : *items) {
      if (item.name == name)
        return readValue(client, item.object, item.role, item.interfaces, item.states);
    }
    ADD_FAILURE() << "no object named " << name;
    return std::nullopt;
  };
  EXPECT_EQ(valueOf("Remember"), ElementValue(0.0));  // an unchecked check box
  EXPECT_EQ(valueOf("Volume"), ElementValue(30.0));   // a slider
  EXPECT_EQ(valueOf("Name"), ElementValue(std::string()));
  EXPECT_EQ(valueOf("Password"), std::nullopt);  // set to "hunter2-secret"
  auto notes = valueOf("Notes");
  ASSERT_TRUE(notes && std::holds_alternative<std::string>(*notes));
  EXPECT_TRUE(std::get<std::string>(*notes).starts_with("Line 1\nLine 2\n"));
  EXPECT_TRUE(std::get<std::string>(*notes).ends_with("Line 200"));

  // GTK focuses the window's first focusable widget when it is shown.
  auto windows = client.children(*application);
  ASSERT_TRUE(windows && !windows->empty());
  auto focused = focusedDescendant(client, windows->front());
  ASSERT_TRUE(focused);
  EXPECT_EQ(client.name(*focused), "Press Me");
  EXPECT_EQ(toplevelOf(client, *focused), windows->front());
  EXPECT_EQ(stderrCapture.text(), "");
}

}  // namespace
}  // namespace cuh::linux_desktop
