#include "platform/linux/bus_connection.h"

#include <poll.h>
#include <time.h>

#include <cerrno>
#include <cstring>
#include <deque>
#include <map>

namespace cuh::linux_desktop {
namespace {

uint64_t monotonicUsec() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint64_t>(now.tv_sec) * 1000000u + static_cast<uint64_t>(now.tv_nsec) / 1000u;
}

CallReply replyFrom(sd_bus_message* message) {
  CallReply reply;
  if (!message) {
    reply.status = CallStatus::notSent;
    return reply;
  }
  if (sd_bus_message_is_method_error(message, nullptr)) {
    const sd_bus_error* error = sd_bus_message_get_error(message);
    reply.errorName = error && error->name ? error->name : "";
    reply.status = statusOfError(reply.errorName);
    return reply;
  }
  reply.status = CallStatus::ok;
  reply.reply = BusMessage(sd_bus_message_ref(message));
  return reply;
}

}  // namespace

CallStatus statusOfError(std::string_view name) {
  // sd-bus reports its own timeout as NoReply ("Method call timed out"); the
  // bus daemon reports a peer that left without answering as NoReply too.
  // Either way nothing more will come from that peer in this request.
  if (name == "org.freedesktop.DBus.Error.NoReply" ||
      name == "org.freedesktop.DBus.Error.Timeout" || name == "org.freedesktop.DBus.Error.TimedOut")
    return CallStatus::timedOut;
  if (name == "org.freedesktop.DBus.Error.ServiceUnknown" ||
      name == "org.freedesktop.DBus.Error.NameHasNoOwner" ||
      name == "org.freedesktop.DBus.Error.Disconnected")
    return CallStatus::peerGone;
  return CallStatus::error;
}

std::unique_ptr<BusConnection> BusConnection::open(const std::string& address, std::string* error) {
  sd_bus* bus = nullptr;
  int r = sd_bus_new(&bus);
  if (r >= 0)
    r = sd_bus_set_address(bus, address.c_str());
  if (r >= 0)
    r = sd_bus_set_bus_client(bus, 1);
  if (r >= 0)
    r = sd_bus_start(bus);
  if (r < 0) {
    if (bus)
      sd_bus_unref(bus);
    if (error)
      *error = std::string("cannot connect to the bus at ") + address + ": " + std::strerror(-r);
    return nullptr;
  }
  return std::unique_ptr<BusConnection>(new BusConnection(bus));
}

BusConnection::~BusConnection() {
  sd_bus_flush_close_unref(bus_);
}

int BusConnection::fileDescriptor() const {
  return sd_bus_get_fd(bus_);
}

int BusConnection::pollEvents() const {
  int events = sd_bus_get_events(bus_);
  return events < 0 ? 0 : events;
}

uint64_t BusConnection::nextTimeoutUsec() const {
  uint64_t usec = UINT64_MAX;
  if (sd_bus_get_timeout(bus_, &usec) < 0)
    return UINT64_MAX;
  return usec;
}

bool BusConnection::processPending() {
  for (;;) {
    int r = sd_bus_process(bus_, nullptr);
    if (r < 0)
      return false;
    if (r == 0)
      return true;
  }
}

BusMessage BusConnection::newCall(const BusCall& call, int* status) {
  sd_bus_message* message = nullptr;
  *status =
      sd_bus_message_new_method_call(bus_, &message, call.destination.c_str(), call.path.c_str(),
                                     call.interface.c_str(), call.member.c_str());
  BusMessage owned(message);
  if (*status >= 0 && call.appendArguments)
    *status = call.appendArguments(message);
  return owned;
}

CallReply BusConnection::call(const BusCall& request, std::chrono::microseconds timeout) {
  CallReply result;
  int r = 0;
  BusMessage message = newCall(request, &r);
  if (r < 0)
    return result;
  sd_bus_error error = SD_BUS_ERROR_NULL;
  sd_bus_message* reply = nullptr;
  ++callsSent_;
  ++batchesSent_;
  r = sd_bus_call(bus_, message.get(), static_cast<uint64_t>(timeout.count()), &error, &reply);
  if (r >= 0) {
    result.status = CallStatus::ok;
    result.reply = BusMessage(reply);
  } else {
    result.errorName = error.name ? error.name : "";
    if (r == -ETIMEDOUT)
      result.status = CallStatus::timedOut;
    else if (!result.errorName.empty())
      result.status = statusOfError(result.errorName);
    else
      result.status = CallStatus::notSent;  // the connection itself failed
    if (reply)
      sd_bus_message_unref(reply);
  }
  sd_bus_error_free(&error);
  return result;
}

