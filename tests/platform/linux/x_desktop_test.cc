// The X building blocks against the test desktop: the connection's error
// handling, the window readers against what the fixture application shows,
// and the give-back of the user's foreground.
// gtest first: Xlib defines None as a macro.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include "platform/linux/foreground_giveback.h"
#include "platform/linux/support/desktop_apps.h"
#include "platform/linux/x_connection.h"
#include "platform/linux/x_windows.h"

namespace cuh::linux_desktop {
namespace {

using testing::ChildProcess;
using testing::FixtureApp;
using testing::StderrCapture;
using testing::waitUntil;

std::unique_ptr<XConnection> connect() {
  std::string error;
  auto x = XConnection::open(nullptr, &error);
  EXPECT_TRUE(x) << error;
  return x;
}

std::optional<RootPoint> pointer(XConnection& x) {
  return XWindowReader(x).pointer();
}

TEST(XConnectionDesktopTest, ABadDisplayIsNamedAndAVanishedWindowIsQuiet) {
  StderrCapture stderrCapture;
  std::string error;
  EXPECT_FALSE(XConnection::open(":4093", &error));
  EXPECT_EQ(error, "computer-use-helper: cannot open X display \":4093\"");

  auto x = connect();
  ASSERT_TRUE(x);
  XWindowReader reader(*x);
  // A window that never existed, and one that is destroyed between reads.
  EXPECT_FALSE(reader.read(0x3ffffff));
  ::Window doomed = XCreateSimpleWindow(x->display(), x->root(), 0, 0, 10, 10, 0, 0, 0);
  x->sync();
  EXPECT_TRUE(reader.read(doomed));
  XDestroyWindow(x->display(), doomed);
  EXPECT_FALSE(reader.read(doomed));
  // In a batch, only the vanished window reads as none.
  auto batch = reader.readAll({x->root(), doomed, x->root()});
  ASSERT_EQ(batch.size(), 3u);
  EXPECT_TRUE(batch[0] && batch[2]);
  EXPECT_FALSE(batch[1]);
  EXPECT_FALSE(reader.cardinals(doomed, "_NET_WM_PID"));
  // Errors of requests without replies are recorded, not printed.
  unsigned long serial = x->nextRequestSerial();
  XMapWindow(x->display(), doomed);
  EXPECT_TRUE(x->sync());
  ASSERT_TRUE(x->firstErrorSince(serial));
  EXPECT_EQ(x->firstErrorSince(serial)->errorCode, BadWindow);
  EXPECT_TRUE(x->failedOnResourceSince(serial, doomed));
  EXPECT_FALSE(x->lost());
  EXPECT_GT(x->serverTime(), 0u);
  EXPECT_EQ(stderrCapture.text(), "");
}

TEST(XConnectionDesktopTest, ALostServerIsReportedNotFatal) {
  StderrCapture stderrCapture;
  // A private X server of this test, killed under the connection.
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  std::string fd = std::to_string(fds[1]);
  ChildProcess server({"Xvfb", "-displayfd", fd, "-nolisten", "tcp", "-screen", "0", "320x240x24"});
  close(fds[1]);
  char number[16] = {};
  ssize_t n = read(fds[0], number, sizeof number - 1);
  close(fds[0]);
  ASSERT_GT(n, 0);
  std::string display = ":" + std::string(number, strcspn(number, "\n"));
  std::string error;
  auto x = XConnection::open(display.c_str(), &error);
  ASSERT_TRUE(x) << error;
  EXPECT_TRUE(x->sync());
  server.signal(SIGKILL);
  server.end();

  EXPECT_FALSE(x->sync());
  EXPECT_TRUE(x->lost());
  XWindowReader reader(*x);
  EXPECT_EQ(reader.clientListStacking(), std::vector<::Window>{});
  EXPECT_FALSE(reader.activeWindow());
  EXPECT_EQ(x->atom("WM_NAME"), 0u);
  EXPECT_EQ(x->serverTime(), 0u);
  x.reset();  // closing a lost connection is quiet too
  EXPECT_EQ(stderrCapture.text(), "");
}

TEST(XWindowsDesktopTest, ReadsTheFixturesWindows) {
  FixtureApp app({"--second-window"});
  auto x = connect();
  ASSERT_TRUE(x);
  XWindowReader reader(*x);
  ::Window main = app.window("main"), tools = app.window("tools");
  ASSERT_NE(main, 0u);
  ASSERT_NE(tools, 0u);

  std::vector<::Window> stacking = reader.clientListStacking();
  ASSERT_GE(stacking.size(), 2u);
  // The tools window was presented last: in front, and active.
  EXPECT_EQ(stacking[0], tools);
  EXPECT_NE(std::find(stacking.begin(), stacking.end(), main), stacking.end());
  ASSERT_TRUE(waitUntil([&] { return reader.activeWindow() == tools; }));

  auto facts = reader.read(main);
  ASSERT_TRUE(facts);
  EXPECT_EQ(facts->pid, app.pid());
  EXPECT_EQ(facts->name, "CUH Fixture");
  EXPECT_EQ(facts->gtkApplicationId, "dev.cuh.Fixture");
  EXPECT_EQ(facts->windowClass.instance, "cuh-fixture");
  EXPECT_EQ(facts->types, std::vector<std::string>{"_NET_WM_WINDOW_TYPE_NORMAL"});
  EXPECT_TRUE(facts->viewable);
  EXPECT_FALSE(facts->overrideRedirect);
  EXPECT_EQ(windowLayer(facts->types, facts->overrideRedirect), 0);
  // Server-side decorations: R is the frame around the client window.
  EXPECT_GT(facts->frameExtents.top, 0);
  EXPECT_EQ(facts->shadowExtents, Extents{});
  PixelRect r = facts->rectangle();
  EXPECT_EQ(r.x, facts->client.x - facts->frameExtents.left);
  EXPECT_EQ(r.height, facts->client.height + facts->frameExtents.top + facts->frameExtents.bottom);

  // Client-side decorations: openbox draws no frame. GTK draws its
  // invisible shadow only where the window manager announces
  // _GTK_FRAME_EXTENTS, which openbox does not: R is the client window (the
  // shadow rule is covered by WindowRulesTest).
  auto header = reader.read(tools);
  ASSERT_TRUE(header);
  EXPECT_EQ(header->name, "CUH Fixture Tools");
  EXPECT_EQ(header->frameExtents, Extents{});
  EXPECT_EQ(header->rectangle(), windowRectangle(header->client, {}, header->shadowExtents));
  EXPECT_EQ(header->rectangle().width,
            header->client.width - header->shadowExtents.left - header->shadowExtents.right);
}

TEST(XWindowsDesktopTest, ListPutsPopupsInFrontAndLeavesOutWindowsWithoutPid) {
  StderrCapture stderrCapture;
  FixtureApp app;
  auto x = connect();
  ASSERT_TRUE(x);
  // An override-redirect popup with a pid (as a toolkit's menu has), and a
  // managed window without one.
  auto createWindow = [&](bool overrideRedirect, bool withPid) {
    XSetWindowAttributes attributes{};
    attributes.override_redirect = overrideRedirect;
    ::Window window = XCreateWindow(x->display(), x->root(), 5, 5, 50, 40, 0, CopyFromParent,
                                    InputOutput, CopyFromParent, CWOverrideRedirect, &attributes);
    long pid = getpid();
    if (withPid)
      XChangeProperty(x->display(), window, x->atom("_NET_WM_PID"), XA_CARDINAL, 32,
                      PropModeReplace, reinterpret_cast<unsigned char*>(&pid), 1);
    XMapWindow(x->display(), window);
    return window;
  };
  ::Window popup = createWindow(true, true);
  ::Window anonymous = createWindow(false, false);
  XWindowReader reader(*x);
  ASSERT_TRUE(waitUntil([&] {
    auto stacking = reader.clientListStacking();
    return std::find(stacking.begin(), stacking.end(), anonymous) != stacking.end();
  }));
  std::vector<XWindowFacts> list = reader.windowList();
  ASSERT_FALSE(list.empty());
  EXPECT_EQ(list.front().id, popup);
  EXPECT_EQ(windowLayer(list.front().types, list.front().overrideRedirect), 101);
  std::vector<::Window> ids;
  for (const XWindowFacts& facts : list)
    ids.push_back(facts.id);
  EXPECT_EQ(std::count(ids.begin(), ids.end(), anonymous), 0);
  EXPECT_EQ(std::count(ids.begin(), ids.end(), app.window("main")), 1);
  // The managed ones in stacking order, front to back.
  std::vector<::Window> managed(ids.begin() + 1, ids.end());
  std::vector<::Window> stacking = reader.clientListStacking();
  std::erase(stacking, anonymous);
  EXPECT_EQ(managed, stacking);
  XDestroyWindow(x->display(), popup);
  XDestroyWindow(x->display(), anonymous);
  EXPECT_EQ(stderrCapture.text(), "");
}

TEST(XWindowsDesktopTest, ListsAWindowWithoutAccessibilityAndItsIcon) {
  ChildProcess xterm({"xterm", "-title", "plain xterm"});
  auto x = connect();
  ASSERT_TRUE(x);
  XWindowReader reader(*x);
  std::optional<XWindowFacts> found;
  ASSERT_TRUE(waitUntil([&] {
    for (::Window window : reader.clientListStacking()) {
      auto facts = reader.read(window);
      if (facts && facts->pid == xterm.pid() && facts->name == "plain xterm")
        found = facts;
    }
    return found.has_value();
  }));
  EXPECT_EQ(found->windowClass, (WindowClass{"xterm", "XTerm"}));
  EXPECT_FALSE(found->gtkApplicationId);
  // xterm sets no _NET_WM_ICON; GTK applications do.
  EXPECT_FALSE(reader.icon(found->id));
  FixtureApp app;
  auto icon = reader.icon(app.window("main"));
  ASSERT_TRUE(icon);
  EXPECT_EQ(icon->rgba.size(), static_cast<size_t>(icon->width) * icon->height * 4);
}

TEST(ForegroundGiveBackDesktopTest, PutsTheActiveWindowAndStackingBack) {
  StderrCapture stderrCapture;
  FixtureApp user({"--title", "User Window"});
  FixtureApp target({"--title", "Target Window", "--second-window"});
  auto x = connect();
  ASSERT_TRUE(x);
  XWindowReader reader(*x);
  ForegroundGiveBack giveBack(*x);
  // The user works in their window, in front of the target's windows.
  ASSERT_TRUE(giveBack.restore({user.window("main"), {}}));
  giveBack.restackBelow(user.window("main"), 0);
  ASSERT_TRUE(
      waitUntil([&] { return reader.clientListStacking().front() == user.window("main"); }));
  ForegroundState before = readForeground(*x);
  auto pointerBefore = pointer(*x);
  ASSERT_TRUE(pointerBefore);

  // The target presents a window of its own: it takes the foreground.
  target.command("present tools");
  ASSERT_TRUE(waitUntil([&] { return reader.activeWindow() == target.window("tools"); }));
  ASSERT_NE(readForeground(*x), before);

  EXPECT_TRUE(giveBack.restore(before));
  EXPECT_EQ(readForeground(*x), before);
  EXPECT_EQ(pointer(*x), pointerBefore);
  EXPECT_TRUE(user.waitFor({{"event", "active"}, {"window", "main"}, {"value", true}}));
  EXPECT_EQ(stderrCapture.text(), "");
}

}  // namespace
}  // namespace cuh::linux_desktop
