// Background input and foreground protection on the test desktop: the
// helper clicks, drags, scrolls and types into the fixture while mousepad
// is the user's active window, and after every test the active window, the
// stacking order and the pointer are what they were, and the helper
// printed nothing. What the fixture received is read from its log.
// gtest goes before the X headers, whose None macro breaks it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/linux/foreground_giveback.h"
#include "platform/linux/support/desktop_apps.h"
#include "platform/linux/support/desktop_helper.h"
#include "platform/linux/support/foreground_check.h"
#include "platform/linux/x_windows.h"

namespace cuh::linux_desktop {
namespace {

using nlohmann::json;
using testing::ChildProcess;
using testing::DesktopHelper;
using testing::FixtureApp;
using testing::request;

// The keys and flags of the protocol (macOS virtual key codes).
constexpr int kKeyA = 0x00;
constexpr int kKeyB = 0x0B;
constexpr int kKeySection = 0x0A;  // the ISO key a US layout has no keysym for
constexpr int kFlagShift = 0x20000;

class BackgroundInputDesktopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    app_ = std::make_unique<FixtureApp>();
    x_ = testing::openX();
    ASSERT_TRUE(x_);
    // The user's window: mousepad, started last, so the window manager
    // makes it the active one.
    mousepad_ = std::make_unique<ChildProcess>(std::vector<std::string>{"mousepad"});
    XWindowReader reader(*x_);
    ASSERT_TRUE(testing::waitUntil(
        [&] {
          auto active = reader.activeWindow();
          if (!active)
            return false;
          auto pid = reader.cardinals(*active, "_NET_WM_PID");
          return pid && !pid->empty() && static_cast<pid_t>((*pid)[0]) == mousepad_->pid();
        },
        std::chrono::seconds(20)))
        << "mousepad did not become the active window";
    userWindow_ = *reader.activeWindow();
    // The pointer rests on the user's window, where the test puts it.
    auto facts = reader.read(userWindow_);
    ASSERT_TRUE(facts);
    const PixelRect r = facts->rectangle();
    movePointer({static_cast<int>(r.x + r.width / 2), static_cast<int>(r.y + r.height / 2)});
    before_ = readForeground(*x_);
    auto pointerBefore = pointer();
    ASSERT_TRUE(pointerBefore);
    pointerBefore_ = *pointerBefore;

    helper_ = std::make_unique<DesktopHelper>();
    ASSERT_TRUE(testing::waitUntil([&] {
      row_ = testing::rowOf(helper_->result(request(1, "list_windows")), app_->window("main"));
      return !row_.is_null();
    }));
    elements_ =
        helper_->result(request(2, "accessibility_tree", testing::observed(row_)))["elements"];
  }

  void TearDown() override {
    helper_.reset();  // it must exit with status 0 and an empty standard error
    testing::expectForegroundKept(before_, readForeground(*x_));
    EXPECT_EQ(pointer(), std::optional<RootPoint>(pointerBefore_));
  }

  std::optional<RootPoint> pointer() { return XWindowReader(*x_).pointer(); }
  void movePointer(RootPoint where) {
    XTestFakeMotionEvent(x_->display(), -1, where.x, where.y, CurrentTime);
    XSync(x_->display(), False);
  }

  // The centre of the snapshot row with this role and title, relative to
  // the window.
  std::pair<double, double> centreOf(const std::string& role, const std::string& title) {
    json row = testing::findRow(elements_, role, title);
    EXPECT_FALSE(row.is_null()) << role << " " << title;
    if (row.is_null())
      return {0, 0};
    return {row["x"].get<double>() + row["width"].get<double>() / 2,
            row["y"].get<double>() + row["height"].get<double>() / 2};
  }

  json params(json extra) {
    json p = testing::observed(row_);
    p.update(extra);
    return p;
  }
  json click(const std::string& role,
             const std::string& title,
             const std::string& button = "left",
             int count = 1) {
    auto [cx, cy] = centreOf(role, title);
    return params({{"x", cx}, {"y", cy}, {"button", button}, {"clickCount", count}});
  }
  json key(int code, int flags, const std::string& name) {
    auto [cx, cy] = centreOf("AXTextField", "Name");
    return params({{"x", cx}, {"y", cy}, {"keyName", name}, {"keyCode", code}, {"flags", flags}});
  }

