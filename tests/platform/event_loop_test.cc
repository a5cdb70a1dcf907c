#include "platform/sim/event_loop.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "protocol/reply.h"
#include "support/recording_completion.h"

namespace cuh::sim {
namespace {

TEST(EventLoopTest, VirtualTimeRunsDelayedWorkInDueOrderThenPostOrder) {
  VirtualClock clock;
  EventLoop loop(clock);
  std::vector<std::string> order;
  double start = clock.uptime();
  loop.postDelayed(0.2, [&] { order.push_back("b"); });
  loop.postDelayed(0.1, [&] { order.push_back("a"); });
  loop.postDelayed(0.2, [&] { order.push_back("c"); });
  loop.post([&] { order.push_back("now"); });
  EXPECT_TRUE(loop.runUntilIdle());
  EXPECT_EQ(order, (std::vector<std::string>{"now", "a", "b", "c"}));
  EXPECT_DOUBLE_EQ(clock.uptime(), start + 0.2);
}

TEST(EventLoopTest, NestedRunForServesWorkAndTimersUntilTheDeadline) {
  VirtualClock clock;
  EventLoop loop(clock);
  int ticks = 0;
  auto timer = loop.scheduleRepeatingTimer(1.0, [&] { ++ticks; });
  bool ranLater = false;
  loop.post([&] {
    loop.postDelayed(0.03, [&] { ranLater = true; });
    loop.runFor(2.5);  // nested wait inside a work item
  });
  loop.runFor(0);
  EXPECT_TRUE(ranLater);
  EXPECT_EQ(ticks, 2);
  timer.reset();  // invalidated: no more ticks
  loop.runFor(5);
  EXPECT_EQ(ticks, 2);
}

TEST(EventLoopTest, SleepBlocksWithoutRunningWork) {
  VirtualClock clock;
  EventLoop loop(clock);
  bool ran = false;
  loop.post([&] { ran = true; });
  double start = clock.uptime();
  loop.sleep(0.1);
  EXPECT_FALSE(ran);
  EXPECT_DOUBLE_EQ(clock.uptime(), start + 0.1);
}

TEST(EventLoopTest, RealClockRunQuitsFromAnotherThreadsPost) {
  RealClock clock;
  EventLoop loop(clock);
  std::thread poster([&] { loop.post([&] { loop.quit(); }); });
  loop.run();
  poster.join();
}

// The idle wait while descriptors are watched is poll: a readable
// descriptor runs its watch once per wake-up (not once per poll while it
// stays readable), another thread's post still wakes the loop, and a watch
// whose handle went is never run again.
TEST(EventLoopTest, WatchedDescriptorsWakeTheLoopAndPostsStillDo) {
  RealClock clock;
  EventLoop loop(clock);
  int pipeFds[2];
  ASSERT_EQ(::pipe(pipeFds), 0);
  int runs = 0;
  auto watch = loop.watchDescriptor(pipeFds[0], [&] {
    ++runs;
    char byte;
    ASSERT_EQ(::read(pipeFds[0], &byte, 1), 1);
    if (runs == 1) {
      // Posted from another thread while the loop waits in poll.
      std::thread([&] { loop.post([&] { loop.quit(); }); }).detach();
    }
  });
  std::thread writer([&] { ASSERT_EQ(::write(pipeFds[1], "x", 1), 1); });
  loop.run();
  writer.join();
  EXPECT_EQ(runs, 1);

  watch.reset();
  ASSERT_EQ(::write(pipeFds[1], "y", 1), 1);
  loop.runFor(0.05);
  EXPECT_EQ(runs, 1);
  ::close(pipeFds[0]);
  ::close(pipeFds[1]);
}

TEST(EventLoopTest, AFenceHoldsWhatOtherThreadsPostAfterItBehindWhatItPosts) {
  VirtualClock clock;
  EventLoop loop(clock);
  std::vector<std::string> order;
  auto note = [&](const char* what) { return [&order, what] { order.push_back(what); }; };
  std::thread other([&] {
    loop.post(note("before"));
    loop.postFence([&] {
      order.push_back("fence 1");
      loop.post(note("posted by fence 1"));
    });
    loop.post(note("after fence 1"));
    loop.postFence([&] {
      order.push_back("fence 2");
      loop.post(note("posted by fence 2"));
    });
    loop.post(note("after fence 2"));
  });
  other.join();
  loop.post(note("from the loop's thread"));  // never held
  EXPECT_TRUE(loop.runUntilIdle());
  EXPECT_EQ(order, (std::vector<std::string>{"before", "fence 1", "from the loop's thread",
                                             "posted by fence 1", "after fence 1", "fence 2",
                                             "posted by fence 2", "after fence 2"}));
}

TEST(EventLoopTest, AFenceWhoseWorkThrowsStillReleasesWhatWaitedBehindIt) {
  VirtualClock clock;
  EventLoop loop(clock);
  bool ran = false;
  std::thread other([&] {
    loop.postFence([] { throw std::runtime_error("fence"); });
    loop.post([&] { ran = true; });
  });
  other.join();
  EXPECT_TRUE(loop.runUntilIdle());
  EXPECT_TRUE(ran);
}

// A work item that throws ends there; the request whose reply it held gets
// the reply's not-completed answer, and the loop goes on with later work,
// whether the item ran from the loop itself or inside a nested run.
TEST(EventLoopTest, AThrowingWorkItemAnswersItsRequestAndTheLoopGoesOn) {
  struct Case {
    const char* name;
    void (*schedule)(EventLoop& loop, std::function<void()> work);
  };
  const Case cases[] = {
      {"posted", [](EventLoop& loop, std::function<void()> work) { loop.post(std::move(work)); }},
      {"delayed",
       [](EventLoop& loop, std::function<void()> work) {
         loop.postDelayed(0.5, std::move(work));
       }},
      {"inside a nested run",
       [](EventLoop& loop, std::function<void()> work) {
         loop.post([&loop, work = std::move(work)] {
           loop.post(work);
           loop.runFor(1);
         });
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    VirtualClock clock;
    EventLoop loop(clock);
    auto completion = std::make_shared<testing::RecordingCompletion>();
    {
      Reply reply(completion, 7);
      c.schedule(loop, [reply] { throw std::runtime_error("step failed"); });
    }
    bool later = false;
    loop.postDelayed(2, [&] { later = true; });
    EXPECT_TRUE(loop.runUntilIdle());
    EXPECT_TRUE(later);
    ASSERT_EQ(completion->calls.size(), 1u);
    EXPECT_EQ(completion->calls[0].id, 7);
    EXPECT_EQ(completion->calls[0].error, std::string(kRequestNotCompletedMessage));
  }
}

}  // namespace
}  // namespace cuh::sim
