// The request queue and dispatcher on the simulated desktop and a virtual
// clock, with a stand-in for the foreground guard that records what the
// dispatcher asks of it.
#include "app/dispatcher.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/helper_delegate.h"
#include "platform/sim/sim_application.h"
#include "platform/sim/sim_desktop.h"
#include "protocol/helper_failure.h"
#include "support/forwarding_platform.h"

namespace cuh {
namespace {

// Records every call, with the number of response lines written at the
// time, so tests can see what happened before which answer.
class RecordingGuard final : public RequestGuard {
 public:
  RecordingGuard(std::vector<std::string>& log, const std::vector<std::string>& lines)
      : log_(log), lines_(lines) {}

  void restoreAfterRequest() override {
    note("restore");
    if (onRestore)
      onRestore();
  }
  void releaseControllers() override { note("releaseControllers"); }
  void expireLease() override {
    note("expireLease");
    if (leaseExpiresOnNextCheck)
      lease = false;
  }
  bool hasLease() const override { return lease; }
  void clearGuardLease() override {
    note("clearGuardLease");
    lease = false;
  }
  void sweepControllers() override { note("sweep"); }

  bool lease = false;
  bool leaseExpiresOnNextCheck = false;
  std::function<void()> onRestore;

 private:
  void note(const std::string& what) { log_.push_back(what + "@" + std::to_string(lines_.size())); }
  std::vector<std::string>& log_;
  const std::vector<std::string>& lines_;
};

// The desktop, with the request notifications noted in the same log as the
// guard's calls while `noting` is set.
class NotingPlatform final : public testing::ForwardingPlatform {
 public:
  NotingPlatform(platform::Platform& inner,
                 std::vector<std::string>& log,
                 const std::vector<std::string>& lines)
      : ForwardingPlatform(inner), log_(log), lines_(lines) {}

  void requestStarted() override { note("started"); }
  void requestEnded() override { note("ended"); }

  bool noting = false;

 private:
  void note(const std::string& what) {
    if (noting)
      log_.push_back(what + "@" + std::to_string(lines_.size()));
  }
  std::vector<std::string>& log_;
  const std::vector<std::string>& lines_;
};

class DispatcherTest : public ::testing::Test {
 protected:
  void SetUp() override { start(Json::object()); }

  void start(const Json& scene, std::span<const MethodEntry> methods = {}, int32_t parentPID = 0) {
    if (delegate)
      desktop->application().setDelegate(nullptr);
    delegate.reset();
    lines.clear();
    log.clear();
    desktop = sim::SimDesktop::create(scene);
    platform = std::make_unique<NotingPlatform>(*desktop, log, lines);
    HelperOptions options;
    options.parentPID = parentPID;
    options.inputFd = -1;
    options.output = [this](std::string_view line) { lines.emplace_back(line); };
    auto recording = std::make_unique<RecordingGuard>(log, lines);
    guard = recording.get();
    options.guard = std::move(recording);
    options.methods = methods;
    delegate = HelperDelegate::create(*platform, std::move(options));
    desktop->application().setDelegate(delegate.get());
  }
  void TearDown() override {
    desktop->application().setDelegate(nullptr);
    delegate.reset();
  }

  // Hands `line` over as the reader does and runs the loop until idle.
  void send(const std::string& line) {
    desktop->loop().post([this, request = Json::parse(line)] { delegate->enqueue(request); });
    desktop->loop().runUntilIdle();
  }
  // The parsed response lines.
  std::vector<Json> responses() const {
    std::vector<Json> parsed;
    for (const std::string& line : lines) {
      EXPECT_EQ(line.back(), '\n');
      parsed.push_back(Json::parse(line));
    }
    return parsed;
  }

