#include "e2e/support/response_log.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>

#include <nlohmann/json.hpp>

namespace cuh::e2e {

using nlohmann::json;

namespace {

// Lines longer than this are never parsed for their id: the overlong-line
// tests send 17 MiB, which the helper refuses anyway.
constexpr size_t kLongestParsedLine = 1 << 20;

}  // namespace

std::unique_ptr<ResponseLog> ResponseLog::open(std::string_view source) {
  const char* dir = std::getenv("CUH_RESPONSE_DIR");
  if (!dir || !*dir)
    return nullptr;
  ::mkdir(dir, 0755);  // may exist already
  static std::atomic<int> opened{0};
  std::string path = std::string(dir) + "/" + std::string(source) + "-" +
                     std::to_string(::getpid()) + "-" + std::to_string(opened++) + ".jsonl";
  std::FILE* file = std::fopen(path.c_str(), "w");
  if (!file)
    return nullptr;
  return std::unique_ptr<ResponseLog>(new ResponseLog(file));
}

ResponseLog::~ResponseLog() {
  std::fclose(file_);
}

void ResponseLog::sent(std::string_view bytes) {
  for (size_t end; (end = bytes.find('\n')) != std::string_view::npos;) {
    if (partialLine_.empty()) {
      requestLine(bytes.substr(0, end));
    } else {
      partialLine_.append(bytes.substr(0, end));
      requestLine(partialLine_);
      partialLine_.clear();
    }
    bytes.remove_prefix(end + 1);
  }
  if (partialLine_.size() < kLongestParsedLine)
    partialLine_.append(bytes.substr(0, kLongestParsedLine - partialLine_.size()));
}

void ResponseLog::requestLine(std::string_view line) {
  if (line.size() >= kLongestParsedLine)
    return;
  json request = json::parse(line, nullptr, false);
  // Only plain integer ids are matched; the helper's conversions of other
  // ids (fractions, booleans) are not repeated here.
  if (!request.is_object() || !request.contains("id") || !request["id"].is_number_integer() ||
      !request.contains("method") || !request["method"].is_string())
    return;
  const json& id = request["id"];
  if (id.is_number_unsigned() && id.get<uint64_t>() > uint64_t{INT64_MAX})
    return;  // answered with a null id
  std::lock_guard lock(mutex_);
  pending_[id.get<int64_t>()].push_back(request["method"].get<std::string>());
}

void ResponseLog::received(std::string_view line) {
  json response = json::parse(line, nullptr, false);
  json method;
  if (response.is_object() && response.contains("id") && response["id"].is_number_integer()) {
    std::lock_guard lock(mutex_);
    auto found = pending_.find(response["id"].get<int64_t>());
    if (found != pending_.end()) {
      method = found->second.front();
      found->second.pop_front();
      if (found->second.empty())
        pending_.erase(found);
    }
  }
  // A line that is not JSON is kept as a string: the check then fails on it.
  json record{{"method", method},
              {"response", response.is_discarded() ? json(std::string(line)) : response}};
  std::string text = record.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
  std::fwrite(text.data(), 1, text.size(), file_);
}

}  // namespace cuh::e2e
