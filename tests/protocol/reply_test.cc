// The one answer of a request given later: first answer out, second dropped
// and counted, and the helper's own answer when the last copy goes
// unanswered, except while terminating or with nobody left to answer to.
#include "protocol/reply.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace cuh {
namespace {

class RecordingCompletion final : public RequestCompletion {
 public:
  void finish(std::optional<int64_t> id,
              std::optional<Json> result,
              std::optional<std::string> error) override {
    answers.push_back(result ? result->dump() : "error: " + error.value_or("none"));
    ids.push_back(id);
  }
  bool terminating() const override { return ending; }
  void answerDropped() override { ++dropped; }

  std::vector<std::string> answers;
  std::vector<std::optional<int64_t>> ids;
  int dropped = 0;
  bool ending = false;
};

TEST(ReplyTest, AnswersOnceThroughAnyCopyAndCountsTheRest) {
  auto completion = std::make_shared<RecordingCompletion>();
  {
    Reply reply(completion, 4);
    Reply copy = reply;
    copy.succeed(Json{{"done", true}});
    EXPECT_TRUE(reply.answered());
    reply.fail("too late");
    copy.succeed(Json{{"again", true}});
  }
  EXPECT_EQ(completion->answers, (std::vector<std::string>{R"({"done":true})"}));
  EXPECT_EQ(completion->ids, (std::vector<std::optional<int64_t>>{4}));
  EXPECT_EQ(completion->dropped, 2);
}

TEST(ReplyTest, LastCopyGoneUnansweredAnswersForTheOperation) {
  struct Case {
    const char* name;
    bool terminating;
    bool completionGone;
    std::vector<std::string> answers;
  };
  const Case cases[] = {
      {"running", false, false, {std::string("error: ") + kRequestNotCompletedMessage}},
      {"terminating", true, false, {}},
      {"completion gone", false, true, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto completion = std::make_shared<RecordingCompletion>();
    completion->ending = c.terminating;
    std::weak_ptr<RecordingCompletion> watch = completion;
    std::shared_ptr<RecordingCompletion> keep = c.completionGone ? nullptr : completion;
    {
      Reply reply(completion, std::nullopt);
      completion.reset();
      Reply copy = reply;
      { Reply moved = std::move(copy); }
      EXPECT_EQ(watch.expired(), c.completionGone);
      if (keep) {
        EXPECT_TRUE(keep->answers.empty()) << "a copy is still held";
      }
    }
    if (keep) {
      EXPECT_EQ(keep->answers, c.answers);
      EXPECT_EQ(keep->dropped, 0);
    }
  }
}

}  // namespace
}  // namespace cuh