  // Waits for a line of the fixture's log from index `since` on with these fields.
  bool waitForLine(size_t since, const json& fields) {
    return testing::waitUntil([&] { return !app_->linesSince(since, fields).empty(); });
  }

  std::unique_ptr<FixtureApp> app_;
  std::unique_ptr<XConnection> x_;
  std::unique_ptr<ChildProcess> mousepad_;
  std::unique_ptr<DesktopHelper> helper_;
  ::Window userWindow_ = 0;
  ForegroundState before_;
  RootPoint pointerBefore_;
  json row_;
  json elements_;
};

TEST_F(BackgroundInputDesktopTest, AClickFiresAButtonOnceAndTwoRequestsNeverMerge) {
  size_t start = app_->log().size();
  json first = helper_->result(request(3, "click", click("AXButton", "Press Me")));
  EXPECT_EQ(first["delivery"], "deliveredUnverified") << first.dump();
  ASSERT_TRUE(waitForLine(start, {{"event", "clicked"}, {"widget", "Press Me"}}));
  EXPECT_EQ(app_->linesSince(start, {{"event", "clicked"}}).size(), 1u);
  // The window was told it has the keyboard for the request, and told it
  // lost it after.
  EXPECT_TRUE(waitForLine(start, {{"event", "focus-out"}, {"window", "main"}}));

  // Two single clicks in a row on the same spot: two presses, never a
  // double press.
  size_t area = app_->log().size();
  helper_->result(request(4, "click", click("AXGroup", "Click Area")));
  helper_->result(request(5, "click", click("AXGroup", "Click Area")));
  ASSERT_TRUE(testing::waitUntil([&] {
    return app_->linesSince(area, {{"event", "button-release"}}).size() == 2;
  }));
  auto presses = app_->linesSince(area, {{"event", "button-press"}});
  ASSERT_EQ(presses.size(), 2u);
  for (const json& press : presses) {
    EXPECT_EQ(press["type"], "press");
    EXPECT_EQ(press["button"], 1);
  }
  EXPECT_GT(presses[1]["time"].get<int64_t>() - presses[0]["time"].get<int64_t>(), 400);
}

TEST_F(BackgroundInputDesktopTest, ADoubleClickIsPressPressAndOneDoublePress) {
  size_t start = app_->log().size();
  helper_->result(request(3, "click", click("AXGroup", "Click Area", "left", 2)));
  ASSERT_TRUE(testing::waitUntil([&] {
    return app_->linesSince(start, {{"event", "button-release"}}).size() == 2;
  }));
  std::vector<std::string> types;
  for (const json& press : app_->linesSince(start, {{"event", "button-press"}}))
    types.push_back(press["type"]);
  EXPECT_EQ(types, (std::vector<std::string>{"press", "press", "double-press"}));
}

TEST_F(BackgroundInputDesktopTest, ADragMovesTheSlider) {
  json slider = testing::findRow(elements_, "AXSlider", "Volume");
  ASSERT_FALSE(slider.is_null());
  const double y = slider["y"].get<double>() + slider["height"].get<double>() / 2;
  const double left = slider["x"].get<double>();
  const double width = slider["width"].get<double>();
  size_t start = app_->log().size();
  // From the knob at 30 % to 80 % of the track.
  helper_->result(request(
      3, "drag",
      params(
          {{"fromX", left + width * 0.3}, {"fromY", y}, {"toX", left + width * 0.8}, {"toY", y}})));
  ASSERT_TRUE(waitForLine(start, {{"event", "value-changed"}, {"widget", "Volume"}}));
  ASSERT_TRUE(testing::waitUntil([&] {
    auto values = app_->linesSince(start, {{"event", "value-changed"}, {"widget", "Volume"}});
    return values.back()["value"].get<double>() >= 60;
  })) << app_->log().back().dump();
}

TEST_F(BackgroundInputDesktopTest, ScrollingMovesTheTextViewByLinesAndByPixels) {
  auto [cx, cy] = centreOf("AXTextArea", "Notes");
  size_t start = app_->log().size();
  helper_->result(request(3, "scroll", params({{"x", cx}, {"y", cy}, {"dx", 0}, {"dy", 3}})));
  ASSERT_TRUE(waitForLine(start, {{"event", "value-changed"}, {"widget", "Notes Scroll"}}));
  double down = app_->linesSince(start, {{"event", "value-changed"}, {"widget", "Notes Scroll"}})
                    .back()["value"]
                    .get<double>();
  EXPECT_GT(down, 0);
  // Back up by wheel steps of 40 pixels: at the top again.
  size_t back = app_->log().size();
  helper_->result(request(4, "scroll", params({{"x", cx}, {"y", cy}, {"dx", 0}, {"dy", -4000}})));
  EXPECT_TRUE(testing::waitUntil([&] {
    auto values = app_->linesSince(back, {{"event", "value-changed"}, {"widget", "Notes Scroll"}});
    return !values.empty() && values.back()["value"].get<double>() == 0;
  }));
}

