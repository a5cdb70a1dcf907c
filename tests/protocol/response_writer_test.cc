#include "protocol/response_writer.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cmath>
#include <string>
#include <thread>
#include <vector>

namespace cuh {
namespace {

TEST(ResponseLine, CarriesExactlyOneOfResultAndError) {
  Json result{{"ready", true}};
  EXPECT_EQ(responseLine(7, &result, std::nullopt),
            "{\"id\":7,\"ok\":true,\"result\":{\"ready\":true}}\n");
  EXPECT_EQ(responseLine(std::nullopt, nullptr, std::string(kInvalidJsonMessage)),
            "{\"id\":null,\"ok\":false,\"error\":\"computer-use helper received invalid JSON\"}\n");
  Json path{{"path", "/Applications/Notes.app\n"}};
  EXPECT_EQ(responseLine(-3, &path, std::nullopt),
            "{\"id\":-3,\"ok\":true,\"result\":{\"path\":\"\\/Applications\\/Notes.app\\n\"}}\n");
}

TEST(ResponseLine, AnUnencodableResultBecomesAnError) {
  Json result{{"x", std::nan("")}};
  EXPECT_EQ(
      responseLine(5, &result, std::nullopt),
      "{\"id\":5,\"ok\":false,\"error\":\"" + std::string(kUnencodableResultMessage) + "\"}\n");
}

TEST(ResponseWriter, LinesFromTwoThreadsNeverInterleave) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  ResponseWriter writer(fileDescriptorSink(fds[1]), nullptr);
  // Long enough that one write to a pipe cannot take a whole line at once.
  Json big{{"text", std::string(200000, 'x')}};
  std::string collected;
  std::thread drain([&] {
    char buffer[65536];
    ssize_t got;
    while ((got = read(fds[0], buffer, sizeof buffer)) > 0)
      collected.append(buffer, got);
  });
  auto writeMany = [&](int64_t base) {
    for (int i = 0; i < 20; ++i)
      writer.writeResponse(base + i, &big, std::nullopt);
  };
  std::thread a(writeMany, 0), b(writeMany, 100);
  a.join();
  b.join();
  close(fds[1]);
  drain.join();
  close(fds[0]);
  EXPECT_EQ(writer.count(), 40u);
  size_t lines = 0, start = 0;
  for (size_t end; (end = collected.find('\n', start)) != std::string::npos; start = end + 1) {
    Json line = Json::parse(collected.substr(start, end - start));
    EXPECT_EQ(line["result"]["text"].get_ref<const std::string&>().size(), 200000u);
    ++lines;
  }
  EXPECT_EQ(lines, 40u);
  EXPECT_EQ(start, collected.size());
}

TEST(ResponseWriter, AClosedReaderIsIgnored) {
  signal(SIGPIPE, SIG_IGN);
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  close(fds[0]);
  ResponseWriter writer(fileDescriptorSink(fds[1]), nullptr);
  Json result{{"ready", true}};
  writer.writeResponse(1, &result, std::nullopt);
  writer.writeResponse(2, &result, std::nullopt);
  EXPECT_EQ(writer.count(), 2u);
  close(fds[1]);
}

}  // namespace
}  // namespace cuh
