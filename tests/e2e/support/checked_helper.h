// The helper binary as every end-to-end test starts it. When the object
// goes, the helper is ended the way the agent application ends it (standard
// input closed) and the test fails unless it exited by itself and wrote no
// sanitizer report. In the sanitizer build that makes every end-to-end test
// a leak check of the binary: LeakSanitizer reports at exit.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "e2e/support/helper_process.h"

namespace cuh::e2e {

// The first sanitizer report in `stderrText` (AddressSanitizer,
// LeakSanitizer, UndefinedBehaviorSanitizer), from its first line on; empty
// when there is none.
inline std::string sanitizerReport(const std::string& stderrText) {
  size_t at = std::string::npos;
  for (const char* marker : {"Sanitizer", "runtime error:"})
    at = std::min(at, stderrText.find(marker));
  if (at == std::string::npos)
    return "";
  size_t lineStart = stderrText.rfind('\n', at);
  return stderrText.substr(lineStart == std::string::npos ? 0 : lineStart + 1);
}

class CheckedHelper : public HelperProcess {
 public:
  explicit CheckedHelper(const std::vector<std::string>& arguments = demoSceneArguments())
      : HelperProcess(arguments) {}
  ~CheckedHelper() {
    EXPECT_TRUE(finish().has_value()) << "the helper did not exit after its input closed";
    EXPECT_EQ(sanitizerReport(stderrText()), "");
  }
};

}  // namespace cuh::e2e
