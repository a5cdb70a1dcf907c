// A harness that runs one input request on the small desktop of
// input_scene.h, on the virtual clock, until the loop is idle.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "guard/foreground_guard.h"
#include "input/input_scene.h"
#include "platform/sim/sim_desktop.h"
#include "protocol/helper_failure.h"
#include "protocol/json.h"
#include "protocol/reply.h"
#include "support/recording_completion.h"
#include "support/test_desktop.h"

namespace cuh::testing {

using StartFunction = void (*)(platform::Platform&, ForegroundGuard&, const Json&, Reply);

// How one request ended.
struct Outcome {
  std::optional<Json> result;
  std::optional<std::string> error;
  bool synchronous = false;  // thrown by the start function
  double seconds = 0;        // virtual time from the start to the finish
  // The events posted by the helper to the target before the request
  // finished (the "event" objects of the trace's "post" lines).
  std::vector<Json> posts;
};

// The input scene (or another) with a ForegroundGuard working on it. The
// desktop is `desktop()` here, for the tests' brevity.
class InputHarness : public TestDesktop {
 public:
  explicit InputHarness(const Json& scene = inputScene()) {
    load(scene);
    guard_ = std::make_unique<ForegroundGuard>(*TestDesktop::desktop);
  }

  sim::SimDesktop& desktop() { return *TestDesktop::desktop; }
  ForegroundGuard& guard() { return *guard_; }

  // Runs one request to its end: a synchronous refusal, answered through
  // the reply as the dispatcher answers it, or exactly one answer of the
  // method's own once the loop is idle.
  Outcome run(StartFunction start, const Json& params) {
    return run(*TestDesktop::desktop, start, params);
  }
  // The same on `platform`, a platform that forwards to this desktop.
  Outcome run(platform::Platform& platform, StartFunction start, const Json& params) {
    auto completion = std::make_shared<RecordingCompletion>();
    double finishedAt = 0;
    size_t postsAtFinish = 0;
    completion->onFinish = [&] {
      if (completion->calls.size() > 1)
        return;
      finishedAt = TestDesktop::desktop->clock().uptime();
      postsAtFinish = TestDesktop::desktop->traceLines("post").size();
      guard_->restoreAfterRequest();  // as the dispatcher's finish does
    };
    Reply reply(completion, 7);
    double startedAt = TestDesktop::desktop->clock().uptime();
    size_t postsAtStart = TestDesktop::desktop->traceLines("post").size();
    Outcome outcome;
    try {
      start(platform, *guard_, params, reply);
    } catch (const HelperFailure& failure) {
      outcome.synchronous = true;
      reply.fail(failure.message());
    }
    EXPECT_TRUE(TestDesktop::desktop->loop().runUntilIdle(60)) << "the loop never went idle";
    EXPECT_TRUE(reply.answered()) << "the request was never answered";
    EXPECT_EQ(completion->dropped, 0) << "the request was answered twice";
    if (completion->calls.size() != 1) {
      ADD_FAILURE() << "finished " << completion->calls.size() << " times";
    } else {
      const RecordingCompletion::Call& call = completion->calls.front();
      EXPECT_EQ(call.id, 7);
      EXPECT_NE(call.result.has_value(), call.error.has_value());
      outcome.result = call.result;
      outcome.error = call.error;
      outcome.seconds = finishedAt - startedAt;
    }
    auto lines = TestDesktop::desktop->traceLines("post");
    for (size_t i = postsAtStart; i < postsAtFinish; ++i) {
      if (lines[i]["pid"] == kTargetPid)
        outcome.posts.push_back(lines[i]["event"]);
    }
    completion->onFinish = nullptr;
    return outcome;
  }

 private:
  std::unique_ptr<ForegroundGuard> guard_;  // goes before the desktop
};

// `params` with `changes` applied: a null value removes its key, any other
// value replaces it.
inline Json withChanges(Json params, const Json& changes) {
  for (const auto& [key, value] : changes.items()) {
    if (value.is_null())
      params.erase(key);
    else
      params[key] = value;
  }
  return params;
}

// A request refused before anything is scheduled: the changes to the
// method's request, an edit of the input scene, and the answer.
struct Refusal {
  const char* name;
  Json changes;
  std::function<void(Json&)> scene;
  std::string message;
};

// Runs each refusal on its own desktop: refused at once with its message,
// nothing posted.
inline void expectRefusals(StartFunction start,
                           Json (*params)(Json changes),
                           std::span<const Refusal> refusals) {
  for (const Refusal& refusal : refusals) {
    SCOPED_TRACE(refusal.name);
    Json scene = inputScene();
    if (refusal.scene)
      refusal.scene(scene);
    InputHarness harness(scene);
    Outcome outcome = harness.run(start, params(refusal.changes));
    EXPECT_TRUE(outcome.synchronous);
    EXPECT_EQ(outcome.error.value_or("(success)"), refusal.message);
    EXPECT_TRUE(outcome.posts.empty());
  }
}

// The event types of a list of posted events.
inline std::vector<int64_t> typesOf(const std::vector<Json>& posts) {
  std::vector<int64_t> types;
  for (const Json& event : posts)
    types.push_back(event["type"].get<int64_t>());
  return types;
}

// The four events of the synthetic state: window state, marked activation,
// focus click down and up.
inline constexpr size_t kSyntheticStatePosts = 4;

}  // namespace cuh::testing
