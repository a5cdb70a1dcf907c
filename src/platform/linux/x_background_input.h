// Background input on X11: a gesture sent with XSendEvent to the target's
// client window only, never through the pointer or the input devices, so
// the pointer does not move and no other window sees anything. The events
// are the ones a device would make the server deliver there
// (x_input_events.h), stamped from the server's time.
#pragma once

#include <functional>

#include "platform/background_input.h"
#include "platform/linux/event_stamps.h"
#include "platform/linux/keyboard_map.h"
#include "platform/linux/x_connection.h"
#include "platform/main_loop.h"
#include "platform/sim/sim_trace.h"

namespace cuh::linux_desktop {

// The most wheel steps one scroll sends per axis: enough to reach the end
// of any view, few enough to be sent at once.
inline constexpr uint32_t kMaxWheelSteps = 1000;

// Toolkits' double-click time is at most this (GTK's default is 400 ms);
// separate click requests are stamped further apart.
inline constexpr uint32_t kDoubleClickMs = 500;

class XBackgroundInput final : public platform::BackgroundInput {
 public:
  // Whether a screen point of window `windowID` of `pid` lies on the frame
  // the window draws itself (client-side decorations), where a press moves,
  // resizes or raises it; asked for such windows only.
  using ClientFrameTest = std::function<bool(int32_t pid, uint32_t windowID, platform::Point)>;

  XBackgroundInput(XConnection& x,
                   platform::MainLoop& loop,
                   sim::Trace& trace,
                   ClientFrameTest onClientFrame)
      : x_(x),
        loop_(loop),
        trace_(trace),
        onClientFrame_(std::move(onClientFrame)),
        keyboard_(x),
        stamps_(kDoubleClickMs) {}

  platform::InputOutcome send(int32_t pid,
                              uint32_t windowID,
                              const platform::PlaceGesture& place) override;

  KeyboardMap& keyboard() { return keyboard_; }

 private:
  XConnection& x_;
  platform::MainLoop& loop_;
  sim::Trace& trace_;
  ClientFrameTest onClientFrame_;
  KeyboardMap keyboard_;
  EventStamps stamps_;
};

}  // namespace cuh::linux_desktop
