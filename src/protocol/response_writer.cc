#include "protocol/response_writer.h"

#include <errno.h>
#include <poll.h>
#include <unistd.h>

#include "protocol/json_writer.h"

namespace cuh {

LineSink fileDescriptorSink(int fd) {
  return [fd](std::string_view line) {
    const char* data = line.data();
    size_t left = line.size();
    while (left > 0) {
      ssize_t written = ::write(fd, data, left);
      if (written < 0) {
        if (errno == EINTR)
          continue;
        return;  // EPIPE (the parent stopped reading) or a closed descriptor
      }
      data += written;
      left -= static_cast<size_t>(written);
    }
  };
}

std::string responseLine(std::optional<int64_t> id,
                         const Json* result,
                         const std::optional<std::string>& error) {
  std::string line;
  line.reserve(64);
  line += "{\"id\":";
  line += id ? std::to_string(*id) : "null";
  line += error ? ",\"ok\":false" : ",\"ok\":true";
  if (result) {
    line += ",\"result\":";
    if (!appendJson(line, *result)) {
      return responseLine(id, nullptr, std::string(kUnencodableResultMessage));
    }
  }
  if (error) {
    line += ",\"error\":";
    appendJsonString(line, *error);
  }
  line += "}\n";
  return line;
}

ResponseWriter::ResponseWriter(LineSink sink, platform::Platform* platform)
    : sink_(std::move(sink)), platform_(platform) {}

void ResponseWriter::writeResponse(std::optional<int64_t> id,
                                   const Json* result,
                                   const std::optional<std::string>& error) {
  writeLine(responseLine(id, result, error));
}

void ResponseWriter::writeInvalidJson() {
  writeResponse(std::nullopt, nullptr, std::string(kInvalidJsonMessage));
}

void ResponseWriter::writeLine(const std::string& line) {
  std::lock_guard lock(mutex_);
  ++count_;
  // Before the bytes: a client that reads the line and answers at once must
  // find whatever the platform does for it already under way. Under the
  // lock, so the platform sees the numbers in order.
  if (platform_)
    platform_->willWriteResponse(count_);
  sink_(line);
}

uint64_t ResponseWriter::count() const {
  std::lock_guard lock(mutex_);
  return count_;
}

}  // namespace cuh
