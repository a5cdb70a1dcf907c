// HelperDelegate: the application delegate and the one owner of all request
// state: the request queue and in-flight flag, the foreground guard (focus
// controllers, lease, mouse-event counter), the parent to watch, the
// response writer and the reader thread. Everything but the reader thread
// and the writer's mutex lives on the main thread, so no lock guards it.
// Owned by a std::shared_ptr; the reader's hand-offs, the timer and
// asynchronous steps hold it weakly.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "app/dispatcher.h"
#include "app/request_guard.h"
#include "platform/platform.h"
#include "protocol/json.h"
#include "protocol/request_completion.h"
#include "protocol/request_reader.h"
#include "protocol/response_writer.h"

namespace cuh {

struct HelperOptions {
  // The parent process to watch; 0 or negative: no watch.
  int32_t parentPID = 0;
  // Where requests are read from (standard input).
  int inputFd = 0;
  // Where response lines go (standard output).
  LineSink output;
  // Stand-in for the foreground guard (tests); the real one when null.
  std::unique_ptr<RequestGuard> guard;
  // Stand-in for the method table (tests); the helper's own when empty.
  std::span<const MethodEntry> methods;
};

class HelperDelegate final : public RequestCompletion,
                             public platform::ApplicationDelegate,
                             public std::enable_shared_from_this<HelperDelegate> {
 public:
  // The lifetime of a guard lease in seconds.
  static constexpr double kGuardLeaseDuration = 20.0;
  // The period of the housekeeping timer in seconds.
  static constexpr double kTimerInterval = 1.0;
  // How long, at most, the end of input waits for the request in flight and
  // those queued behind it before terminating anyway.
  static constexpr double kEndOfInputGrace = 10.0;

  static std::shared_ptr<HelperDelegate> create(platform::Platform& platform,
                                                HelperOptions options);
  ~HelperDelegate() override;

  // ---- Request queue and dispatcher (dispatcher.cc) ----
  // The reader's hand-off, on the main thread: queue `request`, then start
  // it if nothing is in flight.
  void enqueue(Json request);
  // runNextRequest(): starts queued requests while none is in flight. Runs
  // as a loop: completions called from inside it return to the loop rather
  // than nesting one call level per request.
  void runNextRequest();
  // Restores borrowed focus state, tells the platform the request ended,
  // writes the response, clears the in-flight flag and starts the next
  // request.
  void finish(std::optional<int64_t> id,
              std::optional<Json> result,
              std::optional<std::string> error) override;
  // The helper is terminating: requests left unanswered stay so.
  bool terminating() const override { return terminating_; }
  // A request answered a second time: the answer was dropped.
  void answerDropped() override { ++droppedAnswers_; }
  // Writes one response line.
  void writeResponse(std::optional<int64_t> id,
                     const Json* result,
                     const std::optional<std::string>& error);

  // ---- Lifecycle (lifecycle.cc) ----
  // Starts the reader thread, then the one-second timer.
  void applicationDidFinishLaunching() override;
  void startReader();
  void startTimer();
  // releaseControllers(), then stops the timer and the reader.
  void applicationWillTerminate() override;
  // One tick of the one-second timer: parent watch, lease expiry,
  // controller sweep.
  void timerTick();
  // The end of standard input (or a termination signal): every request read
  // has been queued by now. Terminates once each of them is answered, or
  // after kEndOfInputGrace seconds, whichever comes first.
  void endOfInput();
  // The desktop went away: as the end of input.
  void desktopDidDisconnect() override { endOfInput(); }
  // releaseControllers().
  void releaseControllers();

  // ---- State ----
  platform::Platform& platform() { return platform_; }
  RequestGuard& guard() { return *guard_; }
  ResponseWriter& writer() { return writer_; }
  int32_t parentPID() const { return parentPID_; }
  double guardLeaseDuration() const { return guardLeaseDuration_; }
  bool requestInFlight() const { return requestInFlight_; }
  size_t queuedRequestCount() const { return queuedRequests_.size(); }
  // How many second answers were dropped (none, unless an operation is
  // wrong).
  uint64_t droppedAnswers() const { return droppedAnswers_; }

 private:
  HelperDelegate(platform::Platform& platform, HelperOptions options);

  // Takes one request off the queue and runs it (dispatcher.cc).
  void dispatch(Json object);
  // A direct answer: end the request, write, clear the in-flight flag, start
  // the next one.
  void answerDirectly(std::optional<int64_t> id,
                      const Json* result,
                      const std::optional<std::string>& error);
  void stopReader();
  // After the end of input, with no request in flight or queued.
  bool idleAfterEndOfInput() const;
  // Terminates, from a fresh main-loop item, once idleAfterEndOfInput().
  void terminateWhenIdle();

  platform::Platform& platform_;
  std::deque<Json> queuedRequests_;
  bool requestInFlight_ = false;
  std::unique_ptr<RequestGuard> guard_;
  const std::span<const MethodEntry> methods_;
  const int32_t parentPID_;
  const double guardLeaseDuration_ = kGuardLeaseDuration;
  ResponseWriter writer_;
  const int inputFd_;
  std::unique_ptr<ReaderThread> reader_;
  platform::RepeatingTimer timer_;
  // True while runNextRequest's loop is running.
  bool dispatching_ = false;
  // Set by endOfInput.
  bool inputEnded_ = false;
  // Set when termination starts.
  bool terminating_ = false;
  uint64_t droppedAnswers_ = 0;
};

}  // namespace cuh
