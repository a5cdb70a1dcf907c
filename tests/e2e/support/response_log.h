// What a helper child received and answered, written for the schema check:
// when CUH_RESPONSE_DIR is set (ctest sets it), every response line read
// from the helper becomes one JSON line {"method": M, "response": R} in a
// file of that folder, M being the method of the request it answers (null
// when that cannot be known, e.g. for the invalid-JSON answer).
#pragma once

#include <cstdint>
#include <cstdio>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace cuh::e2e {

class ResponseLog {
 public:
  // A log in $CUH_RESPONSE_DIR; null when the variable is unset or empty.
  static std::unique_ptr<ResponseLog> open(std::string_view source);
  ~ResponseLog();
  ResponseLog(const ResponseLog&) = delete;
  ResponseLog& operator=(const ResponseLog&) = delete;

  // Bytes written to the helper's standard input, in any pieces.
  void sent(std::string_view bytes);
  // One response line, without its line feed.
  void received(std::string_view line);

 private:
  explicit ResponseLog(std::FILE* file) : file_(file) {}
  void requestLine(std::string_view line);

  std::FILE* file_;
  std::string partialLine_;
  // Methods of the requests not yet answered, by id, oldest first: the
  // helper answers valid requests in order. Requests are recorded by
  // whichever thread writes them (the load test's writer) while answers are
  // matched on the reading thread.
  std::mutex mutex_;
  std::map<int64_t, std::deque<std::string>> pending_;
};

}  // namespace cuh::e2e