TEST_F(BackgroundInputDesktopTest, TypingWithModifiersLandsInTheEntryAndAKeyWithoutKeyIsRefused) {
  // A click into the entry gives it the toolkit's focus.
  helper_->result(request(3, "click", click("AXTextField", "Name")));
  size_t start = app_->log().size();
  helper_->result(request(4, "key", key(kKeyA, kFlagShift, "a")));
  helper_->result(request(5, "key", key(kKeyB, 0, "b")));
  ASSERT_TRUE(waitForLine(start, {{"event", "changed"}, {"widget", "Name"}, {"text", "Ab"}}))
      << app_->log().back().dump();
  // Shift went down before the key and is in the key's state.
  auto keys = app_->linesSince(start, {{"event", "key-press"}});
  ASSERT_GE(keys.size(), 3u);
  EXPECT_EQ(keys[0]["keyval"], "Shift_L");
  EXPECT_EQ(keys[1]["keyval"], "A");
  EXPECT_EQ(keys[1]["state"].get<int>() & ShiftMask, ShiftMask);
  EXPECT_EQ(keys[2]["keyval"], "b");
  EXPECT_EQ(keys[2]["state"].get<int>() & ShiftMask, 0);

  size_t refused = app_->log().size();
  EXPECT_EQ(helper_->error(request(6, "key", key(kKeySection, 0, "section"))),
            "The key has no key code on this desktop's keyboard; no key was sent");
  EXPECT_TRUE(app_->linesSince(refused, {{"event", "key-press"}}).empty());
}

TEST_F(BackgroundInputDesktopTest, PointsOnTheFrameAndHugeScrollsAreRefusedWithNothingSent) {
  // The window rectangle includes the window manager's title bar: its top
  // rows are outside the fixture's own window.
  auto [cx, cy] = centreOf("AXGroup", "Click Area");
  const struct {
    const char* method;
    json params;
    const char* error;
  } cases[] = {
      {"click",
       {{"x", 40}, {"y", 3}, {"button", "left"}, {"clickCount", 1}},
       "The point lies on the window's frame (title bar or edge), where the click would move or "
       "raise the window; no click was sent"},
      {"drag",
       {{"fromX", 40}, {"fromY", 3}, {"toX", cx}, {"toY", cy}},
       "The point lies on the window's frame (title bar or edge), where the drag would move or "
       "raise the window; no drag was sent"},
      {"scroll",
       {{"x", cx}, {"y", cy}, {"dx", 0}, {"dy", 2000000}},
       "The scroll is larger than this desktop sends at once; no scroll was sent"},
  };
  int id = 3;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.method);
    size_t start = app_->log().size();
    EXPECT_EQ(helper_->error(request(id++, c.method, params(c.params))), c.error);
    EXPECT_TRUE(app_->linesSince(start, {{"event", "button-press"}}).empty());
    EXPECT_TRUE(app_->linesSince(start, {{"event", "scroll"}}).empty());
  }
}

TEST_F(BackgroundInputDesktopTest, AWindowThatPresentsItselfDuringAClickIsPutBack) {
  size_t start = app_->log().size();
  // The button presents the fixture's second window, which the window
  // manager activates and raises; the helper gives the user's window back.
  auto response = helper_->request(request(3, "click", click("AXButton", "Present Tools")));
  ASSERT_TRUE(response);
  ASSERT_TRUE(waitForLine(start, {{"event", "window-shown"}, {"window", "tools"}}));
  // It did take the foreground: the window manager activated it.
  EXPECT_TRUE(waitForLine(start, {{"event", "active"}, {"window", "tools"}, {"value", true}}));
  // Either the user's window was back before the verification, or the
  // request says it may have completed; never a silent success while the
  // dialog holds the foreground.
  if (!response->value("ok", false)) {
    EXPECT_THAT(response->value("error", ""), ::testing::HasSubstr("cannot be safely retried"));
  }
  EXPECT_TRUE(testing::waitUntil([&] { return XWindowReader(*x_).activeWindow() == userWindow_; },
                                 std::chrono::seconds(2)));
}

