// A small desktop for the background-input tests and a harness that runs
// one input request on it, on the virtual clock, until the loop is idle.
//
// The desktop: the user's "Terminal" (pid 200, window 20) is in front; the
// target "Notes" (pid 100) has window 11 (800 x 600 at (100, 50), its
// focused window) holding a text field, a button and a scroll area with a
// cell, and a second window 12; "Mail" (pid 300, window 30) can come to the
// front; window 40 belongs to pid 400, a process that is not an application.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "guard/foreground_guard.h"
#include "platform/sim/sim_desktop.h"
#include "protocol/helper_failure.h"
#include "protocol/json.h"
#include "protocol/request_completion.h"

namespace cuh::testing {

inline constexpr int32_t kTargetPid = 100;
inline constexpr int32_t kUserPid = 200;
inline constexpr int32_t kOtherPid = 300;
inline constexpr uint32_t kTargetWindow = 11;
inline constexpr uint32_t kSecondWindow = 12;
inline constexpr double kWindowX = 100;
inline constexpr double kWindowY = 50;

inline Json screenFrame(double x, double y, double width, double height) {
  return Json{{"x", x}, {"y", y}, {"width", width}, {"height", height}};
}
// A frame given relative to window 11's top-left corner.
inline Json inWindow(double x, double y, double width, double height) {
  return screenFrame(kWindowX + x, kWindowY + y, width, height);
}

inline Json inputScene() {
  Json pageActions = Json::array(
      {"AXScrollUpByPage", "AXScrollDownByPage", "AXScrollLeftByPage", "AXScrollRightByPage"});
  Json field{{"ref", "field"},
             {"role", "AXTextField"},
             {"title", "Name"},
             {"value", "hello"},
             {"frame", inWindow(10, 10, 200, 24)},
             {"settable", Json::array({"AXFocused", "AXValue", "AXSelectedTextRange"})}};
  Json button{{"ref", "ok"},
              {"role", "AXButton"},
              {"title", "OK"},
              {"frame", inWindow(10, 50, 80, 24)},
              {"actions", Json::array({"AXPress"})}};
  Json scroller{{"ref", "scroller"},
                {"role", "AXScrollArea"},
                {"frame", inWindow(300, 100, 400, 400)},
                {"actions", pageActions},
                {"children", Json::array({Json{{"ref", "cell"},
                                               {"role", "AXStaticText"},
                                               {"value", "row"},
                                               {"frame", inWindow(310, 110, 100, 20)}}})}};
  Json otherField{{"ref", "otherField"},
                  {"role", "AXTextField"},
                  {"value", "other"},
                  {"frame", screenFrame(1010, 60, 100, 24)},
                  {"settable", Json::array({"AXFocused", "AXSelectedTextRange"})}};
  Json otherScroller{{"ref", "otherScroller"},
                     {"role", "AXScrollArea"},
                     {"frame", screenFrame(1010, 100, 200, 100)},
                     {"actions", pageActions}};
  return Json{
      {"frontmost", kUserPid},
      {"apps", Json::array({
                   Json{{"pid", kUserPid}, {"name", "Terminal"}},
                   Json{{"pid", kTargetPid}, {"name", "Notes"}, {"focusedWindow", kTargetWindow}},
                   Json{{"pid", kOtherPid}, {"name", "Mail"}},
               })},
      {"windows", Json::array({
                      Json{{"id", 20},
                           {"pid", kUserPid},
                           {"title", "Shell"},
                           {"bounds", screenFrame(0, 0, 500, 400)},
                           {"ax", Json::object()}},
                      Json{{"id", kTargetWindow},
                           {"pid", kTargetPid},
                           {"title", "Doc"},
                           {"bounds", screenFrame(kWindowX, kWindowY, 800, 600)},
                           {"ax", Json{{"children", Json::array({field, button, scroller})}}}},
                      Json{{"id", kSecondWindow},
                           {"pid", kTargetPid},
                           {"title", "Other"},
                           {"bounds", screenFrame(1000, 50, 300, 200)},
                           {"ax", Json{{"children", Json::array({otherField, otherScroller})}}}},
                      Json{{"id", 30},
                           {"pid", kOtherPid},
                           {"title", "Inbox"},
                           {"bounds", screenFrame(0, 500, 300, 200)},
                           {"ax", Json::object()}},
                      Json{{"id", 40},
                           {"pid", 400},
                           {"title", "Daemon"},
                           {"bounds", screenFrame(0, 0, 50, 50)}},
                  })},
  };
}

// The app entry of `pid` in a scene, to adjust it.
inline Json& sceneApp(Json& scene, int32_t pid) {
  for (Json& app : scene["apps"]) {
    if (app["pid"] == pid)
      return app;
  }
  throw std::logic_error("no such app in the scene");
}

// A script rule that applies `action` right after the n-th event posted to
// the target.
inline Json afterTargetPosts(int count, Json action) {
  return Json{{"when", Json{{"afterPosts", Json{{"pid", kTargetPid}, {"count", count}}}}},
              {"do", Json::array({std::move(action)})}};
}

// Records the one finish of a request, and gives back borrowed focus state
// first, as the dispatcher's finish does.
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

  std::vector<Call> calls;

 private:
  sim::SimDesktop& desktop_;
  ForegroundGuard& guard_;
};

using StartFunction = void (*)(platform::Platform&,
                               ForegroundGuard&,
                               std::optional<int64_t>,
                               const Json&,
                               std::weak_ptr<RequestCompletion>);

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

  // Runs one request to its end: a synchronous refusal, or exactly one
  // finish once the loop is idle.
  Outcome run(StartFunction start, const Json& params) {
    auto completion = std::make_shared<RecordingCompletion>(*desktop_, guard_);
    double startedAt = desktop_->clock().uptime();
    size_t postsAtStart = desktop_->traceLines("post").size();
    Outcome outcome;
    size_t postsAtRefusal = 0;
    try {
      start(*desktop_, guard_, 7, params, completion);
    } catch (const HelperFailure& failure) {
      outcome.synchronous = true;
      outcome.error = failure.message();
      postsAtRefusal = desktop_->traceLines("post").size();
      guard_.restoreAfterRequest();  // the dispatcher finishes it
    }
    EXPECT_TRUE(desktop_->loop().runUntilIdle(60)) << "the loop never went idle";
    size_t postsAtEnd = desktop_->traceLines("post").size();
    if (outcome.synchronous) {
      EXPECT_TRUE(completion->calls.empty()) << "a refused request was also finished";
      postsAtEnd = postsAtRefusal;
    } else if (completion->calls.size() != 1) {
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
