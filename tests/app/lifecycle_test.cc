// The one-second housekeeping timer and the end of input, on the simulated
// desktop and a virtual clock.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/helper_delegate.h"
#include "platform/sim/sim_application.h"
#include "platform/sim/sim_desktop.h"

namespace cuh {
namespace {

class CountingGuard final : public RequestGuard {
 public:
  explicit CountingGuard(std::vector<std::string>& log) : log_(log) {}
  void restoreAfterRequest() override { log_.push_back("restore"); }
  void releaseControllers() override { log_.push_back("releaseControllers"); }
  void expireLease() override { log_.push_back("expireLease"); }
  bool hasLease() const override { return false; }
  void clearGuardLease() override { log_.push_back("clearGuardLease"); }
  void sweepControllers() override { log_.push_back("sweep"); }

 private:
  std::vector<std::string>& log_;
};

class LifecycleTest : public ::testing::Test {
 protected:
  void start(int32_t parentPID) {
    desktop = sim::SimDesktop::create(Json::object());
    HelperOptions options;
    options.parentPID = parentPID;
    options.inputFd = -1;
    options.output = [this](std::string_view line) { lines.emplace_back(line); };
    options.guard = std::make_unique<CountingGuard>(log);
    delegate = HelperDelegate::create(*desktop, std::move(options));
    desktop->application().setDelegate(delegate.get());
    delegate->startTimer();
  }
  void TearDown() override {
    if (desktop)
      desktop->application().setDelegate(nullptr);
    delegate.reset();
  }
  double now() { return desktop->clock().uptime(); }

  std::unique_ptr<sim::SimDesktop> desktop;
  std::shared_ptr<HelperDelegate> delegate;
  std::vector<std::string> lines;
  std::vector<std::string> log;
};

TEST_F(LifecycleTest, EachTickExpiresTheLeaseThenSweeps) {
  start(4242);
  desktop->setProcessAlive(4242, true);
  desktop->loop().runFor(3.5);
  EXPECT_EQ(log, (std::vector<std::string>{"expireLease", "sweep", "expireLease", "sweep",
                                           "expireLease", "sweep"}));
}

TEST_F(LifecycleTest, TheParentWatchTerminatesWithinASecond) {
  start(4242);
  desktop->setProcessAlive(4242, true);
  desktop->loop().runFor(2.5);
  log.clear();
  double died = now();
  desktop->setProcessAlive(4242, false);
  EXPECT_THROW(desktop->loop().runFor(5), sim::SimApplication::Terminated);
  EXPECT_LE(now() - died, 1.0);
  // Termination releases the controllers; nothing else of that tick runs.
  EXPECT_EQ(log, (std::vector<std::string>{"releaseControllers"}));
}

TEST_F(LifecycleTest, NoWatchWithoutAPositiveParent) {
  for (int32_t parent : {0, -7}) {
    start(parent);
    desktop->setProcessAlive(parent, false);
    EXPECT_NO_THROW(desktop->loop().runFor(5)) << parent;
  }
}

TEST_F(LifecycleTest, EndOfInputTerminatesAfterWhatWasQueued) {
  start(0);
  desktop->loop().post([this] { delegate->enqueue(Json{{"id", 1}, {"method", "ping"}}); });
  desktop->loop().post([this] { delegate->endOfInput(); });
  desktop->loop().post([this] { delegate->enqueue(Json{{"id", 2}, {"method", "ping"}}); });
  EXPECT_THROW(desktop->loop().runUntilIdle(), sim::SimApplication::Terminated);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(Json::parse(lines[0])["id"], 1);
  EXPECT_EQ(log.back(), "releaseControllers");
}

}  // namespace
}  // namespace cuh
