// The dispatcher's table lists the parameters each method reads before it
// asks the desktop anything, in order; the request fuzzer relies on it.
// Checked against the methods themselves: with the parameters listed before
// one given and that one left out (or of the wrong type), the answer names
// exactly that one; so the list has the methods' order and kinds, and no
// parameter they read first is missing from it.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/dispatcher.h"
#include "app/helper_delegate.h"
#include "platform/sim/sim_application.h"
#include "platform/sim/sim_desktop.h"
#include "support/test_desktop.h"

namespace cuh {
namespace {

// A value each reader accepts.
Json acceptedValue(ParamKind kind) {
  switch (kind) {
    case ParamKind::pid:
      return testing::kTargetPid;
    case ParamKind::windowId:
      return testing::kTargetWindow;
    case ParamKind::integer:
    case ParamKind::optionalInt:
      return 1;
    case ParamKind::number:
    case ParamKind::optionalNumber:
      return 40;
    case ParamKind::string:
      return "left";
    case ParamKind::dictionary:
      return Json::object();
  }
  return nullptr;
}

bool isRequired(ParamKind kind) {
  return kind != ParamKind::optionalNumber && kind != ParamKind::optionalInt;
}

class MethodParametersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Json target{{"id", testing::kTargetWindow},
                {"pid", testing::kTargetPid},
                {"title", "Notes"},
                {"bounds", testing::sceneFrame(100, 100, 400, 300)},
                {"ax", Json{{"ref", "notes"}}}};
    desktop = sim::SimDesktop::create(testing::baseScene(Json::array({target})));
    HelperOptions options;
    options.inputFd = -1;
    options.output = [this](std::string_view line) { lines.emplace_back(line); };
    delegate = HelperDelegate::create(*desktop, std::move(options));
    desktop->application().setDelegate(delegate.get());
  }
  void TearDown() override {
    desktop->application().setDelegate(nullptr);
    delegate.reset();
  }

  // The error of the answer to `method` with `params`, or "" when it
  // succeeded.
  std::string errorOf(std::string_view method, Json params) {
    Json request{{"id", 1}, {"method", method}, {"params", std::move(params)}};
    lines.clear();
    desktop->loop().post([this, request] { delegate->enqueue(request); });
    desktop->loop().runUntilIdle(30);
    EXPECT_EQ(lines.size(), 1u) << method;
    if (lines.empty())
      return "";
    Json response = Json::parse(lines.front());
    return response.value("error", "");
  }

  std::unique_ptr<sim::SimDesktop> desktop;
  std::shared_ptr<HelperDelegate> delegate;
  std::vector<std::string> lines;
};

TEST_F(MethodParametersTest, EachListedParameterIsReadInItsPlace) {
  for (const MethodEntry& entry : methodTable()) {
    for (size_t left = 0; left < entry.parameters.size(); ++left) {
      const ParamSpec& spec = entry.parameters[left];
      if (!isRequired(spec.kind))
        continue;
      SCOPED_TRACE(std::string(entry.name) + " " + std::string(spec.key));
      Json given = Json::object();
      for (size_t i = 0; i < left; ++i)
        given[std::string(entry.parameters[i].key)] = acceptedValue(entry.parameters[i].kind);
      const std::string expected = "Missing macOS computer-use parameter: " + std::string(spec.key);
      EXPECT_EQ(errorOf(entry.name, given), expected);
      given[std::string(spec.key)] = Json::array();
      EXPECT_EQ(errorOf(entry.name, given), expected) << "of the wrong type";
    }
  }
}

}  // namespace
}  // namespace cuh
