#include "platform/linux/bus_connection.h"

#include <poll.h>
#include <time.h>

#include <cerrno>
#include <cstring>

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
    size_t* left = nullptr;
    bool done = false;
  };
  std::vector<CallReply> replies(calls.size());
  std::vector<Pending> pending(calls.size());
  std::vector<sd_bus_slot*> slots(calls.size(), nullptr);
  size_t left = 0;
  auto onReply = [](sd_bus_message* message, void* userdata, sd_bus_error*) -> int {
    auto* entry = static_cast<Pending*>(userdata);
    (*entry->replies)[entry->index] = replyFrom(message);
    entry->done = true;
    --*entry->left;
    return 0;
  };
  for (size_t i = 0; i < calls.size(); ++i) {
    int r = 0;
    BusMessage message = newCall(calls[i], &r);
    if (r < 0)
      continue;
    pending[i] = Pending{&replies, i, &left, false};
    r = sd_bus_call_async(bus_, &slots[i], message.get(), onReply, &pending[i],
                          static_cast<uint64_t>(timeout.count()));
    if (r >= 0) {
      ++left;
      ++callsSent_;
    }
  }
  if (left > 0)
    ++batchesSent_;
  // Each call carries its own timeout, so sd-bus itself answers the late
  // ones with a timeout reply; the deadline here is only a safety net.
  uint64_t deadline = monotonicUsec() + static_cast<uint64_t>(timeout.count()) + 100000u;
  while (left > 0) {
    int r = sd_bus_process(bus_, nullptr);
    if (r < 0)
      break;
    if (r > 0)
      continue;
    uint64_t now = monotonicUsec();
    if (now >= deadline)
      break;
    if (sd_bus_wait(bus_, deadline - now) < 0)
      break;
  }
  // The slots go, so no callback can run after this returns. A sent call
  // still unanswered timed out (or the connection was lost: notSent).
  bool pastDeadline = monotonicUsec() >= deadline;
  for (size_t i = 0; i < calls.size(); ++i) {
    if (!slots[i])
      continue;
    sd_bus_slot_unref(slots[i]);
    if (!pending[i].done && pastDeadline)
      replies[i].status = CallStatus::timedOut;
  }
  return replies;
}

}  // namespace cuh::linux_desktop
