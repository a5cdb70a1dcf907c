// The Linux platform as the helper holds it, on the test desktop: what a
// request keeps of the windows holds only while they stay as they were.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/linux/linux_platform.h"
#include "platform/linux/support/desktop_apps.h"
#include "platform/window_rows.h"

namespace cuh::linux_desktop {
namespace {

using testing::FixtureApp;

// A window that moves while a request waits (the re-validation after the
// focus click, the settle) is read where it is after the wait, so the
// "moved or resized" check sees it; without a change, the list is kept.
TEST(LinuxPlatformDesktopTest, AWindowMovedDuringARequestsWaitIsReadWhereItIs) {
  FixtureApp app;
  std::string error;
  auto platform = createLinuxPlatform({}, &error);
  ASSERT_TRUE(platform) << error;
  const auto window = static_cast<uint32_t>(app.window("main"));
  auto bounds = [&] {
    auto row = platform::windowRow(*platform, app.pid(), window);
    return row ? platform::rowBounds(*row) : std::nullopt;
  };

  platform->requestStarted();
  const auto before = bounds();
  ASSERT_TRUE(before);
  app.command("move " + std::to_string(static_cast<int>(before->origin.x) + 37) + " " +
              std::to_string(static_cast<int>(before->origin.y) + 23));
  ASSERT_TRUE(app.waitFor({{"event", "moved"}}));
  std::optional<platform::Rect> after;
  for (int wait = 0; wait < 50; ++wait) {
    platform->mainLoop().runFor(0.05);
    after = bounds();
    if (after && after->origin.x != before->origin.x)
      break;
  }
  ASSERT_TRUE(after);
  EXPECT_EQ(after->origin.x, before->origin.x + 37);
  EXPECT_EQ(after->origin.y, before->origin.y + 23);
  EXPECT_EQ(after->size.width, before->size.width);
  platform->requestEnded();
}

}  // namespace
}  // namespace cuh::linux_desktop
