// The backend's batched attribute read against its single reads, on real
// applications: for elements of the fixture and of gtk3-widget-factory,
// every slot of a batch (read in one request) is what the single read of
// that attribute answers (in a request of its own), the same error and the
// same value; the batch waits once on the bus; an application killed or
// stopped fails the batch as it fails every single read.
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ax_names.h"
#include "platform/linux/desktop_session.h"
#include "platform/linux/linux_accessibility.h"
#include "platform/linux/support/desktop_apps.h"
#include "support/batched_read_check.h"

namespace cuh::linux_desktop {
namespace {

using platform::AXElement;
using platform::AXError;
using platform::CopyMultipleOptions;
using testing::FixtureApp;
using testing::StderrCapture;

// Everything the backend maps, the snapshot row's attributes among them.
constexpr std::string_view kAttributes[] = {
    ax::kRoleAttribute,     ax::kSubroleAttribute,
    ax::kTitleAttribute,    ax::kDescriptionAttribute,
    ax::kHelpAttribute,     ax::kPlaceholderValueAttribute,
    ax::kValueAttribute,    ax::kIdentifierAttribute,
    ax::kBusyAttribute,     ax::kFocusedAttribute,
    ax::kEnabledAttribute,  ax::kSelectedAttribute,
    ax::kPositionAttribute, ax::kSizeAttribute,
    ax::kChildrenAttribute, ax::kParentAttribute,
    "AXRoleDescription",    "AXExpanded",
    ax::kHiddenAttribute,   ax::kMinimizedAttribute,
    ax::kWindowsAttribute,  ax::kFocusedWindowAttribute,
    "AXMainWindow",         ax::kFrontmostAttribute,
    "AXNumberOfCharacters", ax::kSelectedTextRangeAttribute,
    "AXSelectedText",       "AXVisibleCharacterRange",
    "AXNoSuchAttribute",
};

// The backend the helper uses, with the requests bracketed as the
// dispatcher brackets them.
class Backend {
 public:
  Backend() {
    std::string error;
    session_ = DesktopSession::open(nullptr, &error);
    EXPECT_TRUE(session_) << error;
    if (session_)
      ax_ = std::make_unique<LinuxAccessibility>(*session_);
  }
  explicit operator bool() const { return ax_ && session_->atspi(); }
  LinuxAccessibility& ax() { return *ax_; }
  BusConnection& bus() { return *session_->bus(); }
  // Runs `body` as one request.
  template <typename Body>
  auto request(Body body) {
    session_->beginRequest();
    ax_->forgetRequest();
    auto result = body(*ax_);
    session_->endRequest();
    ax_->forgetRequest();
    return result;
  }

