// How an asynchronous operation completes the request it started.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "protocol/json.h"

namespace cuh {

class RequestCompletion {
 public:
  virtual ~RequestCompletion() = default;
  // Gives back borrowed focus state, writes the one
  // response of request `id` and starts the next queued request. Called
  // exactly once per request, on the main thread. Exactly one of `result`
  // and `error` is given.
  virtual void finish(std::optional<int64_t> id,
                      std::optional<Json> result,
                      std::optional<std::string> error) = 0;
  // The helper is ending: a request left unanswered now stays unanswered.
  virtual bool terminating() const { return false; }
  // A request was answered a second time; that answer was dropped.
  virtual void answerDropped() {}
};

}  // namespace cuh
