// The line protocol through the real binary and its pipes.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "e2e/support/checked_helper.h"

namespace cuh::e2e {
namespace {

using nlohmann::json;

const std::string kInvalid =
    R"({"id":null,"ok":false,"error":"computer-use helper received invalid JSON"})";
const std::string kUnsupported = "Unsupported macOS computer-use helper method: ";

std::string nestedArrays(int depth) {
  return "{\"a\":" + std::string(depth - 1, '[') + std::string(depth - 1, ']') + "}";
}

struct LineCase {
  const char* name;
  std::string line;
  std::string response;  // byte-exact
};

TEST(Protocol, AnswersEveryLineFormExactly) {
  const LineCase cases[] = {
      {"ping", R"({"id":7,"method":"ping"})", R"({"id":7,"ok":true,"result":{"ready":true}})"},
      {"other keys ignored", R"({"x":[1],"id":8,"method":"ping","params":{"a":"b"}})",
       R"({"id":8,"ok":true,"result":{"ready":true}})"},
      {"empty line", "", kInvalid},
      {"whitespace only", " \t ", kInvalid},
      {"malformed", R"({"id":7,"method":)", kInvalid},
      {"array", "[1,2]", kInvalid},
      {"number", "42", kInvalid},
      {"string", R"("ping")", kInvalid},
      {"null", "null", kInvalid},
      {"two objects", "{}{}", kInvalid},
      {"nested 64 levels", nestedArrays(64),
       R"({"id":null,"ok":false,"error":")" + kUnsupported + R"("})"},
      {"nested 65 levels", nestedArrays(65), kInvalid},
      {"nested 1000000 levels", nestedArrays(1000000), kInvalid},
      {"string id", R"({"id":"7","method":"ping"})",
       R"({"id":null,"ok":true,"result":{"ready":true}})"},
      {"fractional id", R"({"id":3.9,"method":"ping"})",
       R"({"id":3,"ok":true,"result":{"ready":true}})"},
      {"negative fractional id", R"({"id":-0.5,"method":"ping"})",
       R"({"id":0,"ok":true,"result":{"ready":true}})"},
      {"boolean id", R"({"id":true,"method":"ping"})",
       R"({"id":1,"ok":true,"result":{"ready":true}})"},
      {"largest id", R"({"id":9223372036854775807,"method":"ping"})",
       R"({"id":9223372036854775807,"ok":true,"result":{"ready":true}})"},
      {"id beyond 64 bits", R"({"id":9223372036854775808,"method":"ping"})",
       R"({"id":null,"ok":true,"result":{"ready":true}})"},
      {"huge double id", R"({"id":1e300,"method":"ping"})",
       R"({"id":null,"ok":true,"result":{"ready":true}})"},
      {"no method", R"({"id":1})", R"({"id":1,"ok":false,"error":")" + kUnsupported + R"("})"},
      {"unknown method with slash", R"({"id":2,"method":"a/b"})",
       R"({"id":2,"ok":false,"error":")" + kUnsupported + R"(a\/b"})"},
      {"method with line feed", R"({"id":3,"method":"a\nb"})",
       R"({"id":3,"ok":false,"error":")" + kUnsupported + R"(a\nb"})"},
      {"invalid UTF-8 repaired", "{\"id\":4,\"method\":\"pi\xFFng\"}",
       R"({"id":4,"ok":false,"error":")" + kUnsupported + "pi\xEF\xBF\xBDng\"}"},
      {"params null", R"({"id":5,"method":"ping","params":null})",
       R"({"id":5,"ok":true,"result":{"ready":true}})"},
      {"status", R"({"id":6,"method":"accessibility_status","params":{"prompt":"yes"}})",
       R"({"id":6,"ok":true,"result":{"trusted":true}})"},
  };
  CheckedHelper helper;
  for (const LineCase& c : cases) {
    ASSERT_TRUE(helper.writeLine(c.line)) << c.name;
    std::optional<std::string> response = helper.readLine();
    ASSERT_TRUE(response) << c.name;
    EXPECT_EQ(*response, c.response) << c.name;
  }
  helper.closeStdin();
  EXPECT_EQ(helper.readToEnd(), "");
  EXPECT_EQ(helper.waitForExit(), 0);
  EXPECT_EQ(helper.stderrText(), "");
}

TEST(Protocol, AnOverlongLineIsRefusedAndReadingGoesOn) {
  CheckedHelper helper;
  // 17 MiB inside one string: beyond the 16 MiB cap.
  std::string line = R"({"id":1,"method":"ping","pad":")" + std::string(17u << 20, 'x') + "\"}";
  ASSERT_TRUE(helper.writeLine(line));
  ASSERT_TRUE(helper.writeLine(R"({"id":2,"method":"ping"})"));
  EXPECT_EQ(helper.readLine(), kInvalid);
  EXPECT_EQ(helper.readLine(), R"({"id":2,"ok":true,"result":{"ready":true}})");
  // Just under the cap is read whole.
  std::string big =
      R"({"id":3,"method":"ping","pad":")" + std::string((16u << 20) - 64, 'x') + "\"}";
  ASSERT_TRUE(helper.writeLine(big));
  EXPECT_EQ(helper.readLine(), R"({"id":3,"ok":true,"result":{"ready":true}})");
  helper.closeStdin();
  EXPECT_EQ(helper.waitForExit(), 0);
}

TEST(Protocol, ABurstIsAnsweredInOrderWithInvalidLinesWhole) {
  CheckedHelper helper;
  constexpr int kCount = 5000;
  std::string burst;
  for (int i = 0; i < kCount; ++i) {
    burst += R"({"id":)" + std::to_string(i) + R"(,"method":"ping"})" + "\n";
    if (i % 10 == 0)
      burst += "not json\n";
  }
  // Written from a second thread: the helper answers while the burst is
  // still arriving, and would block on a full output pipe nobody reads.
  std::thread writer([&] {
    EXPECT_TRUE(helper.write(burst));
    helper.closeStdin();
  });
  std::optional<std::string> output = helper.readToEnd(60);
  writer.join();
  ASSERT_TRUE(output);
  int nextId = 0, invalid = 0;
  size_t start = 0;
  for (size_t end; (end = output->find('\n', start)) != std::string::npos; start = end + 1) {
    std::string line = output->substr(start, end - start);
    if (line == kInvalid) {
      ++invalid;
      continue;
    }
    json response = json::parse(line);
    EXPECT_EQ(response["id"], nextId);
    ++nextId;
  }
  EXPECT_EQ(start, output->size());
  EXPECT_EQ(nextId, kCount);
  EXPECT_EQ(invalid, kCount / 10);
  EXPECT_EQ(helper.waitForExit(), 0);
}

}  // namespace
}  // namespace cuh::e2e
