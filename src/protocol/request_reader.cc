#include "protocol/request_reader.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "protocol/json_writer.h"

namespace cuh {

void LineSplitter::feed(std::string_view bytes, const Handler& handler) {
  while (!bytes.empty()) {
    const char* newline = static_cast<const char*>(std::memchr(bytes.data(), '\n', bytes.size()));
    size_t take = newline ? static_cast<size_t>(newline - bytes.data()) : bytes.size();
    std::string_view piece = bytes.substr(0, take);
    if (!overlong_ && pending_.size() + piece.size() > max_) {
      overlong_ = true;
      std::string().swap(pending_);  // give the memory back
    }
    if (!newline) {
      if (!overlong_)
        pending_.append(piece);
      return;
    }
    bytes.remove_prefix(take + 1);
    if (overlong_) {
      overlong_ = false;
      handler(std::nullopt);
    } else if (pending_.empty()) {
      handler(piece);  // the whole line is in this chunk: no copy
    } else {
      pending_.append(piece);
      std::string line = std::move(pending_);
      pending_.clear();
      handler(std::string_view(line));
    }
  }
}

void LineSplitter::finish(const Handler& handler) {
  if (overlong_) {
    overlong_ = false;
    handler(std::nullopt);
  } else if (!pending_.empty()) {
    std::string line = std::move(pending_);
    pending_.clear();
    handler(std::string_view(line));
  }
}

namespace {

// Thrown from the parser callback to abort a parse that nests too deep,
// before the deep value exists (copying or writing one would recurse).
struct TooDeep {};

}  // namespace

std::optional<Json> parseRequestLine(std::string_view line) {
  std::string repaired;
  if (!isValidUtf8(line)) {
    repaired = repairUtf8(line);
    line = repaired;
  }
  // `depth` counts the containers already open around the one starting.
  Json::parser_callback_t limit = [](int depth, Json::parse_event_t event, Json&) {
    if ((event == Json::parse_event_t::object_start || event == Json::parse_event_t::array_start) &&
        depth >= kMaxNestingDepth) {
      throw TooDeep{};
    }
    return true;
  };
  try {
    Json value = Json::parse(line.begin(), line.end(), limit);
    if (!value.is_object())
      return std::nullopt;
    return value;
  } catch (const TooDeep&) {
    return std::nullopt;
  } catch (const Json::exception&) {
    return std::nullopt;
  }
}

std::optional<int64_t> requestId(const Json& value) {
  if (value.is_boolean())
    return value.get<bool>() ? 1 : 0;
  if (value.is_number_unsigned()) {
    auto u = value.get<uint64_t>();
    if (u > static_cast<uint64_t>(std::numeric_limits<int64_t>::max()))
      return std::nullopt;
    return static_cast<int64_t>(u);
  }
  if (value.is_number_integer())
    return value.get<int64_t>();
  if (value.is_number_float()) {
    double d = std::trunc(value.get<double>());
    if (!(d >= -9223372036854775808.0 && d < 9223372036854775808.0))
      return std::nullopt;
    return static_cast<int64_t>(d);
  }
  return std::nullopt;
}

Request readRequest(Json object) {
  Request request;
  if (!object.is_object()) {
    request.params = Json::object();
    return request;
  }
  if (auto it = object.find("id"); it != object.end())
    request.id = requestId(*it);
  if (auto it = object.find("method"); it != object.end() && it->is_string()) {
    request.method = it->get<std::string>();
  }
  if (auto it = object.find("params"); it != object.end() && it->is_object()) {
    request.params = std::move(*it);
  } else {
    request.params = Json::object();
  }
  return request;
}

ReaderThread::ReaderThread(int fd, Callbacks callbacks)
    : fd_(fd), callbacks_(std::move(callbacks)) {}

ReaderThread::~ReaderThread() {
  stop();
}

void ReaderThread::start() {
  if (thread_.joinable())
    return;
  if (::pipe(wake_) != 0) {
    wake_[0] = wake_[1] = -1;
  } else {
    ::fcntl(wake_[0], F_SETFD, FD_CLOEXEC);
    ::fcntl(wake_[1], F_SETFD, FD_CLOEXEC);
  }
  thread_ = std::thread([this] { run(); });
}

void ReaderThread::stop() {
  if (thread_.joinable()) {
    if (wake_[1] >= 0) {
      char byte = 1;
      while (::write(wake_[1], &byte, 1) < 0 && errno == EINTR) {
      }
    }
    thread_.join();
  }
  for (int& fd : wake_) {
    if (fd >= 0)
      ::close(fd);
    fd = -1;
  }
}

void ReaderThread::handleLine(std::optional<std::string_view> line) {
  std::optional<Json> request = line ? parseRequestLine(*line) : std::nullopt;
  if (request) {
    callbacks_.onRequest(std::move(*request));
  } else {
    callbacks_.onInvalid();
  }
}

void ReaderThread::run() {
  LineSplitter splitter;
  auto handler = [this](std::optional<std::string_view> line) { handleLine(line); };
  std::vector<char> buffer(64 * 1024);
  for (;;) {
    pollfd fds[2] = {{fd_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
    int ready = ::poll(fds, wake_[0] >= 0 ? 2 : 1, -1);
    if (ready < 0) {
      if (errno == EINTR)
        continue;
      break;  // cannot wait any more: treat as the end of input
    }
    if (wake_[0] >= 0 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR)))
      return;
    if (fds[0].revents == 0)
      continue;
    if (fds[0].revents & POLLNVAL)
      break;
    ssize_t got = ::read(fd_, buffer.data(), buffer.size());
    if (got < 0) {
      if (errno == EINTR || errno == EAGAIN)
        continue;
      break;
    }
    if (got == 0)
      break;
    splitter.feed(std::string_view(buffer.data(), static_cast<size_t>(got)), handler);
  }
  splitter.finish(handler);
  if (callbacks_.onEnd)
    callbacks_.onEnd();
}

}  // namespace cuh
