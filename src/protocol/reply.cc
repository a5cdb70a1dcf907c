#include "protocol/reply.h"

namespace cuh {

struct Reply::State {
  std::weak_ptr<RequestCompletion> completion;
  std::optional<int64_t> id;
  bool answered = false;

  ~State() {
    if (answered)
      return;
    auto owner = completion.lock();
    if (!owner || owner->terminating())
      return;
    try {
      owner->finish(id, std::nullopt, std::string(kRequestNotCompletedMessage));
    } catch (...) {
      // Nothing may leave a destructor; the answer is lost only if writing
      // itself failed.
    }
  }
};

Reply::Reply(std::weak_ptr<RequestCompletion> completion, std::optional<int64_t> id)
    : state_(std::make_shared<State>()) {
  state_->completion = std::move(completion);
  state_->id = id;
}

std::optional<int64_t> Reply::id() const {
  return state_->id;
}

std::shared_ptr<RequestCompletion> Reply::completion() const {
  return state_->completion.lock();
}

bool Reply::answered() const {
  return state_->answered;
}

void Reply::answer(std::optional<Json> result, std::optional<std::string> error) {
  auto owner = state_->completion.lock();
  if (state_->answered) {
    if (owner)
      owner->answerDropped();
    return;
  }
  state_->answered = true;
  if (owner)
    owner->finish(state_->id, std::move(result), std::move(error));
}

}  // namespace cuh
