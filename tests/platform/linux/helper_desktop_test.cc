// The helper binary on the test desktop (scripts/desktop-session.sh): the
// methods that work for real applications answer with the protocol's
// shapes, the ones that need foreground protection are refused by name,
// and the robustness rules hold (a hung target costs one timeout, a lost X
// server ends the helper with status 0). Every helper must leave standard
// error empty.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "e2e/support/helper_process.h"
#include "platform/linux/support/desktop_apps.h"
#include "platform/linux/support/desktop_helper.h"
#include "platform/linux/support/scoped_environment.h"
#include "platform/linux/x_connection.h"
#include "platform/linux/x_windows.h"

namespace cuh::linux_desktop {
namespace {

using nlohmann::json;
using testing::FixtureApp;
using testing::ScopedEnvironment;

using testing::DesktopHelper;
using testing::findRow;
using testing::observed;
using testing::openX;
using testing::request;
using testing::rowOf;

// Waits until the helper lists `window`; its row.
json waitForRow(DesktopHelper& helper, unsigned long window) {
  json row;
  testing::waitUntil([&] {
    row = rowOf(helper.result(request(1, "list_windows")), window);
    return !row.is_null();
  });
  return row;
}

// Compares the snapshot rows of a GTK 3 application's window (listed as
// `window`) with where the toolkit says its objects are on screen (GTK 3's
// screen extents are true: ElementPositionsDesktopTest clicks them), within
// 1 px, for every row whose title names exactly one object with extents and
// one row. Returns how many rows were compared.
size_t expectWhereTheToolkitDrawsThem(pid_t pid, const json& elements, const json& window) {
  auto bus = testing::openAccessibilityBus();
  EXPECT_TRUE(bus);
  if (!bus)
    return 0;
  AtspiClient client(*bus);
  auto application = testing::applicationOf(client, pid);
  EXPECT_TRUE(application);
  if (!application)
    return 0;
  std::map<std::string, std::vector<BusExtents>> truth;
  std::vector<AccessibleRef> queue{*application};
  for (size_t i = 0; i < queue.size() && i < 2000; ++i) {
    std::string name = client.name(queue[i]).value_or("");
    auto extents = client.extents(queue[i], CoordType::screen);
    if (!name.empty() && extents && extents->width > 0 && extents->height > 0)
      truth[name].push_back(*extents);
    if (auto children = client.children(queue[i]))
      queue.insert(queue.end(), children->begin(), children->end());
  }
  std::map<std::string, int> rowsNamed;
  for (const json& element : elements)
    ++rowsNamed[element["title"].get<std::string>()];
  size_t compared = 0;
  for (const json& element : elements) {
    std::string title = element["title"].get<std::string>();
    auto found = truth.find(title);
    if (found == truth.end() || found->second.size() != 1 || rowsNamed[title] != 1 ||
        !element.contains("x"))
      continue;
    SCOPED_TRACE(element.dump());
    const BusExtents& where = found->second.front();
    EXPECT_NEAR(element["x"].get<double>() + window["x"].get<double>(), where.x, 1);
    EXPECT_NEAR(element["y"].get<double>() + window["y"].get<double>(), where.y, 1);
    EXPECT_NEAR(element["width"].get<double>(), where.width, 1);
    EXPECT_NEAR(element["height"].get<double>(), where.height, 1);
    ++compared;
  }
  return compared;
}

TEST(HelperDesktopTest, ListsWindowsAsXReportsThemAndXtermToo) {
  FixtureApp app;
  FixtureApp tools({"--title", "Second Fixture", "--non-unique", "--second-window"});
  testing::ChildProcess xterm({"xterm", "-title", "Plain Xterm"});
  auto x = openX();
  ASSERT_TRUE(x);
  XWindowReader reader(*x);
  DesktopHelper helper;

  // Every managed window with a pid is listed, front to back as the
  // stacking list says, with R as its frame; xterm has no accessibility
  // and is listed all the same.
  std::vector<XWindowFacts> expected;
  json windows;
  ASSERT_TRUE(testing::waitUntil([&] {
    expected.clear();
    for (const XWindowFacts& facts : reader.windowList()) {
      if (facts.pid && *facts.pid == xterm.pid())
        expected.push_back(facts);
    }
    if (expected.empty())
      return false;
    windows = helper.result(request(1, "list_windows"));
    return !rowOf(windows, expected.front().id).is_null();
  })) << "xterm was never listed";

  // Windows of the second fixture may still be appearing: compared once
  // the helper's listing and the server's agree on the windows.
  std::vector<XWindowFacts> listed;
  ASSERT_TRUE(testing::waitUntil([&] {
    listed.clear();
    for (const XWindowFacts& facts : reader.windowList()) {
      if (!facts.overrideRedirect && facts.rectangle().width > 1 && facts.rectangle().height > 1)
        listed.push_back(facts);
    }
    windows = helper.result(request(2, "list_windows"));
    if (windows["windows"].size() != listed.size())
      return false;
    for (size_t i = 0; i < listed.size(); ++i) {
      if (windows["windows"][i]["windowId"] != listed[i].id)
        return false;
    }
    return true;
  })) << windows.dump();
  for (size_t i = 0; i < listed.size(); ++i) {
    const json& row = windows["windows"][i];
    const XWindowFacts& facts = listed[i];
    SCOPED_TRACE(row.dump());
    PixelRect r = facts.rectangle();
    EXPECT_EQ(row["windowId"], facts.id);
    EXPECT_EQ(row["pid"], *facts.pid);
    EXPECT_EQ(row["title"], facts.name.value_or(""));
    EXPECT_EQ(row["zOrder"], i);
    EXPECT_EQ(row["x"], r.x);
    EXPECT_EQ(row["y"], r.y);
    EXPECT_EQ(row["width"], r.width);
    EXPECT_EQ(row["height"], r.height);
    EXPECT_EQ(row["onScreen"], true);
  }
  json fixtureRow = rowOf(windows, app.window("main"));
  EXPECT_EQ(fixtureRow["owner"], "CUH Fixture");
  EXPECT_EQ(fixtureRow["bundleId"], "dev.cuh.Fixture");
  json xtermRow = rowOf(windows, expected.front().id);
  EXPECT_EQ(xtermRow["title"], "Plain Xterm");
  EXPECT_EQ(xtermRow["owner"], "XTerm");
  EXPECT_EQ(xtermRow["focused"], false);  // no accessibility: nothing to match

  // window_info: the same frame, and the owner checked.
  json info = helper.result(request(3, "window_info", {{"windowId", app.window("main")}}));
  EXPECT_EQ(info["ownerPid"], app.pid());
  EXPECT_EQ(info["bounds"]["x"], fixtureRow["x"]);
  EXPECT_EQ(info["bounds"]["width"], fixtureRow["width"]);

  // A popup of the application is in front of every window on X, on a
  // layer of its own: never a row, and the rows keep their order.
  app.command("popup");
  auto shown = app.waitFor({{"event", "popup-shown"}});
  ASSERT_TRUE(shown);
  unsigned long popup = (*shown)["window"].get<unsigned long>();
  ASSERT_TRUE(testing::waitUntil([&] {
    auto list = reader.windowList();
    return !list.empty() && list.front().id == popup;
  })) << "the popup never showed on X";
  json withPopup = helper.result(request(4, "list_windows"));
  EXPECT_TRUE(rowOf(withPopup, popup).is_null());
  ASSERT_EQ(withPopup["windows"].size(), listed.size());
  for (size_t i = 0; i < listed.size(); ++i)
    EXPECT_EQ(withPopup["windows"][i]["windowId"], listed[i].id);
}

TEST(HelperDesktopTest, NamesIdentifiesAndDrawsTheApplications) {
  FixtureApp app;
  testing::ChildProcess xterm({"xterm", "-title", "Plain Xterm"});
  DesktopHelper helper;
  json apps;
  json fixture, terminal;
  ASSERT_TRUE(testing::waitUntil([&] {
    apps = helper.result(request(1, "list_apps"));
    fixture = terminal = json();
    for (const json& row : apps["apps"]) {
      if (row["pid"] == app.pid())
        fixture = row;
      if (row["pid"] == xterm.pid())
        terminal = row;
    }
    return !fixture.is_null() && !terminal.is_null();
  })) << apps.dump();
  // The desktop file names and places the fixture; xterm (no desktop file
  // on the test desktop's data directories? it has one in /usr/share) is
  // named either way, and its path is a file.
  EXPECT_EQ(fixture["name"], "CUH Fixture");
  EXPECT_EQ(fixture["bundleId"], "dev.cuh.Fixture");
  EXPECT_THAT(fixture["path"].get<std::string>(),
              ::testing::EndsWith("/applications/dev.cuh.Fixture.desktop"));
  EXPECT_EQ(fixture["isFinishedLaunching"], true);
  EXPECT_FALSE(terminal["name"].get<std::string>().empty());
  ASSERT_TRUE(terminal.contains("path"));
  EXPECT_EQ(access(terminal["path"].get<std::string>().c_str(), R_OK), 0);

  // Icons: the desktop file's theme icon and an executable's.
  for (const json& row : {fixture, terminal}) {
    json icon = helper.result(request(2, "app_icon", {{"path", row["path"]}, {"pixels", 32}}));
    std::string base64 = icon.value("base64", "");
    // A PNG's signature, Base64 encoded.
    EXPECT_TRUE(base64.starts_with("iVBORw0KGgo")) << row.dump();
  }
}

TEST(HelperDesktopTest, SnapshotsTheFixtureWhereItsElementsAre) {
  FixtureApp app;
  DesktopHelper helper;
  json row = waitForRow(helper, app.window("main"));
  ASSERT_FALSE(row.is_null());
  json tree = helper.result(request(2, "accessibility_tree", observed(row)));
  const json& elements = tree["elements"];
  ASSERT_GT(elements.size(), 10u) << tree.dump();
  EXPECT_EQ(elements[0]["role"], "AXWindow");
  EXPECT_EQ(elements[0]["subrole"], "AXStandardWindow");
  EXPECT_EQ(elements[0]["title"], "CUH Fixture");
  EXPECT_EQ(elements[0]["width"], row["width"]);
  EXPECT_EQ(elements[0]["height"], row["height"]);

  struct Expected {
    const char* role;
    const char* title;
    const char* subrole;
    std::optional<std::string> value;
  };
  const Expected table[] = {
      {"AXButton", "Press Me", "", std::nullopt},
      {"AXTextField", "Name", "", ""},
      {"AXTextField", "Password", "AXSecureTextField", ""},  // never read
      {"AXCheckBox", "Remember", "", "0"},
      {"AXSlider", "Volume", "", "30"},
      {"AXStaticText", "Status", "", "Ready"},
  };
  for (const Expected& expected : table) {
    json element = findRow(elements, expected.role, expected.title);
    ASSERT_FALSE(element.is_null()) << expected.title << " in " << tree.dump();
    EXPECT_EQ(element["subrole"], expected.subrole) << expected.title;
    if (expected.value) {
      EXPECT_EQ(element["value"], *expected.value) << expected.title;
    }
    EXPECT_EQ(element["enabled"], true);
  }
  EXPECT_EQ(findRow(elements, "AXTextField", "Name")["placeholder"], "Type a name");
  json press = findRow(elements, "AXButton", "Press Me");
  EXPECT_THAT(press["actions"], ::testing::Contains("AXPress"));
  EXPECT_EQ(findRow(elements, "AXSlider", "Volume")["valueSettable"], true);

  // Geometry: where GTK itself says each element is.
  EXPECT_GE(expectWhereTheToolkitDrawsThem(app.pid(), elements, row), 6u);
}

TEST(HelperDesktopTest, SnapshotsTheWidgetFactoryWhereItsElementsAre) {
  testing::ChildProcess factory({"gtk3-widget-factory"});
  DesktopHelper helper;
  json row;
  json elements;
  json windows;
  // Its window first shows with few widgets on the bus, and may still
  // change its size between the listing and the snapshot (the snapshot
  // then answers that it resized: asked again).
  ASSERT_TRUE(testing::waitUntil(
      [&] {
        row = json();
        windows = helper.result(request(1, "list_windows"));
        for (const json& candidate : windows["windows"]) {
          if (candidate["pid"] == factory.pid())
            row = candidate;
        }
        if (row.is_null())
          return false;
        auto snapshot = helper.request(request(2, "accessibility_tree", observed(row)));
        if (!snapshot || !snapshot->value("ok", false))
          return false;
        elements = (*snapshot)["result"]["elements"];
        return elements.size() >= 200;
      },
      std::chrono::seconds(30)))
      << elements.size() << " rows; pid " << factory.pid() << ", " << windows.dump();
  EXPECT_EQ(elements[0]["role"], "AXWindow");
  EXPECT_EQ(elements[0]["width"], row["width"]);
  // Roles of the mapping met on its first page.
  std::set<std::string> roles;
  for (const json& element : elements)
    roles.insert(element["role"].get<std::string>());
  for (const char* role : {"AXButton", "AXCheckBox", "AXRadioButton", "AXTextField", "AXSlider",
                           "AXIncrementor", "AXProgressIndicator", "AXComboBox"})
    EXPECT_TRUE(roles.count(role)) << role;
  EXPECT_GE(expectWhereTheToolkitDrawsThem(factory.pid(), elements, row), 15u);
}

// A hostile tree (a cycle, 10,000 children, a 1 MiB name, a password
// field), served by our own objects on the bus: the snapshot keeps its
// limits, finishes, and never reads the password.
TEST(HelperDesktopTest, SnapshotOfAHostileTreeKeepsItsLimits) {
  FixtureApp app({}, CUH_HOSTILE_APP);
  DesktopHelper helper;
  json row = waitForRow(helper, app.window("main"));
  ASSERT_FALSE(row.is_null());
  json tree = helper.result(request(2, "accessibility_tree", observed(row)), 30);
  const json& elements = tree["elements"];
  ASSERT_TRUE(elements.is_array()) << tree.dump().substr(0, 2000);
  EXPECT_GT(elements.size(), 1u);
  EXPECT_LE(elements.size(), 600u);  // the snapshot's row limit
  bool sawPassword = false;
  for (const json& element : elements) {
    if (element["subrole"] == "AXSecureTextField") {
      sawPassword = true;
      EXPECT_EQ(element["value"], "");
    }
  }
  EXPECT_TRUE(sawPassword);
  for (const json& line : app.log())
    EXPECT_NE(line.value("event", ""), "password-read") << line.dump();
}

TEST(HelperDesktopTest, ResolvesAnElementAfterTheWindowMovedAndNotAfterItWentAway) {
  FixtureApp app;
  DesktopHelper helper;
  json row = waitForRow(helper, app.window("main"));
  ASSERT_FALSE(row.is_null());
  json elements = helper.result(request(2, "accessibility_tree", observed(row)))["elements"];
  json press = findRow(elements, "AXButton", "Press Me");
  json remember = findRow(elements, "AXCheckBox", "Remember");
  ASSERT_FALSE(press.is_null());
  ASSERT_FALSE(remember.is_null());

  app.command("move 200 150");
  ASSERT_TRUE(app.waitFor({{"event", "moved"}}));
  json moved;
  ASSERT_TRUE(testing::waitUntil([&] {
    moved = waitForRow(helper, app.window("main"));
    return moved["x"] != row["x"] || moved["y"] != row["y"];
  })) << "the window never moved: "
      << row.dump();

  json params = observed(moved);
  params["element"] = press;
  json resolved = helper.result(request(3, "resolve_element", params));
  EXPECT_EQ(resolved["windowX"], moved["x"]);
  EXPECT_EQ(resolved["windowY"], moved["y"]);
  EXPECT_NEAR(resolved["targetX"].get<double>(),
              press["x"].get<double>() + press["width"].get<double>() / 2, 1);
  EXPECT_NEAR(resolved["targetY"].get<double>(),
              press["y"].get<double>() + press["height"].get<double>() / 2, 1);

  app.command("remove Remember");
  ASSERT_TRUE(app.waitFor({{"event", "removed"}}));
  params["element"] = remember;
  EXPECT_EQ(helper.error(request(4, "resolve_element", params)),
            "The indexed accessibility element is no longer present. Call get_app_state again");
}

TEST(HelperDesktopTest, MethodsThatProtectATargetReachTheirOwnChecks) {
  DesktopHelper helper;
  // No longer refused by name: each reads its parameters and finds the
  // window gone, as on every desktop.
  const json window = {{"pid", 1}, {"windowId", 2}, {"width", 10}, {"height", 10}};
  EXPECT_EQ(helper.error(request(1, "begin_guard", window)),
            "The observed macOS guard window disappeared. Call get_app_state again");
  json click = window;
  click.update({{"x", 1}, {"y", 1}, {"button", "left"}, {"clickCount", 1}});
  EXPECT_THAT(helper.error(request(2, "click", click)), ::testing::HasSubstr("get_app_state"));
  // The rest of the lifecycle answers as everywhere (no lease to end).
  EXPECT_EQ(helper.result(request(3, "ping")), (json{{"ready", true}}));
  EXPECT_EQ(helper.error(request(4, "end_guard", {{"token", "none"}})),
            "No macOS foreground guard lease is active");
  EXPECT_EQ(helper.result(request(5, "release")), (json{{"released", true}}));
}

TEST(HelperDesktopTest, LaunchesMousepadInTheBackgroundByIdentifierAndByName) {
  FixtureApp user({"--title", "User Window"});
  auto x = openX();
  ASSERT_TRUE(x);
  XWindowReader reader(*x);
  ASSERT_TRUE(testing::waitUntil([&] { return reader.activeWindow() == user.window("main"); }));
  DesktopHelper helper;

  json first = helper.result(request(1, "launch_app", {{"app", "org.xfce.mousepad"}}), 15);
  ASSERT_EQ(first["launched"], true);
  int pid = first["pid"].get<int>();
  ASSERT_GT(pid, 0);
  // Its window is listed, and the user's window stayed (or is again) the
  // active one.
  json windows = helper.result(request(2, "list_windows"));
  bool listed = false;
  for (const json& row : windows["windows"])
    listed = listed || row["pid"] == pid;
  EXPECT_TRUE(listed) << windows.dump();
  // The window manager activates a new window as it maps it; the helper
  // gives the foreground back at once (a window of the launch that takes
  // it later within the launch's grace period too).
  auto userActive = [&] { return reader.activeWindow() == user.window("main"); };
  EXPECT_TRUE(testing::waitUntil(userActive, std::chrono::milliseconds(500)));
  usleep(1000 * 1000);
  EXPECT_TRUE(userActive()) << "active: " << reader.activeWindow().value_or(0);

  // By name: mousepad is single-instance; the running one takes the launch.
  json second = helper.result(request(3, "launch_app", {{"app", "Mousepad"}}), 15);
  EXPECT_EQ(second["pid"], pid);
  EXPECT_TRUE(testing::waitUntil(userActive, std::chrono::milliseconds(500)));
  usleep(1000 * 1000);
  EXPECT_TRUE(userActive()) << "active: " << reader.activeWindow().value_or(0);
  // Gone before the next test, whose windows its windows could cover.
  kill(pid, SIGTERM);
  EXPECT_TRUE(testing::waitUntil([&] { return kill(pid, 0) != 0; }));

  EXPECT_EQ(helper.error(request(4, "launch_app", {{"app", "/no/such/app.desktop"}})),
            "The file \xE2\x80\x9C"
            "app.desktop\xE2\x80\x9D couldn\xE2\x80\x99t be opened because "
            "there is no such file.");
  EXPECT_EQ(helper.error(request(5, "launch_app", {{"app", "no.such.identifier"}})),
            "App not found: no.such.identifier");
}

TEST(HelperDesktopTest, TrustFollowsTheAccessibilityBus) {
  {
    DesktopHelper helper;
    EXPECT_EQ(helper.result(request(1, "accessibility_status")), (json{{"trusted", true}}));
  }
  // No bus where the address says: not trusted, and no start-up error.
  ScopedEnvironment bus("AT_SPI_BUS_ADDRESS", "unix:path=/nonexistent/cuh-bus");
  DesktopHelper helper;
  EXPECT_EQ(helper.result(request(1, "accessibility_status")), (json{{"trusted", false}}));
  EXPECT_EQ(helper.result(request(2, "list_windows")).is_object(), true);
}

TEST(HelperDesktopTest, AHungTargetCostsOneTimeoutAndAKilledOneAnswersToo) {
  FixtureApp app;
  DesktopHelper helper;
  json row = waitForRow(helper, app.window("main"));
  ASSERT_FALSE(row.is_null());
  json params = observed(row);

  app.process().signal(SIGSTOP);
  auto started = std::chrono::steady_clock::now();
  auto response = helper.request(request(2, "accessibility_tree", params), 20);
  double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  ASSERT_TRUE(response);
  // One timeout (1 s) per hung application, not one per call.
  EXPECT_LT(seconds, 3.5) << response->dump();

  // Killed while the helper waits on it: the request is answered (the
  // window is gone: a failure) within that one timeout.
  started = std::chrono::steady_clock::now();
  ASSERT_TRUE(helper.writeLine(request(3, "accessibility_tree", params).dump()));
  usleep(300 * 1000);
  app.process().signal(SIGKILL);
  response = helper.readJson(20);
  seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  ASSERT_TRUE(response);
  EXPECT_EQ((*response)["id"], 3);
  EXPECT_LT(seconds, 3.5) << response->dump();

  // Gone before it is asked: an answer, not a hang.
  response = helper.request(request(4, "accessibility_tree", params), 20);
  ASSERT_TRUE(response);
  EXPECT_FALSE(response->value("ok", true));
}

TEST(HelperDesktopTest, ABadDisplayIsNamedAndALostServerEndsTheHelperQuietly) {
  {
    ScopedEnvironment display("DISPLAY", ":4711");
    e2e::HelperProcess helper(std::vector<std::string>{});
    EXPECT_EQ(helper.waitForExit(), std::optional<int>(2));
    std::string text = helper.stderrText();
    EXPECT_THAT(text, ::testing::HasSubstr(":4711"));
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
  }

  // A private X server of this test, killed under the helper.
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  std::string fd = std::to_string(fds[1]);
  testing::ChildProcess server(
      {"Xvfb", "-displayfd", fd, "-nolisten", "tcp", "-screen", "0", "320x240x24"});
  close(fds[1]);
  char number[16] = {};
  ssize_t n = read(fds[0], number, sizeof number - 1);
  close(fds[0]);
  ASSERT_GT(n, 0);
  std::string name = ":" + std::string(number, strcspn(number, "\n"));
  ScopedEnvironment display("DISPLAY", name.c_str());
  e2e::HelperProcess helper(std::vector<std::string>{});
  EXPECT_EQ(helper.request(request(1, "ping")),
            (json{{"id", 1}, {"ok", true}, {"result", {{"ready", true}}}}));
  server.signal(SIGKILL);
  server.end();
  EXPECT_EQ(helper.waitForExit(10), std::optional<int>(0));
  EXPECT_EQ(helper.stderrText(), "");
}

}  // namespace
}  // namespace cuh::linux_desktop
