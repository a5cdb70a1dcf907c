// Input from the devices, as the X input extension's raw events report it
// on the root window: every button, wheel, motion and key of a physical or
// test device, whichever client it goes to. Events sent with XSendEvent
// (the helper's own) make none. Selected only while something listens, so
// an idle helper is not woken by every motion of the mouse.
#pragma once

#include <X11/Xlib.h>

#include <optional>

#include "platform/linux/x_connection.h"

namespace cuh::linux_desktop {

enum class RawInputKind { button, wheel, motion, key };

class RawInput {
 public:
  explicit RawInput(XConnection& x);
  ~RawInput();
  RawInput(const RawInput&) = delete;
  RawInput& operator=(const RawInput&) = delete;

  // The server has the extension (version 2.0 or later).
  bool available() const { return opcode_ >= 0; }
  // Starts or stops listening; cheap when nothing changes.
  void listen(bool on);
  bool listening() const { return listening_; }
  // What `event` is, when it is one of the raw events listened for.
  // Releases its data when it was.
  std::optional<RawInputKind> decode(XEvent& event);

 private:
  XConnection& x_;
  int opcode_ = -1;
  bool listening_ = false;
};

}  // namespace cuh::linux_desktop
