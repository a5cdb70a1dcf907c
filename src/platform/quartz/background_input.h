// Background input over Quartz events: each gesture's events built as
// input_events.h dresses them and posted to the target process only.
#pragma once

#include <cstdint>

#include "platform/background_input.h"
#include "platform/quartz/host.h"
#include "platform/quartz/mouse_event_numbers.h"

namespace cuh::quartz {

class QuartzBackgroundInput final : public platform::BackgroundInput {
 public:
  QuartzBackgroundInput(Host& host, MouseEventNumbers& mouseEventNumbers);

  // platform::BackgroundInput
  platform::InputOutcome send(int32_t pid,
                              uint32_t windowID,
                              const platform::PlaceGesture& place) override;

 private:
  platform::InputOutcome sendClick(int32_t pid,
                                   uint32_t windowID,
                                   const platform::Rect& frame,
                                   const platform::Click& click);
  platform::InputOutcome sendDrag(int32_t pid,
                                  uint32_t windowID,
                                  const platform::Rect& frame,
                                  const platform::Drag& drag);
  platform::InputOutcome sendScroll(int32_t pid,
                                    uint32_t windowID,
                                    const platform::Rect& frame,
                                    const platform::Scroll& scroll);
  platform::InputOutcome sendKeystroke(int32_t pid, const platform::Keystroke& keystroke);

  Host& host_;
  MouseEventNumbers& mouseEventNumbers_;
};

}  // namespace cuh::quartz