std::vector<CallReply> BusConnection::callAll(const std::vector<BusCall>& calls,
                                              std::chrono::microseconds timeout) {
  struct Pending {
    std::vector<CallReply>* replies = nullptr;
    size_t index = 0;
    std::vector<size_t>* arrived = nullptr;
    bool done = false;
  };
  // Per destination: the calls not sent yet (in order), how many are out,
  // and how its calls failed, once one did.
  struct Destination {
    std::deque<size_t> waiting;
    size_t inFlight = 0;
    std::optional<CallStatus> failed;
  };
  std::vector<CallReply> replies(calls.size());
  std::vector<Pending> pending(calls.size());
  std::vector<sd_bus_slot*> slots(calls.size(), nullptr);
  std::map<std::string, Destination> destinations;
  for (size_t i = 0; i < calls.size(); ++i)
    destinations[calls[i].destination].waiting.push_back(i);
  std::vector<size_t> arrived;  // replies not taken in yet
  auto onReply = [](sd_bus_message* message, void* userdata, sd_bus_error*) -> int {
    auto* entry = static_cast<Pending*>(userdata);
    (*entry->replies)[entry->index] = replyFrom(message);
    entry->done = true;
    entry->arrived->push_back(entry->index);
    return 0;
  };
  size_t outstanding = 0;
  // Sends what the windows allow; answers the calls to a failed peer.
  auto refill = [&] {
    for (auto& [name, destination] : destinations) {
      while (!destination.waiting.empty() &&
             (destination.failed || destination.inFlight < kMaxInFlight)) {
        size_t i = destination.waiting.front();
        destination.waiting.pop_front();
        if (destination.failed) {
          replies[i].status = *destination.failed;
          continue;
        }
        int r = 0;
        BusMessage message = newCall(calls[i], &r);
        if (r < 0)
          continue;  // notSent
        pending[i] = Pending{&replies, i, &arrived, false};
        r = sd_bus_call_async(bus_, &slots[i], message.get(), onReply, &pending[i],
                              static_cast<uint64_t>(timeout.count()));
        if (r < 0)
          continue;
        ++destination.inFlight;
        ++outstanding;
        ++callsSent_;
      }
    }
  };
  // Takes in what arrived: frees window places, notes failed peers.
  auto collect = [&] {
    for (size_t i : arrived) {
      sd_bus_slot_unref(slots[i]);
      slots[i] = nullptr;
      Destination& destination = destinations[calls[i].destination];
      --destination.inFlight;
      --outstanding;
      CallStatus status = replies[i].status;
      if (!destination.failed && (status == CallStatus::timedOut || status == CallStatus::peerGone))
        destination.failed = status;
    }
    arrived.clear();
  };
  refill();
  if (outstanding > 0)
    ++batchesSent_;
  // Each call carries its own timeout, so sd-bus answers a late one with a
  // timeout reply; the safety net here is a whole timeout without any
  // reply at all.
  const uint64_t quiet = static_cast<uint64_t>(timeout.count()) + 100000u;
  uint64_t lastProgress = monotonicUsec();
  while (outstanding > 0) {
    int r = sd_bus_process(bus_, nullptr);
    if (r < 0)
      break;
    if (!arrived.empty()) {
      collect();
      refill();
      lastProgress = monotonicUsec();
    }
    if (r > 0)
      continue;
    uint64_t now = monotonicUsec();
    if (now - lastProgress >= quiet)
      break;
    if (sd_bus_wait(bus_, lastProgress + quiet - now) < 0)
      break;
  }
  // The slots go, so no callback can run after this returns. A call still
  // unanswered timed out (or the connection was lost: notSent).
  bool connectionLost = !sd_bus_is_open(bus_);
  for (size_t i = 0; i < calls.size(); ++i) {
    if (slots[i]) {
      sd_bus_slot_unref(slots[i]);
      if (!pending[i].done)
        replies[i].status = connectionLost ? CallStatus::notSent : CallStatus::timedOut;
    }
  }
  // Calls not sent because the loop ended early: timed out with the rest,
  // unless the connection is gone.
  for (auto& [name, destination] : destinations) {
    for (size_t i : destination.waiting)
      replies[i].status = connectionLost ? CallStatus::notSent : CallStatus::timedOut;
  }
  return replies;
}

}  // namespace cuh::linux_desktop
