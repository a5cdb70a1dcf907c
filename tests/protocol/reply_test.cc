// The one answer of a request given later: first answer out, second dropped
// and counted, and the helper's own answer when the last copy goes
// unanswered, except while terminating or with nobody left to answer to.
#include "protocol/reply.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/recording_completion.h"

namespace cuh {
namespace {

using testing::RecordingCompletion;

// The answers as text: a result's JSON, or "error: " and the message.
std::vector<std::string> answersOf(const RecordingCompletion& completion) {
  std::vector<std::string> out;
  for (const auto& call : completion.calls)
    out.push_back(call.result ? call.result->dump() : "error: " + call.error.value_or("none"));
  return out;
}

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
  EXPECT_EQ(answersOf(*completion), (std::vector<std::string>{R"({"done":true})"}));
  ASSERT_EQ(completion->calls.size(), 1u);
  EXPECT_EQ(completion->calls[0].id, 4);
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
        EXPECT_TRUE(keep->calls.empty()) << "a copy is still held";
      }
    }
    if (keep) {
      EXPECT_EQ(answersOf(*keep), c.answers);
      EXPECT_EQ(keep->dropped, 0);
    }
  }
}

}  // namespace
}  // namespace cuh
