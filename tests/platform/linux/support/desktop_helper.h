// The helper binary on the test desktop ($DISPLAY, no scene), and the
// request shapes the desktop tests share.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "e2e/support/helper_process.h"
#include "platform/linux/x_connection.h"

namespace cuh::linux_desktop::testing {

// Ended by closing its input; it must exit with status 0 and print
// nothing.
class DesktopHelper : public e2e::HelperProcess {
 public:
  explicit DesktopHelper(const std::vector<std::string>& arguments = {})
      : e2e::HelperProcess(arguments) {}
  ~DesktopHelper() {
    if (!finished_) {
      EXPECT_EQ(finish(), std::optional<int>(0));
      EXPECT_EQ(stderrText(), "");
    }
  }
  // For a test that ended the helper itself and checked how.
  void markFinished() { finished_ = true; }
  // The result of a request that must succeed.
  nlohmann::json result(const nlohmann::json& request, double timeoutSeconds = 10) {
    auto response = this->request(request, timeoutSeconds);
    EXPECT_TRUE(response && response->value("ok", false)) << (response ? response->dump() : "none");
    return response && response->contains("result") ? (*response)["result"] : nlohmann::json();
  }
  // The error of a request that must fail.
  std::string error(const nlohmann::json& request, double timeoutSeconds = 10) {
    auto response = this->request(request, timeoutSeconds);
    EXPECT_TRUE(response && !response->value("ok", true)) << (response ? response->dump() : "none");
    return response ? response->value("error", "") : "";
  }

 private:
  bool finished_ = false;
};

inline nlohmann::json request(int id,
                              const std::string& method,
                              nlohmann::json params = nlohmann::json::object()) {
  return nlohmann::json{{"id", id}, {"method", method}, {"params", std::move(params)}};
}

// The row of window `id` in a list_windows result; null when unlisted.
inline nlohmann::json rowOf(const nlohmann::json& windows, unsigned long id) {
  for (const nlohmann::json& row : windows["windows"]) {
    if (row["windowId"] == id)
      return row;
  }
  return nlohmann::json();
}

// The observed-window parameters of a listed row.
inline nlohmann::json observed(const nlohmann::json& row) {
  return nlohmann::json{{"pid", row["pid"]},
                        {"windowId", row["windowId"]},
                        {"width", row["width"]},
                        {"height", row["height"]}};
}

// The first snapshot row with this role and title.
inline nlohmann::json findRow(const nlohmann::json& elements,
                              const std::string& role,
                              const std::string& title) {
  for (const nlohmann::json& row : elements) {
    if (row["role"] == role && row["title"] == title)
      return row;
  }
  return nlohmann::json();
}

inline std::unique_ptr<XConnection> openX() {
  std::string error;
  auto x = XConnection::open(nullptr, &error);
  EXPECT_TRUE(x) << error;
  return x;
}

}  // namespace cuh::linux_desktop::testing
