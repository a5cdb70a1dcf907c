// HelperFailure: the one failure type. Its message is the complete,
// caller-facing text written unchanged as the response's "error".
#pragma once

#include <exception>
#include <string>

namespace cuh {

class HelperFailure : public std::exception {
 public:
  explicit HelperFailure(std::string message) : message_(std::move(message)) {}
  const std::string& message() const { return message_; }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

}  // namespace cuh
