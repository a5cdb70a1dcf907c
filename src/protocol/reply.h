// Reply: the one answer of a request that an operation gives later (a
// launch, background input). Copies share it. The first answer goes out
// through the request's completion; a later one is dropped and counted.
// When the last copy goes unanswered, the request still gets its one
// answer, "The macOS computer-use helper could not complete this request",
// unless the helper is terminating or the completion is gone (then nobody
// could read it). Copies may pass through other threads, but the answer and
// the last copy belong to the main thread.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "protocol/json.h"
#include "protocol/request_completion.h"

namespace cuh {

inline constexpr const char* kRequestNotCompletedMessage =
    "The macOS computer-use helper could not complete this request";

class Reply {
 public:
  Reply(std::weak_ptr<RequestCompletion> completion, std::optional<int64_t> id);

  std::optional<int64_t> id() const;
  // The completion, while it exists: a step that must not outlive it holds
  // it this way; a step that does nothing once it is gone checks for null.
  std::shared_ptr<RequestCompletion> completion() const;
  bool answered() const;

  // Answers with exactly one of a result and an error, on the main thread.
  void answer(std::optional<Json> result, std::optional<std::string> error);
  void succeed(Json result) { answer(std::move(result), std::nullopt); }
  void fail(std::string error) { answer(std::nullopt, std::move(error)); }

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace cuh