TEST_F(BackgroundInputDesktopTest, ARightClickThatOpensAMenuLeavesNoPopupAndNoGrab) {
  size_t start = app_->log().size();
  EXPECT_EQ(helper_->error(request(3, "click", click("AXGroup", "Click Area", "right"))),
            "The target app opened a popup menu, which was closed again; the click may have "
            "taken effect and cannot be safely retried");
  EXPECT_TRUE(waitForLine(start, {{"event", "popup-shown"}, {"popup", "context menu"}}));
  EXPECT_TRUE(waitForLine(start, {{"event", "popup-hidden"}, {"popup", "context menu"}}));
  // Nothing holds the pointer or the keyboard.
  EXPECT_TRUE(testing::waitUntil([&] {
    int pointerGrab = XGrabPointer(x_->display(), x_->root(), False, ButtonPressMask, GrabModeAsync,
                                   GrabModeAsync, None, None, CurrentTime);
    int keyboardGrab =
        XGrabKeyboard(x_->display(), x_->root(), False, GrabModeAsync, GrabModeAsync, CurrentTime);
    XUngrabPointer(x_->display(), CurrentTime);
    XUngrabKeyboard(x_->display(), CurrentTime);
    XSync(x_->display(), False);
    return pointerGrab == GrabSuccess && keyboardGrab == GrabSuccess;
  }));
  // No popup of the fixture is left on screen.
  XWindowReader reader(*x_);
  for (::Window popup : reader.overrideRedirectPopups()) {
    auto facts = reader.read(popup);
    EXPECT_FALSE(facts && facts->pid == app_->pid()) << "popup " << popup << " still mapped";
  }
}

// A toolkit under load may map a popup after the request that opened it
// has been answered; one of the target that maps within a second after
// input was sent to it is closed all the same.
TEST_F(BackgroundInputDesktopTest, APopupThatMapsJustAfterTheRequestIsClosedToo) {
  helper_->result(request(3, "click", click("AXButton", "Press Me")));
  size_t start = app_->log().size();
  app_->command("popup");
  ASSERT_TRUE(waitForLine(start, {{"event", "popup-shown"}, {"popup", "dropdown"}}));
  EXPECT_TRUE(waitForLine(start, {{"event", "popup-hidden"}, {"popup", "dropdown"}}));
}

TEST_F(BackgroundInputDesktopTest, InputIntoTheTargetIsTheUserActingTypingIntoTheirOwnIsNot) {
  json lease = helper_->result(request(3, "begin_guard", testing::observed(row_)));
  ASSERT_TRUE(lease.contains("token"));
  // Typing into the user's own window while the lease holds (a key that
  // changes nothing there).
  const KeyCode a = XKeysymToKeycode(x_->display(), XK_Right);
  XTestFakeKeyEvent(x_->display(), a, True, CurrentTime);
  XTestFakeKeyEvent(x_->display(), a, False, CurrentTime);
  XSync(x_->display(), False);
  json ended = helper_->result(request(4, "end_guard", {{"token", lease["token"]}}));
  EXPECT_EQ(ended["userIntervened"], false) << ended.dump();
  EXPECT_EQ(ended["foregroundPreserved"], true);
  EXPECT_EQ(ended["guardHealthy"], true);

  // The wheel over the target while a lease holds. The pointer stays there
  // until the fixture's log says the wheel arrived and the lease ended (the
  // helper judges the device's event by where the pointer is when it reads
  // the event, at the latest when it reports), and only then goes back.
  auto [cx, cy] = centreOf("AXGroup", "Click Area");
  size_t start = app_->log().size();
  json lease2 = helper_->result(request(6, "begin_guard", testing::observed(row_)));
  movePointer({static_cast<int>(row_["x"].get<double>() + cx),
               static_cast<int>(row_["y"].get<double>() + cy)});
  XTestFakeButtonEvent(x_->display(), 5, True, CurrentTime);
  XTestFakeButtonEvent(x_->display(), 5, False, CurrentTime);
  XSync(x_->display(), False);
  EXPECT_TRUE(waitForLine(start, {{"event", "scroll"}}));
  json ended2 = helper_->result(request(7, "end_guard", {{"token", lease2["token"]}}));
  movePointer(pointerBefore_);
  EXPECT_EQ(ended2["userIntervened"], true) << ended2.dump();
  EXPECT_EQ(ended2["guardHealthy"], false);
}

