#include "platform/linux/raw_input.h"

#include <X11/extensions/XInput2.h>

namespace cuh::linux_desktop {

RawInput::RawInput(XConnection& x) : x_(x) {
  if (x_.lost())
    return;
  int event = 0;
  int error = 0;
  int opcode = 0;
  if (!XQueryExtension(x_.display(), "XInputExtension", &opcode, &event, &error))
    return;
  int major = 2;
  int minor = 0;
  if (XIQueryVersion(x_.display(), &major, &minor) != Success)
    return;
  opcode_ = opcode;
}

RawInput::~RawInput() {
  listen(false);
}

void RawInput::listen(bool on) {
  if (!available() || on == listening_ || x_.lost())
    return;
  unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
  if (on) {
    XISetMask(bits, XI_RawKeyPress);
    XISetMask(bits, XI_RawButtonPress);
    XISetMask(bits, XI_RawMotion);
  }
  XIEventMask mask{XIAllMasterDevices, static_cast<int>(sizeof bits), bits};
  XISelectEvents(x_.display(), x_.root(), &mask, 1);
  // A round trip: the server listens before the request that armed a
  // target is answered, so input the client sends after it is seen.
  XSync(x_.display(), False);
  listening_ = on;
}

std::optional<RawInputKind> RawInput::decode(XEvent& event) {
  if (!available() || event.type != GenericEvent || event.xcookie.extension != opcode_)
    return std::nullopt;
  if (!XGetEventData(x_.display(), &event.xcookie))
    return std::nullopt;
  std::optional<RawInputKind> kind;
  const auto* raw = static_cast<const XIRawEvent*>(event.xcookie.data);
  switch (event.xcookie.evtype) {
    case XI_RawKeyPress:
      kind = RawInputKind::key;
      break;
    case XI_RawButtonPress:
      // Buttons 4 to 7 are the wheel.
      kind = raw->detail >= 4 && raw->detail <= 7 ? RawInputKind::wheel : RawInputKind::button;
      break;
    case XI_RawMotion:
      kind = RawInputKind::motion;
      break;
    default:
      break;
  }
  XFreeEventData(x_.display(), &event.xcookie);
  return kind;
}

}  // namespace cuh::linux_desktop
