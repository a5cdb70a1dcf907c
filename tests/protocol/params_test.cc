#include "protocol/params.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "platform/window_server.h"
#include "protocol/helper_failure.h"
#include "support/failure_message.h"

namespace cuh {
namespace {

using testing::failureOf;

const Json kParams = Json::parse(R"({
  "windowId": 12.9, "negative": -12.9, "pid": true, "off": false, "text": "",
  "name": "Notes", "stringNumber": "12", "element": {"role": "AXButton"}, "array": [1],
  "nothing": null, "huge": 1e19, "big": 4294967296, "minusOne": -1,
  "pidMax": 2147483647, "pidOver": 2147483648, "unsignedMax": 18446744073709551615
})");

TEST(ParameterReaders, ConvertNumbersAsThePlatformNumberDoes) {
  EXPECT_EQ(requiredInt(kParams, "windowId"), 12);
  EXPECT_EQ(requiredInt(kParams, "negative"), -12);
  EXPECT_EQ(requiredInt(kParams, "pid"), 1);
  EXPECT_EQ(requiredInt(kParams, "off"), 0);
  EXPECT_DOUBLE_EQ(requiredDouble(kParams, "windowId"), 12.9);
  EXPECT_DOUBLE_EQ(requiredDouble(kParams, "pid"), 1.0);
  EXPECT_EQ(requiredString(kParams, "name"), "Notes");
  EXPECT_EQ(requiredDictionary(kParams, "element")["role"], "AXButton");
  EXPECT_EQ(optionalString(kParams, "text"), "");
  EXPECT_EQ(optionalString(kParams, "name"), "Notes");
  EXPECT_EQ(optionalString(kParams, "windowId"), "");
  EXPECT_EQ(optionalString(kParams, "absent"), "");
  EXPECT_EQ(requiredPid(kParams, "pidMax"), 2147483647);
  EXPECT_EQ(requiredWindowId(kParams, "windowId"), 12u);
  EXPECT_EQ(optionalNumber(kParams, "pid"), 1.0);
  EXPECT_EQ(optionalNumber(kParams, "name"), std::nullopt);
  EXPECT_EQ(optionalInt(kParams, "windowId"), 12);
  EXPECT_EQ(optionalInt(kParams, "absent"), std::nullopt);
}

TEST(ParameterReaders, NameTheKeyOfAMissingOrMistypedValue) {
  struct Case {
    const char* name;
    std::function<void()> read;
    std::string message;
  };
  const std::string missing = "Missing macOS computer-use parameter: ";
  const Case cases[] = {
      {"string is not an integer", [] { requiredInt(kParams, "stringNumber"); },
       missing + "stringNumber"},
      {"absent integer", [] { requiredInt(kParams, "absent"); }, missing + "absent"},
      {"null integer", [] { requiredInt(kParams, "nothing"); }, missing + "nothing"},
      {"number is not a string", [] { requiredString(kParams, "windowId"); }, missing + "windowId"},
      {"empty string", [] { requiredString(kParams, "text"); }, missing + "text"},
      {"array is not a dictionary", [] { requiredDictionary(kParams, "array"); },
       missing + "array"},
      {"string is not a double", [] { requiredDouble(kParams, "name"); }, missing + "name"},
      {"params not an object", [] { requiredInt(Json::array(), "pid"); }, missing + "pid"},
      {"key passed as given", [] { requiredInt(kParams, "Window Id/x"); }, missing + "Window Id/x"},
      {"beyond 64 bits", [] { requiredInt(kParams, "huge"); },
       "The macOS computer-use parameter huge is out of range"},
      {"beyond 64 bits, unsigned", [] { requiredInt(kParams, "unsignedMax"); },
       "The macOS computer-use parameter unsignedMax is out of range"},
      {"pid beyond 32 bits", [] { requiredPid(kParams, "pidOver"); },
       "The macOS computer-use parameter pidOver is out of range"},
      {"window id beyond 32 bits", [] { requiredWindowId(kParams, "big"); },
       "The macOS computer-use parameter big is out of range"},
      {"negative window id", [] { requiredWindowId(kParams, "minusOne"); },
       "The macOS computer-use parameter minusOne is out of range"},
      {"optional integer beyond 64 bits", [] { optionalInt(kParams, "huge"); },
       "The macOS computer-use parameter huge is out of range"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(failureOf(c.read), c.message) << c.name;
  }
}

TEST(HelperFailureType, CarriesItsMessageUnchanged) {
  HelperFailure failure("Call get_app_state again");
  EXPECT_EQ(failure.message(), "Call get_app_state again");
  EXPECT_STREQ(failure.what(), "Call get_app_state again");
}

}  // namespace
}  // namespace cuh
