// A caller's session against the demo desktop, through the real binary:
// observe, act through accessibility, click and type into a background
// window, hold a guard lease; the trace shows what reached the target.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "e2e/support/checked_helper.h"

namespace cuh::e2e {
namespace {

using nlohmann::json;

// The Notes window of the demo desktop, as the caller observed it.
json notesWindow(json params = json::object()) {
  params["pid"] = 502;
  params["windowId"] = 201;
  params["width"] = 900;
  params["height"] = 640;
  return params;
}

class Session : public ::testing::Test {
 protected:
  void SetUp() override {
    tracePath_ = ::testing::TempDir() + "session-" + std::to_string(getpid()) + ".trace";
    std::remove(tracePath_.c_str());
    helper_ = std::make_unique<CheckedHelper>(std::vector<std::string>{"--scene", sourcePath("scenes/demo.json"), "--trace",
                                                             tracePath_});
  }
  void TearDown() override { std::remove(tracePath_.c_str()); }

  json call(const std::string& method, const json& params) {
    json request{{"id", ++nextId_}, {"method", method}, {"params", params}};
    EXPECT_TRUE(helper_->writeLine(request.dump()));
    auto response = helper_->readJson();
    EXPECT_TRUE(response.has_value()) << method;
    if (!response)
      return json::object();
    EXPECT_EQ((*response)["id"], nextId_) << method;
    return *response;
  }

  std::vector<json> trace(const std::string& kind) {
    std::vector<json> lines;
    std::ifstream in(tracePath_);
    for (std::string line; std::getline(in, line);) {
      json entry = json::parse(line);
      if (entry["kind"] == kind)
        lines.push_back(entry);
    }
    return lines;
  }

  std::string tracePath_;
  std::unique_ptr<CheckedHelper> helper_;
  int nextId_ = 0;
};

TEST_F(Session, ObservesActsAndTypesIntoABackgroundWindow) {
  json windows = call("list_windows", json::object())["result"]["windows"];
  ASSERT_EQ(windows.size(), 2u);
  EXPECT_EQ(windows[1]["windowId"], 201);
  EXPECT_EQ(windows[1]["focused"], true);

  json tree = call("accessibility_tree", notesWindow())["result"]["elements"];
  json body;
  for (const json& row : tree) {
    if (row["description"] == "Note body")
      body = row;
  }
  ASSERT_FALSE(body.is_null());

  json set = call("element_action",
                  notesWindow({{"operation", "set_value"}, {"value", "Hello"}, {"element", body}}));
  EXPECT_EQ(set["result"], json({{"delivery", "verified"}}));

  // A click into the search field: the field holds focus afterwards.
  json click =
      call("click", notesWindow({{"x", 400}, {"y", 22}, {"button", "left"}, {"clickCount", 1}}));
  EXPECT_EQ(click["result"]["delivery"], "deliveredUnverified");
  EXPECT_EQ(click["result"]["focusedX"], 780);
  EXPECT_EQ(click["result"]["focusedY"], 162);

  // Typing "a" (key code 0) there.
  json key = call(
      "key", notesWindow({{"x", 400}, {"y", 22}, {"keyName", "a"}, {"keyCode", 0}, {"flags", 0}}));
  EXPECT_EQ(key["result"], json({{"delivery", "deliveredUnverified"}}));

  json tree2 = call("accessibility_tree", notesWindow())["result"]["elements"];
  std::vector<std::string> values;
  for (const json& row : tree2) {
    if (row["role"] == "AXTextField" || row["role"] == "AXTextArea")
      values.push_back(row["value"]);
  }
  EXPECT_EQ(values, (std::vector<std::string>{"a", "Hello"}));

  // Every event went to Notes alone; the user's Terminal got nothing.
  std::vector<json> posts = trace("post");
  ASSERT_FALSE(posts.empty());
  for (const json& post : posts)
    EXPECT_EQ(post["pid"], 502) << post.dump();
  std::vector<int> keyTypes;
  for (const json& post : posts) {
    if (post["event"].contains("keyCode"))
      keyTypes.push_back(post["event"]["type"]);
  }
  EXPECT_EQ(keyTypes, (std::vector<int>{10, 11}));
  // The borrowed focus state was given back: the last event deactivates.
  EXPECT_EQ(posts.back()["event"]["type"], 13);
  EXPECT_EQ(posts.back()["event"]["subtype"], 2);

  EXPECT_EQ(call("close", json::object())["result"], json({{"closed", true}}));
  EXPECT_EQ(helper_->waitForExit(), 0);
  EXPECT_EQ(helper_->stderrText(), "");
}

TEST_F(Session, AGuardLeaseHoldsOffOtherRequestsUntilItEnds) {
  json begin = call("begin_guard", notesWindow());
  ASSERT_TRUE(begin["ok"]) << begin.dump();
  EXPECT_EQ(begin["result"]["foregroundPID"], 501);
  EXPECT_EQ(begin["result"]["expiresInMs"], 20000);

  EXPECT_EQ(call("ping", json::object())["error"],
            "A macOS foreground guard lease is already active; end it before another native "
            "request");
  EXPECT_EQ(call("end_guard", {{"token", "not-the-token"}})["error"],
            "The macOS foreground guard token is invalid");

  json end = call("end_guard", {{"token", begin["result"]["token"]}});
  EXPECT_EQ(end["result"]["foregroundPreserved"], true);
  EXPECT_EQ(end["result"]["userIntervened"], false);
  EXPECT_EQ(end["result"]["guardHealthy"], true);
  EXPECT_EQ(call("ping", json::object())["result"], json({{"ready", true}}));

  // The tap installed for the lease goes when the controllers are released.
  EXPECT_EQ(call("release", json::object())["result"], json({{"released", true}}));
  EXPECT_EQ(trace("tapCreated").size(), 1u);
  EXPECT_EQ(trace("tapRemoved").size(), 1u);
}

}  // namespace
}  // namespace cuh::e2e
