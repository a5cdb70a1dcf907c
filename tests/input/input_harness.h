// A harness that runs one input request on the small desktop of
// input_scene.h, on the virtual clock, until the loop is idle.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "guard/foreground_guard.h"
#include "input/input_scene.h"
#include "platform/sim/sim_desktop.h"
#include "protocol/helper_failure.h"
#include "protocol/json.h"
#include "protocol/reply.h"
#include "protocol/request_completion.h"

namespace cuh::testing {

// Records every finish of a request, and gives back borrowed focus state
// first, as the dispatcher's finish does; counts answers dropped as second
// ones.
class RecordingCompletion final : public RequestCompletion {
 public:
  struct Call {
    std::optional<int64_t> id;
    std::optional<Json> result;
    std::optional<std::string> error;
    double uptime = 0;       // when it finished
    size_t postsBefore = 0;  // "post" trace lines written before it
  };

  RecordingCompletion(sim::SimDesktop& desktop, ForegroundGuard& guard)
      : desktop_(desktop), guard_(guard) {}

  void finish(std::optional<int64_t> id,
              std::optional<Json> result,
              std::optional<std::string> error) override {
    calls.push_back(Call{id, std::move(result), std::move(error), desktop_.clock().uptime(),
                         desktop_.traceLines("post").size()});
    guard_.restoreAfterRequest();
  }
  void answerDropped() override { ++dropped; }

  std::vector<Call> calls;
  int dropped = 0;

 private:
  sim::SimDesktop& desktop_;
  ForegroundGuard& guard_;
};

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

class InputHarness {
 public:
  explicit InputHarness(const Json& scene = inputScene())
      : desktop_(sim::SimDesktop::create(scene)), guard_(*desktop_) {}

  sim::SimDesktop& desktop() { return *desktop_; }
  ForegroundGuard& guard() { return guard_; }

  // Runs one request to its end: a synchronous refusal, answered through
  // the reply as the dispatcher answers it, or exactly one answer of the
  // method's own once the loop is idle.
  Outcome run(StartFunction start, const Json& params) {
    auto completion = std::make_shared<RecordingCompletion>(*desktop_, guard_);
    Reply reply(completion, 7);
    double startedAt = desktop_->clock().uptime();
    size_t postsAtStart = desktop_->traceLines("post").size();
    Outcome outcome;
    try {
      start(*desktop_, guard_, params, reply);
    } catch (const HelperFailure& failure) {
      outcome.synchronous = true;
      reply.fail(failure.message());
    }
    EXPECT_TRUE(desktop_->loop().runUntilIdle(60)) << "the loop never went idle";
    EXPECT_TRUE(reply.answered()) << "the request was never answered";
    EXPECT_EQ(completion->dropped, 0) << "the request was answered twice";
    size_t postsAtEnd = desktop_->traceLines("post").size();
    if (completion->calls.size() != 1) {
      ADD_FAILURE() << "finished " << completion->calls.size() << " times";
    } else {
      const RecordingCompletion::Call& call = completion->calls.front();
      EXPECT_EQ(call.id, 7);
      EXPECT_NE(call.result.has_value(), call.error.has_value());
      outcome.result = call.result;
      outcome.error = call.error;
      outcome.seconds = call.uptime - startedAt;
      postsAtEnd = call.postsBefore;
    }
    auto lines = desktop_->traceLines("post");
    for (size_t i = postsAtStart; i < postsAtEnd; ++i) {
      if (lines[i]["pid"] == kTargetPid)
        outcome.posts.push_back(lines[i]["event"]);
    }
    return outcome;
  }

 private:
  std::unique_ptr<sim::SimDesktop> desktop_;
  ForegroundGuard guard_;
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