  std::unique_ptr<sim::SimDesktop> desktop;
  std::unique_ptr<NotingPlatform> platform;
  std::shared_ptr<HelperDelegate> delegate;
  RecordingGuard* guard = nullptr;
  std::vector<std::string> lines;
  std::vector<std::string> log;
};

const std::string kUnsupported = "Unsupported macOS computer-use helper method: ";
const std::string kLease =
    "A macOS foreground guard lease is already active; end it before another native request";

TEST_F(DispatcherTest, AnswersEachMethodOfTheTable) {
  struct Case {
    std::string request;
    std::string response;
  };
  std::vector<Case> cases = {
      {R"({"id":7,"method":"ping"})", R"({"id":7,"ok":true,"result":{"ready":true}})"},
      {R"({"id":1,"method":"accessibility_status"})",
       R"({"id":1,"ok":true,"result":{"trusted":true}})"},
      {R"({"id":2,"method":"release"})", R"({"id":2,"ok":true,"result":{"released":true}})"},
      {R"({"id":3})", R"({"id":3,"ok":false,"error":")" + kUnsupported + R"("})"},
      {R"({"id":4,"method":""})", R"({"id":4,"ok":false,"error":")" + kUnsupported + R"("})"},
      {R"({"id":5,"method":7})", R"({"id":5,"ok":false,"error":")" + kUnsupported + R"("})"},
      {R"({"id":6,"method":"Ping"})",
       R"({"id":6,"ok":false,"error":")" + kUnsupported + R"(Ping"})"},
      {R"({"id":8,"method":"ping "})",
       R"({"id":8,"ok":false,"error":")" + kUnsupported + R"(ping "})"},
      {R"({"method":"ping","id":"7"})", R"({"id":null,"ok":true,"result":{"ready":true}})"},
      {R"({"method":"ping","id":3.9})", R"({"id":3,"ok":true,"result":{"ready":true}})"},
      {R"({"method":"ping","id":true})", R"({"id":1,"ok":true,"result":{"ready":true}})"},
      {R"({"method":"ping","id":1e30})", R"({"id":null,"ok":true,"result":{"ready":true}})"},
      {R"({"method":"ping","params":null,"id":9})",
       R"({"id":9,"ok":true,"result":{"ready":true}})"},
  };
  // Methods whose subsystem is not built in yet answer as unsupported.
  for (const MethodEntry& entry : methodTable()) {
    if (entry.run)
      continue;
    std::string name(entry.name);
    cases.push_back({R"({"id":10,"method":")" + name + R"("})",
                     R"({"id":10,"ok":false,"error":")" + kUnsupported + name + R"("})"});
  }
  for (const Case& c : cases) {
    lines.clear();
    send(c.request);
    ASSERT_EQ(lines.size(), 1u) << c.request;
    EXPECT_EQ(Json::parse(lines[0]), Json::parse(c.response)) << c.request;
  }
}

TEST_F(DispatcherTest, TheTableKeepsTheMethodOrder) {
  std::vector<std::string> names;
  for (const MethodEntry& entry : methodTable())
    names.emplace_back(entry.name);
  EXPECT_EQ(names,
            (std::vector<std::string>{
                "ping", "accessibility_status", "close", "release", "begin_guard", "end_guard",
                "list_windows", "list_apps", "launch_app", "accessibility_tree", "resolve_element",
                "element_action", "window_info", "app_icon", "click", "drag", "key", "scroll"}));
}

TEST_F(DispatcherTest, AccessibilityStatusPromptsOnlyForATrueNumber) {
  struct Case {
    std::string params;
    bool prompt;
  };
  const Case cases[] = {
      {R"({"prompt":true})", true},   {R"({"prompt":1})", true},  {R"({"prompt":0.5})", true},
      {R"({"prompt":false})", false}, {R"({"prompt":0})", false}, {R"({"prompt":"true"})", false},
      {R"({"prompt":null})", false},  {R"({})", false},
  };
  for (const Case& c : cases) {
    start(Json{{"trusted", false}});
    send(R"({"id":1,"method":"accessibility_status","params":)" + c.params + "}");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(Json::parse(lines[0])["result"], Json::parse(R"({"trusted":false})")) << c.params;
    std::vector<Json> trust = desktop->traceLines("trust");
    ASSERT_EQ(trust.size(), 1u) << c.params;
    EXPECT_EQ(trust[0]["prompt"], c.prompt) << c.params;
  }
}

TEST_F(DispatcherTest, FinishRestoresBeforeTheResponseIsWritten) {
  send(R"({"id":1,"method":"ping"})");
  send(R"({"id":2,"method":"nope"})");
  EXPECT_EQ(log,
            (std::vector<std::string>{"expireLease@0", "restore@0", "expireLease@1", "restore@1"}));
}

TEST_F(DispatcherTest, ReleaseClearsTheLeaseAndControllersThenFinishes) {
  guard->lease = true;
  send(R"({"id":1,"method":"release"})");
  EXPECT_EQ(log, (std::vector<std::string>{"expireLease@0", "clearGuardLease@0",
                                           "releaseControllers@0", "restore@0"}));
  EXPECT_EQ(responses()[0]["result"], Json::parse(R"({"released":true})"));
}

TEST_F(DispatcherTest, TheLeaseGateRefusesAllButItsOwnMethodsWithoutRestoring) {
  guard->lease = true;
  struct Case {
    std::string method;
    std::string error;  // "" for a success
    bool restored;
  };
  const Case cases[] = {
      {"ping", kLease, false},
      {"accessibility_status", kLease, false},
      {"list_windows", kLease, false},
      {"unknown", kLease, false},
      {"", kLease, false},
      // end_guard passes the gate and is answered directly; this stand-in
      // guard has no lease behind it to end.
      {"end_guard", "macOS foreground protection is not available", false},
  };
  for (const Case& c : cases) {
    log.clear();
    lines.clear();
    send(R"({"id":4,"method":")" + c.method + R"("})");
    ASSERT_EQ(lines.size(), 1u) << c.method;
    EXPECT_EQ(Json::parse(lines[0])["error"], c.error) << c.method;
    bool restored = std::find(log.begin(), log.end(), "restore@0") != log.end();
    EXPECT_EQ(restored, c.restored) << c.method;
    EXPECT_TRUE(guard->lease);
  }
}

TEST_F(DispatcherTest, AnExpiredLeaseIsClearedBeforeTheGate) {
  guard->lease = true;
  guard->leaseExpiresOnNextCheck = true;
  send(R"({"id":1,"method":"ping"})");
  EXPECT_EQ(responses()[0]["result"], Json::parse(R"({"ready":true})"));
}

TEST_F(DispatcherTest, CloseReleasesAnswersAndTerminatesLeavingTheRestUnanswered) {
  guard->lease = true;
  desktop->loop().post([this] {
    delegate->enqueue(Json::parse(R"({"id":1,"method":"close"})"));
    delegate->enqueue(Json::parse(R"({"id":2,"method":"ping"})"));
  });
  EXPECT_THROW(desktop->loop().runUntilIdle(), sim::SimApplication::Terminated);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(Json::parse(lines[0]), Json::parse(R"({"id":1,"ok":true,"result":{"closed":true}})"));
  // No restore through finish; applicationWillTerminate releases again.
  EXPECT_EQ(log, (std::vector<std::string>{"expireLease@0", "clearGuardLease@0",
                                           "releaseControllers@0", "releaseControllers@1"}));
  EXPECT_TRUE(delegate->requestInFlight());
}

// A method table with an asynchronous operation that completes 0.2 s later,
// as the input methods do.
std::vector<std::string> startedMethods;
const MethodEntry kTestMethods[] = {
    {"ping", Completion::finish, "",
     [](MethodContext&) {
       startedMethods.push_back("ping");
       return Json{{"ready", true}};
     }},
    {"slow", Completion::asynchronous, "",
     [](MethodContext& context) {
       startedMethods.push_back("slow");
       context.platform.mainLoop().postDelayed(0.2, [reply = *context.reply]() mutable {
         reply.succeed(Json{{"slow", true}});
       });
       return Json();
     }},
    {"slow_fails", Completion::asynchronous, "",
     [](MethodContext&) -> Json { throw HelperFailure("no click was sent"); }},
    // Faulty operations: one lets go of its reply unanswered, one answers
    // twice.
    {"forgets", Completion::asynchronous, "", [](MethodContext&) { return Json(); }},
    {"twice", Completion::asynchronous, "",
     [](MethodContext& context) {
       context.reply->succeed(Json{{"first", true}});
       context.reply->succeed(Json{{"second", true}});
       return Json();
     }},
    {"failing", Completion::finish, "",
     [](MethodContext&) -> Json {
       throw std::runtime_error("The operation couldn’t be completed.");
     }},
    {"guarded", Completion::directOnSuccess, "",
     [](MethodContext& context) -> Json {
       if (context.params.contains("fail"))
         throw HelperFailure("guard failed");
       return Json{{"guarded", true}};
     }},
    {"unguard", Completion::direct, "",
     [](MethodContext& context) -> Json {
       if (context.params.contains("fail"))
         throw HelperFailure("unguard failed");
       return Json{{"unguarded", true}};
     }},
    {"wrapped", Completion::finish, "windows", [](MethodContext&) { return Json::array({1}); }},
};

TEST_F(DispatcherTest, RequestsWaitForAnAsynchronousOneAndAnswerInOrder) {
  start(Json::object(), kTestMethods);
  startedMethods.clear();
  desktop->loop().post([this] {
    delegate->enqueue(Json::parse(R"({"id":1,"method":"slow"})"));
    delegate->enqueue(Json::parse(R"({"id":2,"method":"ping"})"));
    delegate->enqueue(Json::parse(R"({"id":3,"method":"ping"})"));
  });
  desktop->loop().runFor(0.1);
  EXPECT_TRUE(lines.empty());
  EXPECT_EQ(startedMethods, (std::vector<std::string>{"slow"}));
  EXPECT_EQ(delegate->queuedRequestCount(), 2u);
  desktop->loop().runUntilIdle();
  std::vector<Json> answered = responses();
  ASSERT_EQ(answered.size(), 3u);
  EXPECT_EQ(answered[0], Json::parse(R"({"id":1,"ok":true,"result":{"slow":true}})"));
  EXPECT_EQ(answered[1]["id"], 2);
  EXPECT_EQ(answered[2]["id"], 3);
  EXPECT_FALSE(delegate->requestInFlight());
}

// Every request read gets exactly one answer, even from a faulty operation:
// one that lets go of its reply unanswered gets the helper's own answer, a
// second answer is dropped and counted, and the queue goes on either way.
TEST_F(DispatcherTest, EveryRequestIsAnsweredExactlyOnce) {
  start(Json::object(), kTestMethods);
  send(R"({"id":1,"method":"forgets"})");
  send(R"({"id":2,"method":"twice"})");
  send(R"({"id":3,"method":"ping"})");
  std::vector<Json> answered = responses();
  ASSERT_EQ(answered.size(), 3u);
  EXPECT_EQ(answered[0], Json::parse(R"({"id":1,"ok":false,"error":")" +
                                     std::string(kRequestNotCompletedMessage) + R"("})"));
  EXPECT_EQ(answered[1], Json::parse(R"({"id":2,"ok":true,"result":{"first":true}})"));
  EXPECT_EQ(answered[2]["id"], 3);
  EXPECT_EQ(delegate->droppedAnswers(), 1u);
  EXPECT_FALSE(delegate->requestInFlight());
}

TEST_F(DispatcherTest, CompletionKindsDecideTheRestore) {
  start(Json::object(), kTestMethods);
  struct Case {
    std::string request;
    std::string response;
    bool restored;
  };
  const Case cases[] = {
      {R"({"id":1,"method":"slow_fails"})", R"({"id":1,"ok":false,"error":"no click was sent"})",
       true},
      {R"({"id":2,"method":"failing"})",
       R"({"id":2,"ok":false,"error":"The operation couldn’t be completed."})", true},
      {R"({"id":3,"method":"guarded"})", R"({"id":3,"ok":true,"result":{"guarded":true}})", false},
      {R"({"id":4,"method":"guarded","params":{"fail":1}})",
       R"({"id":4,"ok":false,"error":"guard failed"})", true},
      {R"({"id":5,"method":"unguard"})", R"({"id":5,"ok":true,"result":{"unguarded":true}})",
       false},
      {R"({"id":6,"method":"unguard","params":{"fail":1}})",
       R"({"id":6,"ok":false,"error":"unguard failed"})", false},
      {R"({"id":7,"method":"wrapped"})", R"({"id":7,"ok":true,"result":{"windows":[1]}})", true},
  };
  for (const Case& c : cases) {
    lines.clear();
    log.clear();
    send(c.request);
    ASSERT_EQ(lines.size(), 1u) << c.request;
    EXPECT_EQ(Json::parse(lines[0]), Json::parse(c.response)) << c.request;
    bool restored = std::find(log.begin(), log.end(), "restore@0") != log.end();
    EXPECT_EQ(restored, c.restored) << c.request;
    EXPECT_FALSE(delegate->requestInFlight()) << c.request;
  }
}

// The platform hears of each request's start before anything of it runs,
// and of its end once, after the restore and before its answer is written,
// on every way a request completes.
TEST_F(DispatcherTest, EveryRequestStartsAndEndsOnceBeforeItsAnswer) {
  start(Json::object(), kTestMethods);
  platform->noting = true;
  struct Case {
    std::string request;
    bool lease;
    std::vector<std::string> log;
  };
  const std::vector<std::string> finished = {"started@0", "expireLease@0", "restore@0", "ended@0"};
  const std::vector<std::string> direct = {"started@0", "expireLease@0", "ended@0"};
  const Case cases[] = {
      {R"({"id":1,"method":"ping"})", false, finished},
      {R"({"id":2,"method":"unknown"})", false, finished},
      {R"({"id":3,"method":"failing"})", false, finished},
      {R"({"id":4,"method":"slow"})", false, finished},
      {R"({"id":5,"method":"slow_fails"})", false, finished},
      {R"({"id":6,"method":"forgets"})", false, finished},
      {R"({"id":7,"method":"twice"})", false, finished},
      {R"({"id":8,"method":"guarded"})", false, direct},
      {R"({"id":9,"method":"unguard"})", false, direct},
      {R"({"id":10,"method":"ping"})", true, direct},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.request);
    guard->lease = c.lease;
    log.clear();
    lines.clear();
    send(c.request);
    EXPECT_EQ(lines.size(), 1u);
    EXPECT_EQ(log, c.log);
  }