 private:
  std::unique_ptr<DesktopSession> session_;
  std::unique_ptr<LinuxAccessibility> ax_;
};

// The application's first window and up to `limit` elements under it,
// breadth first, read in one request.
std::vector<AXElement> elementsOf(Backend& backend, int32_t pid, size_t limit) {
  return backend.request([&](LinuxAccessibility& ax) {
    AXElement application = ax.createApplication(pid);
    std::vector<AXElement> elements{application};
    auto windows = ax.copyAttributeValue(application, ax::kWindowsAttribute);
    if (!windows.ok() || !windows.value || windows.value->as<platform::Array>()->empty())
      return elements;
    elements.push_back(*windows.value->as<platform::Array>()->front().as<AXElement>());
    for (size_t i = 1; i < elements.size() && elements.size() < limit; ++i) {
      auto children = ax.copyAttributeValue(elements[i], ax::kChildrenAttribute);
      if (!children.ok() || !children.value)
        continue;
      for (const platform::Value& child : *children.value->as<platform::Array>()) {
        if (elements.size() < limit)
          elements.push_back(*child.as<AXElement>());
      }
    }
    return elements;
  });
}

// "" when the batch of `element` (in one request, with and without
// stopOnError) answers what the single reads (in the next) answer; else
// what differs. A value that moves between the two requests (an
// animation) is given a second try; a wrong mapping differs twice.
std::string disagreement(Backend& backend, const AXElement& element) {
  std::string differs;
  for (int attempt = 0; attempt < 2; ++attempt) {
    using Answer = platform::AXResult<platform::AttributeSlots>;
    auto [batch, stopped] = backend.request([&](LinuxAccessibility& ax) {
      Answer all = ax.copyMultipleAttributeValues(element, kAttributes, CopyMultipleOptions::none);
      Answer stop =
          ax.copyMultipleAttributeValues(element, kAttributes, CopyMultipleOptions::stopOnError);
      return std::pair{all, stop};
    });
    auto singles = backend.request([&](LinuxAccessibility& ax) {
      std::vector<platform::AXResult<platform::Value>> reads;
      for (std::string_view attribute : kAttributes)
        reads.push_back(ax.copyAttributeValue(element, attribute));
      return reads;
    });
    differs.clear();
    std::optional<AXError> firstError;
    for (size_t i = 0; i < singles.size() && differs.empty(); ++i) {
      platform::AXResult<platform::Value> slot{batch.error, std::nullopt};
      if (batch.ok())
        slot = (*batch.value)[i];
      if (!::cuh::testing::sameAnswer(slot, singles[i])) {
        differs = std::string(kAttributes[i]) + ": batch error " +
                  std::to_string(static_cast<int>(slot.error)) + ", single read error " +
                  std::to_string(static_cast<int>(singles[i].error));
      }
      if (!singles[i].ok() && !firstError)
        firstError = singles[i].error;
    }
    // With stopOnError: the first failing read's error, else every slot.
    if (differs.empty() && firstError && stopped.error != *firstError)
      differs = "stopOnError answered " + std::to_string(static_cast<int>(stopped.error));
    if (differs.empty() && !firstError &&
        (!stopped.ok() || stopped.value->size() != singles.size()))
      differs = "stopOnError failed where no read fails";
    if (differs.empty())
      return "";
  }
  return differs;
}

TEST(BatchedReadsDesktopTest, EverySlotIsTheSingleReadOnTheFixtureAndTheWidgetFactory) {
  StderrCapture stderrCapture;
  FixtureApp fixture;
  testing::ChildProcess factory({"gtk3-widget-factory"});
  Backend backend;
  ASSERT_TRUE(backend);

  struct Target {
    const char* name;
    int32_t pid;
    size_t limit;
  };
  for (const Target& target :
       {Target{"fixture", fixture.pid(), 80}, Target{"gtk3-widget-factory", factory.pid(), 160}}) {
    SCOPED_TRACE(target.name);
    std::vector<AXElement> elements;
    ASSERT_TRUE(testing::waitUntil(
        [&] {
          elements = elementsOf(backend, target.pid, target.limit);
          return elements.size() >= 20;
        },
        std::chrono::seconds(20)))
        << "its window never showed " << elements.size() << " elements";
    for (size_t i = 0; i < elements.size(); ++i)
      EXPECT_EQ(disagreement(backend, elements[i]), "") << "element " << i;
  }
  EXPECT_EQ(stderrCapture.text(), "");
}

TEST(BatchedReadsDesktopTest, ARowsBatchWaitsOnceOnTheBus) {
  FixtureApp fixture;
  Backend backend;
  ASSERT_TRUE(backend);
  std::vector<AXElement> elements = elementsOf(backend, fixture.pid(), 80);
  ASSERT_GT(elements.size(), 10u);
  // A row without its children: after the application's object cache and
  // its windows were read (once per request), one batch.
  std::span<const std::string_view> row(kAttributes, 14);
  for (size_t i = 2; i < elements.size(); ++i) {
    uint64_t batches = backend.request([&](LinuxAccessibility& ax) {
      ax.copyAttributeValue(elements[1], ax::kPositionAttribute);
      uint64_t before = backend.bus().batchesSent();
      auto read = ax.copyMultipleAttributeValues(elements[i], row, CopyMultipleOptions::none);
      EXPECT_TRUE(read.ok());
      return backend.bus().batchesSent() - before;
    });
    EXPECT_LE(batches, 1u) << "element " << i;
  }
}

TEST(BatchedReadsDesktopTest, AGoneOrHungApplicationFailsTheBatchAsEverySingleRead) {
  struct Case {
    const char* name;
    int signal;
  };
  for (const Case& c : {Case{"killed", SIGKILL}, Case{"stopped", SIGSTOP}}) {
    SCOPED_TRACE(c.name);
    FixtureApp fixture;
    Backend backend;
    ASSERT_TRUE(backend);
    std::vector<AXElement> elements = elementsOf(backend, fixture.pid(), 12);
    ASSERT_GT(elements.size(), 3u);
    fixture.process().signal(c.signal);
    auto started = std::chrono::steady_clock::now();
    auto batch = backend.request([&](LinuxAccessibility& ax) {
      return ax.copyMultipleAttributeValues(elements.back(), kAttributes,
                                            CopyMultipleOptions::none);
    });
    // At most one timeout for the whole batch.
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(2500));
    EXPECT_FALSE(batch.ok());
    EXPECT_EQ(disagreement(backend, elements.back()), "");
    fixture.process().signal(SIGCONT);
  }
}

}  // namespace
}  // namespace cuh::linux_desktop
