// The semantic guard around accessibility actions: arming, and the two
// verifications with their messages.
#include <functional>
#include <memory>

#include "guard/guard_fixture.h"

namespace cuh::testing {
namespace {

const char kNothingSent[] =
    "Zuzozevu Viv stopped because the user changed the foreground window; no accessibility action "
    "was sent";
const char kMayHaveCompleted[] =
    "The macOS accessibility action may have completed after foreground protection changed and "
    "cannot be safely retried";

class SemanticGuard : public GuardFixture {
 protected:
  // Messages of the verification before and after the mutation; "" for a
  // pass.
  std::pair<std::string, std::string> verdicts(const platform::GuardedTargetRef& c) {
    return {failureOf([&] { guard->verifySemanticGuard(c, userForeground(), false); }),
            failureOf([&] { guard->verifySemanticGuard(c, userForeground(), true); })};
  }
};

TEST_F(SemanticGuard, ArmsTheControllerForTheWindow) {
  auto guarded = guard->armSemanticGuard(kTargetPid, kTargetWindow, userForeground());
  ASSERT_TRUE(guarded);
  auto controller = protection().controllerFor(kTargetPid);
  ASSERT_EQ(controller, guarded) << "the target's own controller";
  const quartz::FocusContext& context = controller->context();
  EXPECT_TRUE(context.semanticGuardActive);
  EXPECT_TRUE(context.protecting);
  EXPECT_EQ(context.expectedWindowID, kTargetWindow);
  EXPECT_EQ(context.expectedStateMarker, 0);
  EXPECT_FALSE(context.sawSyntheticActivation);
  EXPECT_FALSE(controller->holdsBorrowedState());
  EXPECT_EQ(verdicts(guarded), std::make_pair(std::string(), std::string()));
  EXPECT_TRUE(trace("post").empty()) << "the semantic guard posts nothing";
}

TEST_F(SemanticGuard, TargetInFrontIsNotGuarded) {
  apply(R"({"frontmost": 200})");
  auto controller = guard->armSemanticGuard(kTargetPid, kTargetWindow, {kTargetPid, kTargetWindow});
  EXPECT_EQ(controller, nullptr);
  EXPECT_TRUE(protection().controllers().empty());
  EXPECT_EQ(verdicts(controller), std::make_pair(std::string(), std::string()));
}

TEST_F(SemanticGuard, ForegroundWithoutWindowFailsBeforeAnyController) {
  EXPECT_EQ(failureOf([&] {
              guard->armSemanticGuard(kTargetPid, kTargetWindow, {kUserPid, 0});
            }),
            "Could not identify the exact foreground macOS window; no accessibility action was "
            "sent");
  EXPECT_TRUE(protection().controllers().empty());
}

TEST_F(SemanticGuard, AnyLossOfProtectionFailsBothVerifications) {
  struct Case {
    const char* name;
    const char* action;  // a script action, or "" for none
    std::function<void(GuardFixture&, quartz::FocusController&)> change;
  };
  const Case cases[] = {
      {"user clicks into the target", R"({"userInput": {"pid": 200, "type": 1}})", nullptr},
      {"user switches application", R"({"frontmost": 300})", nullptr},
      {"user's window closes", R"({"closeWindow": 11})", nullptr},
      {"target comes to the front", R"({"frontmost": 200})", nullptr},
      {"system disables the tap", R"({"disableTap": {"pid": 200, "reason": "userInput"}})",
       nullptr},
      {"tap left disabled", "",
       [](GuardFixture& f, quartz::FocusController& c) {
         f.desktop->events().tapEnable(c.tap(), false);
       }},
      {"target relaunched", R"({"relaunch": 200})", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    load(guardScene());
    auto controller = guard->armSemanticGuard(kTargetPid, kTargetWindow, userForeground());
    if (*c.action)
      apply(c.action);
    if (c.change)
      c.change(*this, *protection().controllerFor(kTargetPid));
    run();
    EXPECT_EQ(verdicts(controller),
              std::make_pair(std::string(kNothingSent), std::string(kMayHaveCompleted)));
  }
}

TEST_F(SemanticGuard, TargetActivatingItselfDoesNotCountAsTheUser) {
  auto controller = guard->armSemanticGuard(kTargetPid, kTargetWindow, userForeground());
  apply(R"({"appActivates": 200})");
  run();
  EXPECT_EQ(verdicts(controller), std::make_pair(std::string(), std::string()));
}

// A desktop whose protection closes popups instead of keeping them from
// opening reports them; only the verification after the change answers for
// one, and a lost foreground still comes first.
TEST_F(SemanticGuard, APopupClosedAgainFailsOnlyTheVerificationAfterTheChange) {
  class Reported final : public platform::GuardedTarget {
   public:
    explicit Reported(platform::ProtectionReport report) : report_(report) {}
    bool targetsCurrentProcess() const override { return true; }
    platform::ProtectionReport report(const platform::ForegroundSnapshot&) const override {
      return report_;
    }
    void clear() override {}

   private:
    platform::ProtectionReport report_;
  };
  platform::ProtectionReport popup{
      .foregroundPreserved = true, .guardHealthy = true, .popupDismissed = true};
  EXPECT_EQ(verdicts(std::make_shared<Reported>(popup)),
            std::make_pair(std::string(),
                           std::string("The target app opened a popup menu, which was closed "
                                       "again; the accessibility action may have taken effect "
                                       "and cannot be safely retried")));
  popup.foregroundPreserved = false;
  EXPECT_EQ(verdicts(std::make_shared<Reported>(popup)),
            std::make_pair(std::string(kNothingSent), std::string(kMayHaveCompleted)));
}

}  // namespace
}  // namespace cuh::testing