  // "close" ends its request before answering, then terminates.
  start(Json::object());
  platform->noting = true;
  desktop->loop().post([this] { delegate->enqueue(Json::parse(R"({"id":1,"method":"close"})")); });
  EXPECT_THROW(desktop->loop().runUntilIdle(), sim::SimApplication::Terminated);
  EXPECT_EQ(log,
            (std::vector<std::string>{"started@0", "expireLease@0", "clearGuardLease@0",
                                      "releaseControllers@0", "ended@0", "releaseControllers@1"}));
}

TEST_F(DispatcherTest, ALongQueueRunsInALoopNotARecursion) {
  // 100000 requests queue up behind one in flight; its completion must start
  // them all without nesting one call level per request (which would
  // overflow the stack).
  start(Json::object(), kTestMethods);
  constexpr int kCount = 100000;
  desktop->loop().post([this] {
    delegate->enqueue(Json::parse(R"({"id":0,"method":"slow"})"));
    for (int i = 1; i <= kCount; ++i)
      delegate->enqueue(Json{{"id", i}, {"method", "ping"}});
  });
  desktop->loop().runUntilIdle();
  ASSERT_EQ(lines.size(), static_cast<size_t>(kCount + 1));
  for (int i = 0; i <= kCount; i += 9973)
    EXPECT_EQ(Json::parse(lines[i])["id"], i);
  EXPECT_EQ(Json::parse(lines.back())["id"], kCount);
}

TEST_F(DispatcherTest, LeaseRefusalsInALongQueueDoNotNestEither) {
  // The direct answers of the lease gate start the next request too.
  start(Json::object(), kTestMethods);
  constexpr int kCount = 100000;
  desktop->loop().post([this] {
    delegate->enqueue(Json::parse(R"({"id":0,"method":"slow"})"));
    for (int i = 1; i <= kCount; ++i)
      delegate->enqueue(Json{{"id", i}, {"method", "ping"}});
  });
  desktop->loop().postDelayed(0.1, [this] { guard->lease = true; });
  desktop->loop().runUntilIdle();
  ASSERT_EQ(lines.size(), static_cast<size_t>(kCount + 1));
  EXPECT_EQ(Json::parse(lines[1])["error"], kLease);
  EXPECT_EQ(Json::parse(lines.back())["error"], kLease);
}

}  // namespace
}  // namespace cuh
