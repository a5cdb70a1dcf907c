// The reading side of the line protocol: splitting standard input into
// lines, turning a line into a request object, and the reader thread that
// does both for the life of the process.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "protocol/json.h"

namespace cuh {

// The longest request line the helper reads (line feed excluded). A longer
// line is answered as invalid JSON without being held in memory whole.
inline constexpr size_t kMaxLineBytes = 16u * 1024 * 1024;
// The deepest nesting of arrays and objects a request may have; the request
// object itself is level 1.
inline constexpr int kMaxNestingDepth = 64;

// Splits a byte stream into lines. A line ends at a line feed (removed); the
// last line without one still counts at the end of input. Lines longer than
// the cap are reported as overlong once their end is seen, and their bytes
// are dropped as they arrive.
class LineSplitter {
 public:
  // `line` is the line's bytes, or none for an overlong line.
  using Handler = std::function<void(std::optional<std::string_view> line)>;

  explicit LineSplitter(size_t maxLineBytes = kMaxLineBytes) : max_(maxLineBytes) {}

  void feed(std::string_view bytes, const Handler& handler);
  // End of input: a pending partial line is a line.
  void finish(const Handler& handler);

 private:
  size_t max_;
  std::string pending_;
  bool overlong_ = false;
};

// The request object on `line`, or none when the line is not a JSON object:
// malformed, a top-level array or scalar, or nested deeper than
// kMaxNestingDepth. Invalid UTF-8 is replaced with U+FFFD before parsing.
std::optional<Json> parseRequestLine(std::string_view line);

// The values the dispatcher takes from a request object.
struct Request {
  // "id" converted to a signed 64-bit integer (fraction truncated toward
  // zero, booleans 1 and 0); none when absent, not a number, or beyond the
  // signed 64-bit range.
  std::optional<int64_t> id;
  // "method" when it is a string; "" otherwise.
  std::string method;
  // "params" when it is an object; an empty object otherwise.
  Json params;
};
Request readRequest(Json object);
std::optional<int64_t> requestId(const Json& value);

// The reader thread: reads lines from `fd` until the end of input, answers
// invalid lines through `onInvalid` and hands every request object to
// `onRequest`, both on the reader thread. It polls `fd` together with a wake
// pipe, so stop() can end it while it waits and join it.
class ReaderThread {
 public:
  struct Callbacks {
    std::function<void(Json request)> onRequest;
    std::function<void()> onInvalid;
    // The end of input (after every line before it was handed over). Not
    // called when stop() ends the thread.
    std::function<void()> onEnd;
  };

  ReaderThread(int fd, Callbacks callbacks);
  ~ReaderThread();  // stops and joins
  ReaderThread(const ReaderThread&) = delete;
  ReaderThread& operator=(const ReaderThread&) = delete;

  void start();
  // Ends the thread (if it is still reading) and joins it. Idempotent; must
  // not be called from the reader thread itself.
  void stop();

 private:
  void run();
  void handleLine(std::optional<std::string_view> line);

  int fd_;
  Callbacks callbacks_;
  int wake_[2] = {-1, -1};
  std::thread thread_;
};

}  // namespace cuh
