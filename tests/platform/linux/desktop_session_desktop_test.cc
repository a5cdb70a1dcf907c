// The session's running processes on the test desktop: one process asked
// for alone, or the frontmost one, in a request of its own, is what the
// whole list says of it.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/linux/desktop_session.h"
#include "platform/linux/support/desktop_apps.h"

namespace cuh::linux_desktop {
namespace {

using testing::ChildProcess;
using testing::FixtureApp;

std::string describe(const std::optional<ProcessFacts>& facts) {
  if (!facts)
    return "none";
  std::ostringstream out;
  out << facts->pid << " start " << facts->startTicks << " managed " << facts->ownsManagedWindow
      << " active " << facts->active << " id " << facts->identifier.value_or("-") << " name "
      << facts->displayName.value_or("-") << " path " << facts->path.value_or("-");
  return out.str();
}

std::vector<std::string> describeAll(const std::vector<ProcessFacts>& all) {
  std::vector<std::string> rows;
  for (const ProcessFacts& facts : all)
    rows.push_back(describe(facts));
  return rows;
}

TEST(DesktopSessionDesktopTest, OneProcessAskedAloneIsWhatTheListSays) {
  // Several windows of one process, a popup in front of them, and a
  // process of another toolkit.
  FixtureApp fixture({"--second-window"});
  fixture.command("popup");
  ASSERT_TRUE(fixture.waitFor({{"event", "popup-shown"}, {"popup", "dropdown"}}));
  FixtureApp hostile({}, CUH_HOSTILE_APP);
  int32_t gonePid = 0;
  {
    ChildProcess gone({"true"});
    gonePid = gone.pid();
  }

  std::string error;
  std::unique_ptr<DesktopSession> session = DesktopSession::open(nullptr, &error);
  ASSERT_TRUE(session) << error;
  auto inRequest = [&](auto read) {
    session->beginRequest();
    auto result = read();
    session->endRequest();
    return result;
  };
  auto list = [&] { return inRequest([&] { return session->processes(); }); };

  // The windows may still be settling (the window manager activates them):
  // compare only while the list stays the same around the single reads.
  bool compared = false;
  for (int attempt = 0; attempt < 5 && !compared; ++attempt) {
    std::vector<ProcessFacts> all = list();
    std::vector<std::string> alone;
    for (const ProcessFacts& facts : all)
      alone.push_back(describe(inRequest([&] { return session->process(facts.pid); })));
    std::optional<ProcessFacts> frontmost = inRequest([&] { return session->frontmostProcess(); });
    if (describeAll(list()) != describeAll(all))
      continue;
    compared = true;
    EXPECT_EQ(alone, describeAll(all));
    std::optional<ProcessFacts> active;
    for (const ProcessFacts& facts : all) {
      if (facts.active)
        active = facts;
    }
    EXPECT_EQ(describe(frontmost), describe(active));
    std::vector<int32_t> pids;
    for (const ProcessFacts& facts : all)
      pids.push_back(facts.pid);
    EXPECT_NE(std::find(pids.begin(), pids.end(), fixture.pid()), pids.end());
    EXPECT_NE(std::find(pids.begin(), pids.end(), hostile.pid()), pids.end());
  }
  EXPECT_TRUE(compared) << "the desktop did not settle";

  for (int32_t pid : {0, static_cast<int32_t>(::getpid()), gonePid})
    EXPECT_EQ(describe(inRequest([&] { return session->process(pid); })), "none") << pid;
}

}  // namespace
}  // namespace cuh::linux_desktop