// A window that draws its own frame (a GTK header bar): the border around
// it, the header bar's empty part and its title belong to the window, not
// to a widget; a press there would move, resize or maximize it. Its
// content and buttons take clicks as any.
TEST_F(BackgroundInputDesktopTest, TheFrameAHeaderBarWindowDrawsItselfIsRefused) {
  size_t start = app_->log().size();
  // Shown without taking the focus, and put behind the user's window.
  app_->command("show tools");
  ASSERT_TRUE(waitForLine(start, {{"event", "window-shown"}, {"window", "tools"}}));
  const ::Window tools =
      app_->linesSince(start, {{"event", "window-shown"}, {"window", "tools"}})[0]["id"]
          .get<::Window>();
  ForegroundGiveBack(*x_).restackBelow(tools, userWindow_);
  XSync(x_->display(), False);
  ASSERT_TRUE(
      testing::waitUntil([&] { return readForeground(*x_).stacking.front() == userWindow_; }));
  ASSERT_EQ(XWindowReader(*x_).activeWindow(), std::optional<::Window>(userWindow_));

  json row;
  ASSERT_TRUE(testing::waitUntil([&] {
    row = testing::rowOf(helper_->result(request(3, "list_windows")), tools);
    return !row.is_null();
  }));
  json elements =
      helper_->result(request(4, "accessibility_tree", testing::observed(row)))["elements"];
  json bar;
  for (const json& element : elements) {
    if (element["depth"] == 1 && element["role"] == "AXGroup")
      bar = element;
  }
  ASSERT_FALSE(bar.is_null()) << elements.dump();
  json title = testing::findRow(elements, "AXStaticText", "CUH Fixture Tools");
  ASSERT_FALSE(title.is_null());
  auto at = [&](double x, double y) {
    json p = testing::observed(row);
    p.update({{"x", x}, {"y", y}, {"button", "left"}, {"clickCount", 1}});
    return p;
  };
  auto middle = [](const json& e, const char* axis, const char* size) {
    return e[axis].get<double>() + e[size].get<double>() / 2;
  };
  struct Case {
    const char* name;
    double x;
    double y;
  };
  const double barX = bar["x"].get<double>();
  ASSERT_GE(barX, 2);
  const Case cases[] = {
      {"the header bar's empty part", barX + 3, middle(bar, "y", "height")},
      {"its title", middle(title, "x", "width"), middle(title, "y", "height")},
      {"the border beside the content", barX - 2, bar["y"].get<double>() + 100},
  };
  auto frameBefore = XWindowReader(*x_).read(tools);
  ASSERT_TRUE(frameBefore);
  int id = 10;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(helper_->error(request(id++, "click", at(c.x, c.y))),
              "The point lies on the window's frame (title bar or edge), where the click would "
              "move or raise the window; no click was sent");
  }
  auto frameAfter = XWindowReader(*x_).read(tools);
  ASSERT_TRUE(frameAfter);
  EXPECT_EQ(frameAfter->client, frameBefore->client) << "the window moved";
  EXPECT_EQ(frameAfter->states, frameBefore->states);

  json button = testing::findRow(elements, "AXButton", "Tool Button");
  ASSERT_FALSE(button.is_null());
  size_t clicked = app_->log().size();
  helper_->result(
      request(id++, "click", at(middle(button, "x", "width"), middle(button, "y", "height"))));
  EXPECT_TRUE(waitForLine(clicked, {{"event", "clicked"}, {"widget", "Tool Button"}}));
}

