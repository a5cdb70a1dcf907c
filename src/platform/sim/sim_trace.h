// The trace: one JSON object per platform-side effect, kept in memory for
// tests and, with --trace FILE, appended to the file line by line.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace cuh::sim {

class Trace {
 public:
  Trace() = default;
  ~Trace();
  Trace(const Trace&) = delete;
  Trace& operator=(const Trace&) = delete;

  // Opens FILE for appending. Returns false when it cannot be opened.
  bool open(const std::string& path);
  // Records one line; written and flushed at once when a file is open.
  void write(nlohmann::json line);
  // Whether lines are also kept in memory (on by default).
  void keepLines(bool keep) { keep_ = keep; }

  const std::vector<nlohmann::json>& lines() const { return lines_; }
  std::vector<nlohmann::json> lines(std::string_view kind) const;

 private:
  std::vector<nlohmann::json> lines_;
  std::FILE* file_ = nullptr;
  bool keep_ = true;
};

}  // namespace cuh::sim
