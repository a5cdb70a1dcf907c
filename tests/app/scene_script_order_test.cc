// A scene whose script plays the user right after a response, against a
// client that answers each response at once: the client's next request runs
// after the rule has acted and the user's event has reached the target's
// tap, whichever thread wrote the response. Here the client answers from
// inside the write itself, the fastest a client can ever be.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/helper_delegate.h"
#include "platform/sim/sim_application.h"
#include "platform/sim/sim_desktop.h"
#include "support/row_name.h"
#include "support/user_click_scene.h"

namespace cuh {
namespace {

const Json kBeginGuard = {{"id", 1},
                          {"method", "begin_guard"},
                          {"params", testing::notesGuardParams()}};

struct FastClientCase {
  const char* name;
  // The client sends an invalid line after the lease began, and the user's
  // click comes with its answer, which the reader thread writes.
  bool invalidLineBetween;
};

// Failures name the row.
void PrintTo(const FastClientCase& row, std::ostream* os) {
  *os << row.name;
}

class SceneScriptOrder : public ::testing::TestWithParam<FastClientCase> {
 protected:
  void TearDown() override {
    if (desktop)
      desktop->application().setDelegate(nullptr);
    delegate.reset();
  }

  void start(const Json& scene) {
    desktop = sim::SimDesktop::create(scene);
    HelperOptions options;
    options.inputFd = -1;
    options.output = [this](std::string_view line) { clientReads(Json::parse(line)); };
    delegate = HelperDelegate::create(*desktop, std::move(options));
    desktop->application().setDelegate(delegate.get());
  }

  // Hands a request to the main loop as the reader does, from the calling
  // thread.
  void handOver(Json request) {
    std::weak_ptr<HelperDelegate> weak = delegate;
    desktop->loop().post([weak, request = std::move(request)]() mutable {
      if (auto self = weak.lock())
        self->enqueue(std::move(request));
    });
  }

  // The client: ends the lease as soon as it reads the line the click comes
  // with.
  void clientReads(Json response) {
    responses.push_back(response);
    if (response["id"] == 1)
      token = response["result"]["token"];
    bool clickLine = GetParam().invalidLineBetween ? response["id"].is_null() : response["id"] == 1;
    if (clickLine)
      handOver({{"id", 2}, {"method", "end_guard"}, {"params", {{"token", token}}}});
  }

  std::unique_ptr<sim::SimDesktop> desktop;
  std::shared_ptr<HelperDelegate> delegate;
  std::vector<Json> responses;
  Json token;
};

TEST_P(SceneScriptOrder, TheNextRequestSeesWhatTheRuleDid) {
  bool invalidLine = GetParam().invalidLineBetween;
  start(testing::sceneWithUserClicksAfter({invalidLine ? 2 : 1}));
  handOver(kBeginGuard);
  desktop->loop().runUntilIdle();
  if (invalidLine) {
    std::thread reader([this] { delegate->writer().writeInvalidJson(); });
    reader.join();
    desktop->loop().runUntilIdle();
  }
  ASSERT_EQ(responses.size(), invalidLine ? 3u : 2u);
  const Json& end = responses.back();
  ASSERT_EQ(end["id"], 2) << end.dump();
  EXPECT_EQ(end["result"]["userIntervened"], true) << end.dump();
  EXPECT_EQ(end["result"]["guardHealthy"], false) << end.dump();
  EXPECT_EQ(end["result"]["foregroundPreserved"], true) << end.dump();
}

INSTANTIATE_TEST_SUITE_P(
    Writers,
    SceneScriptOrder,
    ::testing::Values(FastClientCase{"answer written by the main thread", false},
                      FastClientCase{"invalid-JSON answer written by the reader", true}),
    testing::RowName());

}  // namespace
}  // namespace cuh