// A window of a third application taking the foreground while a lease
// protects the target: with no input of the user's before it, the user's
// window is given back; when the user clicked it, it is the user's choice
// and stays.
TEST_F(BackgroundInputDesktopTest, AThirdWindowTakingTheForegroundIsPutBackUnlessTheUserChoseIt) {
  json lease = helper_->result(request(3, "begin_guard", testing::observed(row_)));
  ASSERT_TRUE(lease.contains("token"));
  // The test's own window, of this process: neither the user's nor the
  // target's application. The window manager activates it as it maps it.
  Display* display = x_->display();
  XSelectInput(display, x_->root(), PropertyChangeMask);
  XSetWindowAttributes attributes{};
  attributes.event_mask = FocusChangeMask;
  ::Window third = XCreateWindow(display, x_->root(), 40, 40, 200, 120, 0, CopyFromParent,
                                 InputOutput, CopyFromParent, CWEventMask, &attributes);
  const long pid = getpid();
  XChangeProperty(display, third, XInternAtom(display, "_NET_WM_PID", False), XA_CARDINAL, 32,
                  PropModeReplace, reinterpret_cast<const unsigned char*>(&pid), 1);
  XMapWindow(display, third);
  XSync(display, False);
  // It did get the focus (the window manager's, not a sent one); the
  // active window changed to it and then back to the user's: two changes
  // of the property after the focus, the last one the user's window.
  XEvent event;
  EXPECT_TRUE(testing::waitUntil([&] {
    while (XCheckTypedWindowEvent(display, third, FocusIn, &event)) {
      if (!event.xfocus.send_event)
        return true;
    }
    return false;
  })) << "the window manager never focused the new window";
  const Atom activeAtom = XInternAtom(display, "_NET_ACTIVE_WINDOW", False);
  int changes = 0;
  EXPECT_TRUE(testing::waitUntil(
      [&] {
        while (XCheckTypedWindowEvent(display, x_->root(), PropertyNotify, &event))
          changes += event.xproperty.atom == activeAtom;
        return changes >= 2 && XWindowReader(*x_).activeWindow() == userWindow_;
      },
      std::chrono::seconds(2)))
      << changes << " changes of the active window";
  json ended = helper_->result(request(4, "end_guard", {{"token", lease["token"]}}));
  EXPECT_EQ(ended["foregroundPreserved"], true) << ended.dump();

  // The user clicks the third window during a lease: the window manager
  // activates it and the helper leaves it active.
  json lease2 = helper_->result(request(5, "begin_guard", testing::observed(row_)));
  // Wherever the window manager placed it.
  int thirdX = 0;
  int thirdY = 0;
  ::Window child = 0;
  XTranslateCoordinates(display, third, x_->root(), 0, 0, &thirdX, &thirdY, &child);
  movePointer({thirdX + 100, thirdY + 60});
  XTestFakeButtonEvent(display, 1, True, CurrentTime);
  XTestFakeButtonEvent(display, 1, False, CurrentTime);
  XSync(display, False);
  EXPECT_TRUE(testing::waitUntil([&] { return XWindowReader(*x_).activeWindow() == third; },
                                 std::chrono::seconds(2)));
  // Given time to act wrongly, it still has not.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(XWindowReader(*x_).activeWindow(), std::optional<::Window>(third));
  json ended2 = helper_->result(request(6, "end_guard", {{"token", lease2["token"]}}));
  EXPECT_EQ(ended2["foregroundPreserved"], false) << ended2.dump();

  // The desktop as the test found it.
  movePointer(pointerBefore_);
  XDestroyWindow(display, third);
  ForegroundGiveBack(*x_).restore(before_, std::chrono::seconds(2));
}

// The helper ends during a click, by a signal or because its parent went:
// the window it told it has the keyboard is told it lost it.
TEST_F(BackgroundInputDesktopTest, TheHelperEndingDuringAClickLeavesNoSyntheticFocus) {
  for (bool byParent : {false, true}) {
    SCOPED_TRACE(byParent ? "parent killed" : "SIGTERM");
    auto parent = std::make_unique<ChildProcess>(std::vector<std::string>{"sleep", "60"});
    std::vector<std::string> arguments;
    if (byParent)
      arguments = {"--parent-pid", std::to_string(parent->pid())};
    DesktopHelper helper(arguments);
    size_t start = app_->log().size();
    helper.writeLine(request(1, "click", click("AXGroup", "Click Area", "left", 3)).dump());
    ASSERT_TRUE(waitForLine(start, {{"event", "focus-in"}, {"window", "main"}}));
    if (byParent)
      parent->end();
    else
      helper.signal(SIGTERM);
    EXPECT_TRUE(waitForLine(start, {{"event", "focus-out"}, {"window", "main"}}));
    EXPECT_EQ(helper.waitForExit(5), std::optional<int>(0));
    EXPECT_EQ(helper.stderrText(), "");
    helper.markFinished();
  }
}

}  // namespace
}  // namespace cuh::linux_desktop
