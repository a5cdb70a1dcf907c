#include "platform/linux/element_values.h"

#include <gtest/gtest.h>

#include "platform/linux/atspi_mapping.h"

namespace cuh::linux_desktop {
namespace {

constexpr uint32_t role(BusRole r) {
  return static_cast<uint32_t>(r);
}
constexpr uint64_t state(BusState s) {
  return uint64_t{1} << static_cast<uint32_t>(s);
}

struct SourceCase {
  const char* what;
  uint32_t role;
  std::vector<std::string> interfaces;
  ValueSource expected;
};

TEST(ElementValuesTest, SourceByRoleAndInterfaces) {
  const std::vector<std::string> text{"org.a11y.atspi.Accessible", "org.a11y.atspi.Text"};
  const std::vector<std::string> value{"org.a11y.atspi.Value"};
  const std::vector<std::string> both{"org.a11y.atspi.Text", "org.a11y.atspi.Value"};
  const SourceCase cases[] = {
      {"password text, whatever it offers", role(BusRole::passwordText), both, ValueSource::none},
      {"entry", role(BusRole::entry), text, ValueSource::text},
      {"label", role(BusRole::label), text, ValueSource::text},
      {"spin button with text too", role(BusRole::spinButton), both, ValueSource::number},
      {"slider", role(BusRole::slider), value, ValueSource::number},
      {"level bar", role(BusRole::levelBar), value, ValueSource::number},
      {"check box", role(BusRole::checkBox), text, ValueSource::checkState},
      {"radio menu item", role(BusRole::radioMenuItem), {}, ValueSource::checkState},
      {"toggle button", role(BusRole::toggleButton), {}, ValueSource::checkState},
      {"push button", role(BusRole::pushButton), {"org.a11y.atspi.Action"}, ValueSource::none},
      {"a panel with a value", role(BusRole::panel), value, ValueSource::number},
  };
  for (const SourceCase& c : cases)
    EXPECT_EQ(valueSource(c.role, c.interfaces), c.expected) << c.what;
}

TEST(ElementValuesTest, CheckStatesNeedNoCallAndFailedReadsHaveNoValue) {
  EXPECT_FALSE(valueCall({":1.5", "/a"}, ValueSource::checkState));
  EXPECT_FALSE(valueCall({":1.5", "/a"}, ValueSource::none));
  EXPECT_EQ(valueCall({":1.5", "/a"}, ValueSource::text)->member, "GetText");
  EXPECT_EQ(valueFrom(ValueSource::checkState, state(BusState::checked), nullptr),
            ElementValue(1.0));
  EXPECT_EQ(valueFrom(ValueSource::checkState, 0, nullptr), ElementValue(0.0));
  EXPECT_EQ(valueFrom(ValueSource::checkState,
                      state(BusState::checked) | state(BusState::indeterminate), nullptr),
            ElementValue(2.0));
  CallReply timedOut;
  timedOut.status = CallStatus::timedOut;
  EXPECT_FALSE(valueFrom(ValueSource::text, 0, &timedOut));
  EXPECT_FALSE(valueFrom(ValueSource::number, 0, &timedOut));
  EXPECT_FALSE(valueFrom(ValueSource::none, state(BusState::checked), nullptr));
}

}  // namespace
}  // namespace cuh::linux_desktop
