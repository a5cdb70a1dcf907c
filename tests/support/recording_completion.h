// A request completion for tests: records every answer, counts answers
// dropped as second ones, and can say that the helper is terminating.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "protocol/json.h"
#include "protocol/request_completion.h"

namespace cuh::testing {

class RecordingCompletion final : public RequestCompletion {
 public:
  struct Call {
    std::optional<int64_t> id;
    std::optional<Json> result;
    std::optional<std::string> error;
  };

  void finish(std::optional<int64_t> id,
              std::optional<Json> result,
              std::optional<std::string> error) override {
    calls.push_back({id, std::move(result), std::move(error)});
    if (onFinish)
      onFinish();
  }
  bool terminating() const override { return ending; }
  void answerDropped() override { ++dropped; }

  std::vector<Call> calls;
  int dropped = 0;
  // Answers from now on are given while the helper terminates.
  bool ending = false;
  // Runs after each answer is recorded (e.g. the restore the dispatcher's
  // finish does).
  std::function<void()> onFinish;
};

}  // namespace cuh::testing
