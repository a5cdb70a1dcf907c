#include "protocol/json_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace cuh {
namespace {

std::string written(const Json& value) {
  std::string out;
  EXPECT_TRUE(appendJson(out, value));
  return out;
}

struct WriteCase {
  const char* name;
  Json value;
  std::string expected;
};

TEST(JsonWriter, WritesAsThePlatformWriterDoes) {
  const WriteCase cases[] = {
      {"slash escaped", "a/b", R"("a\/b")"},
      {"quote and backslash", "\"\\", R"("\"\\")"},
      {"line feed stays on one line", "a\nb\r\tc", R"("a\nb\r\tc")"},
      {"other control bytes", std::string("\x01\x1f\b\f", 4), R"("\u0001\u001f\b\f")"},
      {"nul byte", std::string("a\0b", 3), R"("a\u0000b")"},
      {"non-ASCII passes as UTF-8", "caf\xC3\xA9 \xF0\x9F\x98\x80",
       "\"caf\xC3\xA9 \xF0\x9F\x98\x80\""},
      {"integer", 42, "42"},
      {"negative integer", -7, "-7"},
      {"largest unsigned", std::numeric_limits<uint64_t>::max(), "18446744073709551615"},
      {"integral double without fraction", 3.0, "3"},
      {"negative integral double", -12.0, "-12"},
      {"large integral double", 1e15, "1000000000000000"},
      {"fraction shortest", 0.1, "0.1"},
      {"fraction", 12.5, "12.5"},
      {"huge double", 1e300, "1e+300"},
      {"tiny double", 1e-7, "1e-07"},
      {"booleans and null", Json::array({true, false, nullptr}), "[true,false,null]"},
      {"nested compact", Json{{"a", Json::array({1, Json::object()})}}, R"({"a":[1,{}]})"},
      {"key escaped", Json{{"x/y", 1}}, R"({"x\/y":1})"},
  };
  for (const WriteCase& c : cases) {
    EXPECT_EQ(written(c.value), c.expected) << c.name;
  }
}

TEST(JsonWriter, ReplacesInvalidUtf8) {
  struct Case {
    std::string input;
    std::string expected;
  };
  const std::string fffd = "\xEF\xBF\xBD";
  const Case cases[] = {
      {"a\xFF"
       "b",
       "a" + fffd + "b"},
      {"\xC3", fffd},  // truncated at the end
      {"\xE2\x82"
       "x",
       fffd + "x"},                                     // truncated three-byte sequence: one U+FFFD
      {"\xED\xA0\x80", fffd + fffd + fffd},             // an encoded surrogate
      {"\xC0\xAF", fffd + fffd},                        // overlong "/"
      {"\xF4\x90\x80\x80", fffd + fffd + fffd + fffd},  // beyond U+10FFFF
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(isValidUtf8(c.input));
    EXPECT_EQ(repairUtf8(c.input), c.expected);
    EXPECT_EQ(written(Json(c.input)), "\"" + c.expected + "\"");
  }
  EXPECT_TRUE(isValidUtf8("caf\xC3\xA9 \xF0\x9F\x98\x80"));
}

TEST(JsonWriter, RefusesNumbersJsonCannotExpress) {
  std::string out;
  EXPECT_FALSE(appendJson(out, Json{{"x", std::nan("")}}));
  EXPECT_FALSE(appendJson(out, Json::array({std::numeric_limits<double>::infinity()})));
}

}  // namespace
}  // namespace cuh
