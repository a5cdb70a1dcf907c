// The main loop's contract (platform/loop_contract.h) on every loop built
// here: the portable loop on a virtual clock, on the real one, and on the
// real one while it watches a descriptor (as the Linux desktop's loop does:
// it then waits in poll, not on its condition variable). A loop of another
// backend joins by adding a row to kLoops.
#include "platform/loop_contract.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cctype>
#include <iterator>
#include <memory>
#include <string>
#include <tuple>

#include "platform/sim/clock.h"
#include "platform/sim/event_loop.h"

namespace cuh::testing {
namespace {

// One loop under test.
class LoopFixture {
 public:
  virtual ~LoopFixture() = default;
  virtual platform::MainLoop& loop() = 0;
};

template <class ClockType>
class PortableLoop final : public LoopFixture {
 public:
  platform::MainLoop& loop() override { return loop_; }

 private:
  ClockType clock_;
  sim::EventLoop loop_{clock_};
};

// The portable loop watching the read end of a pipe nothing writes to, so
// every wait goes through poll and the wake descriptor.
class WatchingLoop final : public LoopFixture {
 public:
  WatchingLoop() {
    if (::pipe(fds_) != 0)
      ADD_FAILURE() << "pipe failed";
    watch_ = loop_.watchDescriptor(fds_[0], [] { ADD_FAILURE() << "idle pipe read ready"; });
  }
  ~WatchingLoop() override {
    watch_.reset();
    ::close(fds_[0]);
    ::close(fds_[1]);
  }
  platform::MainLoop& loop() override { return loop_; }

 private:
  sim::RealClock clock_;
  sim::EventLoop loop_{clock_};
  int fds_[2] = {-1, -1};
  sim::EventLoop::DescriptorWatch watch_;
};

struct LoopKind {
  const char* name;
  std::unique_ptr<LoopFixture> (*make)();
};

const LoopKind kLoops[] = {
    {"PortableVirtualClock",
     []() -> std::unique_ptr<LoopFixture> {
       return std::make_unique<PortableLoop<sim::VirtualClock>>();
     }},
    {"PortableRealClock",
     []() -> std::unique_ptr<LoopFixture> {
       return std::make_unique<PortableLoop<sim::RealClock>>();
     }},
    {"PortableWatchingDescriptor",
     []() -> std::unique_ptr<LoopFixture> { return std::make_unique<WatchingLoop>(); }},
};

class LoopContractTest : public ::testing::TestWithParam<std::tuple<size_t, size_t>> {};

TEST_P(LoopContractTest, Holds) {
  const LoopKind& kind = kLoops[std::get<0>(GetParam())];
  const LoopContractCase& contract = loopContractCases()[std::get<1>(GetParam())];
  std::unique_ptr<LoopFixture> fixture = kind.make();
  LoopUnderTest subject{fixture->loop()};
  EXPECT_EQ(contract.run(subject), "") << contract.name;
}

std::string caseName(const ::testing::TestParamInfo<std::tuple<size_t, size_t>>& info) {
  std::string name = std::string(kLoops[std::get<0>(info.param)].name) + "_";
  for (const char* c = loopContractCases()[std::get<1>(info.param)].name; *c; ++c)
    name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(EveryLoop,
                         LoopContractTest,
                         ::testing::Combine(::testing::Range<size_t>(0, std::size(kLoops)),
                                            ::testing::Range<size_t>(0,
                                                                     loopContractCases().size())),
                         caseName);

}  // namespace
}  // namespace cuh::testing
