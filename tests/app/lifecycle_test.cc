// The one-second housekeeping timer and the end of input, on the simulated
// desktop and a virtual clock.
#include <gtest/gtest.h>

#include <memory>
#include <span>
#include <string>
#include <vector>

#include "app/dispatcher.h"
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
  void start(int32_t parentPID, std::span<const MethodEntry> methods = {}) {
    desktop = sim::SimDesktop::create(Json::object());
    HelperOptions options;
    options.parentPID = parentPID;
    options.inputFd = -1;
    options.output = [this](std::string_view line) { lines.emplace_back(line); };
    options.guard = std::make_unique<CountingGuard>(log);
    options.methods = methods;
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

// The replies of requests that never complete.
std::vector<Reply> parkedReplies;

// "wait" completes params.seconds later (never when absent), as a click or
// a launch completes after its steps.
const MethodEntry kEndMethods[] = {
    {"ping", Completion::finish, "",
     [](MethodContext&) {
       return Json{{"ready", true}};
     }},
    {"wait", Completion::asynchronous, "",
     [](MethodContext& context) {
       if (context.params.contains("seconds")) {
         context.platform.mainLoop().postDelayed(context.params["seconds"].get<double>(),
                                                 [reply = *context.reply]() mutable {
                                                   reply.succeed(Json{{"waited", true}});
                                                 });
       } else {
         // Never completes: the reply stays held, as by an operation that
         // waits for ever.
         parkedReplies.push_back(*context.reply);
       }
       return Json();
     }},
};

struct EndCase {
  const char* name;
  std::vector<const char*> before;  // requests queued before the end of input
  std::vector<const char*> after;   // read after it (a termination signal)
  std::vector<int> answered;
  double terminatesAt;
};

TEST_F(LifecycleTest, EndOfInputAnswersWhatWasReadThenTerminates) {
  const EndCase cases[] = {
      {"idle", {R"({"id":1,"method":"ping"})"}, {}, {1}, 0},
      {"in flight and queued behind",
       {R"({"id":1,"method":"wait","params":{"seconds":0.3}})", R"({"id":2,"method":"ping"})"},
       {},
       {1, 2},
       0.3},
      {"read after a signal",
       {R"({"id":1,"method":"ping"})"},
       {R"({"id":2,"method":"ping"})"},
       {1, 2},
       0},
      {"in flight after a signal, read before termination ran",
       {R"({"id":1,"method":"ping"})"},
       {R"({"id":2,"method":"wait","params":{"seconds":0.3}})"},
       {1, 2},
       0.3},
      {"never completes",
       {R"({"id":1,"method":"wait"})", R"({"id":2,"method":"ping"})"},
       {},
       {},
       HelperDelegate::kEndOfInputGrace},
  };
  for (const EndCase& c : cases) {
    SCOPED_TRACE(c.name);
    lines.clear();
    log.clear();
    start(0, kEndMethods);
    double began = now();
    desktop->loop().post([&] {
      for (const char* request : c.before)
        delegate->enqueue(Json::parse(request));
    });
    desktop->loop().post([this] { delegate->endOfInput(); });
    desktop->loop().post([&] {
      for (const char* request : c.after)
        delegate->enqueue(Json::parse(request));
    });
    EXPECT_THROW(desktop->loop().runFor(60), sim::SimApplication::Terminated);
    EXPECT_NEAR(now() - began, c.terminatesAt, 0.01);
    std::vector<int> answered;
    for (const std::string& line : lines)
      answered.push_back(Json::parse(line)["id"].get<int>());
    EXPECT_EQ(answered, c.answered);
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), "releaseControllers");
    TearDown();
    parkedReplies.clear();
  }
}

}  // namespace
}  // namespace cuh
