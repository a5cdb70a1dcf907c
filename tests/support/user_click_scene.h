// A scene for scripted-user tests: the user's Terminal (100, window 11) in
// front, Notes (200, window 21, 400 × 300) behind it, and a script in which
// the user clicks into Notes as each of the given response lines is written.
// Shared by the in-process and the end-to-end tests, so header-only.
#pragma once

#include <cstdint>
#include <vector>

#include <nlohmann/json.hpp>

namespace cuh::testing {

inline nlohmann::json sceneWithUserClicksAfter(const std::vector<int64_t>& responseLines) {
  nlohmann::json scene = nlohmann::json::parse(R"({
    "frontmost": 100,
    "apps": [{"pid": 100, "name": "Terminal"}, {"pid": 200, "name": "Notes"}],
    "windows": [
      {"id": 11, "pid": 100, "bounds": {"x": 0, "y": 0, "width": 800, "height": 600}, "ax": {}},
      {"id": 21, "pid": 200, "bounds": {"x": 100, "y": 120, "width": 400, "height": 300}, "ax": {}}
    ],
    "script": []})");
  for (int64_t line : responseLines) {
    scene["script"].push_back({{"when", {{"afterResponses", line}}},
                               {"do", {{{"userInput", {{"pid", 200}, {"type", 1}}}}}}});
  }
  return scene;
}

// "begin_guard" params for the Notes window as observed.
inline nlohmann::json notesGuardParams() {
  return {{"pid", 200}, {"windowId", 21}, {"width", 400}, {"height", 300}};
}

}  // namespace cuh::testing
