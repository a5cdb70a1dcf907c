// Start-up and shutdown of the helper: the reader thread, the one-second
// housekeeping timer, the end of input and termination.
#include "app/helper_delegate.h"

namespace cuh {

void HelperDelegate::applicationDidFinishLaunching() {
  // The reader starts before the timer; neither waits for the other.
  startReader();
  startTimer();
}

void HelperDelegate::startReader() {
  std::weak_ptr<HelperDelegate> weak = weak_from_this();
  platform::MainLoop& loop = platform_.mainLoop();

  // The reader hands every request to the main thread in reading order. The
  // end of input is posted behind them, so all that was read is dispatched
  // before termination starts.
  ReaderThread::Callbacks callbacks;
  callbacks.onRequest = [weak, &loop](Json request) {
    loop.post([weak, request = std::move(request)]() mutable {
      if (auto self = weak.lock())
        self->enqueue(std::move(request));
    });
  };
  callbacks.onInvalid = [weak] {
    if (auto self = weak.lock())
      self->writer().writeInvalidJson();
  };
  callbacks.onEnd = [weak, &loop] {
    loop.post([weak] {
      if (auto self = weak.lock())
        self->endOfInput();
    });
  };
  reader_ = std::make_unique<ReaderThread>(inputFd_, std::move(callbacks));
  reader_->start();
}

void HelperDelegate::startTimer() {
  std::weak_ptr<HelperDelegate> weak = weak_from_this();
  timer_ = platform_.mainLoop().scheduleRepeatingTimer(kTimerInterval, [weak] {
    if (auto self = weak.lock())
      self->timerTick();
  });
}

void HelperDelegate::applicationWillTerminate() {
  terminating_ = true;
  releaseControllers();
  timer_.reset();
  stopReader();
}

void HelperDelegate::timerTick() {
  // Parent watch: any failure of the signal-0 probe, a permission failure
  // included, means the parent is gone.
  if (parentPID_ > 0 && platform_.process().killZero(parentPID_) != 0) {
    platform_.application().terminate();
    return;
  }
  guard_->expireLease();
  guard_->sweepControllers();
}

void HelperDelegate::endOfInput() {
  if (inputEnded_)
    return;
  inputEnded_ = true;
  // The parent that closed its end may still read: a request in flight
  // (a click, a launch) is answered before the helper goes. The grace
  // period keeps a request that never completes from holding it alive.
  std::weak_ptr<HelperDelegate> weak = weak_from_this();
  platform_.mainLoop().postDelayed(kEndOfInputGrace, [weak] {
    if (auto self = weak.lock())
      self->platform_.application().terminate();
  });
  terminateWhenIdle();
}

bool HelperDelegate::idleAfterEndOfInput() const {
  return inputEnded_ && !requestInFlight_ && queuedRequests_.empty();
}

void HelperDelegate::terminateWhenIdle() {
  if (!idleAfterEndOfInput())
    return;
  // Posted, not called: the last completion may run deep inside an input
  // or launch step that termination must not unwind through. Checked again
  // when it runs: after a signal the reader may have handed over another
  // request meanwhile, whose own completion then comes back here.
  std::weak_ptr<HelperDelegate> weak = weak_from_this();
  platform_.mainLoop().post([weak] {
    if (auto self = weak.lock(); self && self->idleAfterEndOfInput())
      self->platform_.application().terminate();
  });
}

void HelperDelegate::stopReader() {
  if (reader_)
    reader_->stop();
}

}  // namespace cuh
