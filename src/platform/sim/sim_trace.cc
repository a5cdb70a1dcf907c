#include "platform/sim/sim_trace.h"

namespace cuh::sim {

Trace::~Trace() {
  if (file_)
    std::fclose(file_);
}

bool Trace::open(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "a");
  if (!file)
    return false;
  if (file_)
    std::fclose(file_);
  file_ = file;
  return true;
}

void Trace::write(nlohmann::json line) {
  if (file_) {
    // Invalid UTF-8 from a scene or a caller must not end the helper.
    std::string text = line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    text += '\n';
    std::fwrite(text.data(), 1, text.size(), file_);
    std::fflush(file_);
  }
  if (keep_)
    lines_.push_back(std::move(line));
}

std::vector<nlohmann::json> Trace::lines(std::string_view kind) const {
  std::vector<nlohmann::json> out;
  for (const auto& line : lines_) {
    auto found = line.find("kind");
    if (found != line.end() && found->is_string() && found->get<std::string>() == kind) {
      out.push_back(line);
    }
  }
  return out;
}

}  // namespace cuh::sim
