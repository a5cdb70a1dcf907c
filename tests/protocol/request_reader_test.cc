#include "protocol/request_reader.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

namespace cuh {
namespace {

// What a splitter reported: a line's text, or "<overlong>".
std::vector<std::string> split(LineSplitter& splitter,
                               const std::vector<std::string>& chunks,
                               bool end = true) {
  std::vector<std::string> lines;
  auto handler = [&](std::optional<std::string_view> line) {
    lines.push_back(line ? std::string(*line) : "<overlong>");
  };
  for (const std::string& chunk : chunks)
    splitter.feed(chunk, handler);
  if (end)
    splitter.finish(handler);
  return lines;
}

TEST(LineSplitter, SplitsAtLineFeeds) {
  struct Case {
    const char* name;
    std::vector<std::string> chunks;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"one line", {"abc\n"}, {"abc"}},
      {"last line without line feed", {"a\nb"}, {"a", "b"}},
      {"empty lines count", {"\n\nx\n"}, {"", "", "x"}},
      {"line across chunks", {"ab", "c", "d\ne"}, {"abcd", "e"}},
      {"no trailing empty line", {"a\n"}, {"a"}},
      {"nothing", {}, {}},
      {"carriage return kept for the parser", {"a\r\n"}, {"a\r"}},
  };
  for (const Case& c : cases) {
    LineSplitter splitter(16);
    EXPECT_EQ(split(splitter, c.chunks), c.lines) << c.name;
  }
}

TEST(LineSplitter, OverlongLinesAreReportedOnceAndReadingGoesOn) {
  struct Case {
    const char* name;
    std::vector<std::string> chunks;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"exactly the cap", {"12345678\n"}, {"12345678"}},
      {"one byte over", {"123456789\nok\n"}, {"<overlong>", "ok"}},
      {"over across chunks", {"12345", "67890", "12\nok"}, {"<overlong>", "ok"}},
      {"over at the end of input", {"1234567890"}, {"<overlong>"}},
      {"two in a row", {"1234567890\n1234567890\n"}, {"<overlong>", "<overlong>"}},
  };
  for (const Case& c : cases) {
    LineSplitter splitter(8);
    EXPECT_EQ(split(splitter, c.chunks), c.lines) << c.name;
  }
}

TEST(LineSplitter, DoesNotHoldAnOverlongLine) {
  LineSplitter splitter(1024);
  std::vector<std::string> lines;
  auto handler = [&](std::optional<std::string_view> line) {
    lines.push_back(line ? std::string(*line) : "<overlong>");
  };
  std::string chunk(4096, 'x');
  // 64 MiB of one line through a 1 KiB cap: nothing is reported until its
  // end, and the memory stays bounded (ASan would notice a 64 MiB string
  // only as slowness; the cap is what this checks).
  for (int i = 0; i < 16 * 1024; ++i)
    splitter.feed(chunk, handler);
  EXPECT_TRUE(lines.empty());
  splitter.feed("\n{}\n", handler);
  EXPECT_EQ(lines, (std::vector<std::string>{"<overlong>", "{}"}));
}

std::string nested(int depth) {
  std::string text = "{\"a\":";
  for (int i = 1; i < depth; ++i)
    text += "[";
  text += "0";
  for (int i = 1; i < depth; ++i)
    text += "]";
  return text + "}";
}

