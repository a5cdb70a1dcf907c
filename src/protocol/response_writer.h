// The one writer of response lines. The
// reader thread (invalid lines) and the main thread (everything else) share
// it; each response goes out as one unit (object and line feed in one write
// loop under a mutex), so responses never interleave. Nothing is buffered.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "protocol/json.h"

namespace cuh {

// Where finished response lines go: all bytes of one line, line feed
// included. Called under the writer's mutex.
using LineSink = std::function<void(std::string_view line)>;

// A sink that writes to `fd` directly, retrying interrupted and partial
// writes (and waiting out a full non-blocking descriptor). A closed reader (EPIPE) or any other
// write error drops the rest of the line silently: the helper carries on as if it had been written.
LineSink fileDescriptorSink(int fd);

// The answer to a line that is not a JSON object.
inline constexpr std::string_view kInvalidJsonMessage = "computer-use helper received invalid JSON";
// Written instead of a result that JSON cannot express (NaN, infinity).
inline constexpr std::string_view kUnencodableResultMessage =
    "The macOS computer-use helper could not encode the result of this request as JSON";

// The response line (with its line feed) for the given id, result and
// error. A result that JSON cannot express becomes the error
// kUnencodableResultMessage, so the caller always gets an answer.
std::string responseLine(std::optional<int64_t> id,
                         const Json* result,
                         const std::optional<std::string>& error);

class ResponseWriter {
 public:
  // `platform`, when given, is told of every line just before its bytes go
  // out (willWriteResponse).
  ResponseWriter(LineSink sink, platform::Platform* platform);

  // Writes one response: {"id":..,"ok":..,"result":..} or {..,"error":..}.
  void writeResponse(std::optional<int64_t> id,
                     const Json* result,
                     const std::optional<std::string>& error);
  void writeInvalidJson();

  // Lines written so far.
  uint64_t count() const;

 private:
  void writeLine(const std::string& line);

  LineSink sink_;
  platform::Platform* platform_;
  mutable std::mutex mutex_;
  uint64_t count_ = 0;
};

}  // namespace cuh
