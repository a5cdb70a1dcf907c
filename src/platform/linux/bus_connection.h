// BusConnection: one D-Bus connection through sd-bus (the session bus or
// the accessibility bus), with calls that never wait longer than their
// timeout, and pipelined batches: every call of a batch is sent before the
// first reply is awaited, so a batch costs about one round trip.
#pragma once

#include <systemd/sd-bus.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace cuh::linux_desktop {

// One sd-bus message, owned (sd_bus_message_unref when it goes).
class BusMessage {
 public:
  BusMessage() = default;
  explicit BusMessage(sd_bus_message* adopted) : message_(adopted) {}
  BusMessage(const BusMessage&) = delete;
  BusMessage& operator=(const BusMessage&) = delete;
  BusMessage(BusMessage&& other) noexcept : message_(std::exchange(other.message_, nullptr)) {}
  BusMessage& operator=(BusMessage&& other) noexcept {
    std::swap(message_, other.message_);
    return *this;
  }
  ~BusMessage() {
    if (message_)
      sd_bus_message_unref(message_);
  }
  sd_bus_message* get() const { return message_; }
  explicit operator bool() const { return message_ != nullptr; }

 private:
  sd_bus_message* message_ = nullptr;
};

// How a call ended.
enum class CallStatus {
  ok,        // a method return; `reply` holds it
  error,     // the peer answered with an error (unknown method, bad object...)
  timedOut,  // no answer within the timeout
  peerGone,  // the peer left the bus, or its name has no owner
  notSent,   // the message could not be built or sent (connection lost)
};

struct CallReply {
  CallStatus status = CallStatus::notSent;
  std::string errorName;  // the D-Bus error name for `error`
  BusMessage reply;
  bool ok() const { return status == CallStatus::ok; }
};

// A method call to make: destination, object, interface, member, and a
// function that appends the arguments (may be empty).
struct BusCall {
  std::string destination;
  std::string path;
  std::string interface;
  std::string member;
  std::function<int(sd_bus_message*)> appendArguments;
};

class BusConnection {
 public:
  // Connects to a bus address ("unix:path=..."). On failure returns null and
  // sets `error`.
  static std::unique_ptr<BusConnection> open(const std::string& address, std::string* error);
  ~BusConnection();
  BusConnection(const BusConnection&) = delete;
  BusConnection& operator=(const BusConnection&) = delete;

  sd_bus* get() const { return bus_; }
  // For a main loop's descriptor watch: the descriptor, the poll events it
  // wants, and when sd-bus next needs processing (absolute CLOCK_MONOTONIC
  // microseconds; UINT64_MAX for never).
  int fileDescriptor() const;
  int pollEvents() const;
  uint64_t nextTimeoutUsec() const;
  // Dispatches whatever arrived (replies of pending calls). Returns false
  // once the connection is gone.
  bool processPending();

  // One call, waited for (at most `timeout`).
  CallReply call(const BusCall& call, std::chrono::microseconds timeout);
  // The calls pipelined and their replies awaited together. At most
  // kMaxInFlight calls to one destination are outstanding at a time, and
  // each next one is sent as a reply comes back, so that a call's timeout
  // (which starts when it is sent) measures the peer's answer, not the
  // length of the queue before it: a peer answering 8,000 calls in two
  // seconds is slow, not hung. Once a call to a destination has timed out
  // or found the peer gone, the batch's calls to it not sent yet are not
  // sent and answer the same at once, so a hung peer costs the batch one
  // timeout. Replies in call order.
  static constexpr size_t kMaxInFlight = 64;
  std::vector<CallReply> callAll(const std::vector<BusCall>& calls,
                                 std::chrono::microseconds timeout);

  // How many messages this connection sent and awaited as calls (for
  // benchmarks: round trips per result).
  uint64_t callsSent() const { return callsSent_; }
  uint64_t batchesSent() const { return batchesSent_; }

 private:
  explicit BusConnection(sd_bus* bus) : bus_(bus) {}
  BusMessage newCall(const BusCall& call, int* status);

  sd_bus* bus_;
  uint64_t callsSent_ = 0;
  uint64_t batchesSent_ = 0;
};

// Classifies the D-Bus error name of a failed call.
CallStatus statusOfError(std::string_view errorName);

}  // namespace cuh::linux_desktop