TEST(ParseRequestLine, AcceptsObjectsOnly) {
  struct Case {
    const char* name;
    std::string line;
    bool accepted;
  };
  const Case cases[] = {
      {"object", R"({"id":7,"method":"ping"})", true},
      {"empty object", "{}", true},
      {"surrounding whitespace", " \t{}\r", true},
      {"empty line", "", false},
      {"whitespace", "   ", false},
      {"malformed", "{\"id\":", false},
      {"trailing garbage", "{} x", false},
      {"two objects", "{}{}", false},
      {"array", "[1,2]", false},
      {"number", "42", false},
      {"string", "\"ping\"", false},
      {"true", "true", false},
      {"null", "null", false},
      {"nested 64 deep", nested(64), true},
      {"nested 65 deep", nested(65), false},
      {"nested 100000 deep", nested(100000), false},
      {"lone surrogate escape", R"({"a":"\ud800"})", false},
      {"number out of range", R"({"a":1e400})", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(parseRequestLine(c.line).has_value(), c.accepted) << c.name;
  }
}

TEST(ParseRequestLine, RepairsInvalidUtf8BeforeParsing) {
  std::optional<Json> request = parseRequestLine("{\"method\":\"pi\xFFng\"}");
  ASSERT_TRUE(request);
  EXPECT_EQ((*request)["method"], "pi\xEF\xBF\xBDng");
}

TEST(ReadRequest, ConvertsIdMethodAndParams) {
  struct Case {
    const char* line;
    std::optional<int64_t> id;
    std::string method;
    Json params;
  };
  const Case cases[] = {
      {R"({"id":7,"method":"ping","params":{"a":1}})", 7, "ping", Json{{"a", 1}}},
      {R"({"id":3.9})", 3, "", Json::object()},
      {R"({"id":-3.9})", -3, "", Json::object()},
      {R"({"id":true})", 1, "", Json::object()},
      {R"({"id":false})", 0, "", Json::object()},
      {R"({"id":"7"})", std::nullopt, "", Json::object()},
      {R"({"id":null})", std::nullopt, "", Json::object()},
      {R"({"id":[7]})", std::nullopt, "", Json::object()},
      {R"({"id":9223372036854775807})", INT64_MAX, "", Json::object()},
      {R"({"id":-9223372036854775808})", INT64_MIN, "", Json::object()},
      {R"({"id":9223372036854775808})", std::nullopt, "", Json::object()},
      {R"({"id":18446744073709551615})", std::nullopt, "", Json::object()},
      {R"({"id":1e19})", std::nullopt, "", Json::object()},
      {R"({"id":-1e300})", std::nullopt, "", Json::object()},
      {R"({"id":1e18})", 1000000000000000000, "", Json::object()},
      {R"({"method":5,"params":null})", std::nullopt, "", Json::object()},
      {R"({"method":"Ping","params":[1]})", std::nullopt, "Ping", Json::object()},
      {R"({"method":"","params":"x"})", std::nullopt, "", Json::object()},
  };
  for (const Case& c : cases) {
    std::optional<Json> object = parseRequestLine(c.line);
    ASSERT_TRUE(object) << c.line;
    Request request = readRequest(*object);
    EXPECT_EQ(request.id, c.id) << c.line;
    EXPECT_EQ(request.method, c.method) << c.line;
    EXPECT_EQ(request.params, c.params) << c.line;
  }
}

// Collects what a reader thread reports.
struct Collected {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::string> events;

  ReaderThread::Callbacks callbacks() {
    return {[this](Json request) { add(request.dump()); }, [this] { add("<invalid>"); },
            [this] { add("<end>"); }};
  }
  void add(std::string event) {
    std::lock_guard lock(mutex);
    events.push_back(std::move(event));
    changed.notify_all();
  }
  bool waitFor(size_t count) {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, std::chrono::seconds(10), [&] { return events.size() >= count; });
  }
};

TEST(ReaderThread, HandsOverRequestsAndAnswersInvalidLinesInOrder) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  Collected collected;
  ReaderThread reader(fds[0], collected.callbacks());
  reader.start();
  std::string input = "{\"id\":1}\nnot json\n[1]\n{\"id\":2}";
  ASSERT_EQ(write(fds[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
  close(fds[1]);
  ASSERT_TRUE(collected.waitFor(5));
  reader.stop();
  close(fds[0]);
  EXPECT_EQ(collected.events, (std::vector<std::string>{"{\"id\":1}", "<invalid>", "<invalid>",
                                                        "{\"id\":2}", "<end>"}));
}

TEST(ReaderThread, StopEndsAWaitingReaderWithoutEndOfInput) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  Collected collected;
  {
    ReaderThread reader(fds[0], collected.callbacks());
    reader.start();
    ASSERT_EQ(write(fds[1], "{}\n", 3), 3);
    ASSERT_TRUE(collected.waitFor(1));
    reader.stop();  // blocked in poll with the write end still open
    reader.stop();  // idempotent
  }
  close(fds[1]);
  close(fds[0]);
  EXPECT_EQ(collected.events, (std::vector<std::string>{"{}"}));
}

}  // namespace
}  // namespace cuh
