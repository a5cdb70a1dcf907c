// The display's keyboard as the key method needs it: which keycode types a
// keysym, and which modifier bit the Super key (Command) sets. Read from
// the server once per connection; a keyboard whose mapping changes while
// the helper runs is read again on MappingNotify (see refresh).
#pragma once

#include <X11/Xlib.h>

#include <optional>

#include "platform/linux/mac_keys.h"
#include "platform/linux/x_connection.h"

namespace cuh::linux_desktop {

class KeyboardMap {
 public:
  explicit KeyboardMap(XConnection& x) : x_(x) {}

  // The keycode that types `keysym` (at any level); none when no key of
  // the display does.
  std::optional<unsigned> keycodeFor(KeySym keysym);
  // The masks of the modifier keysyms on this display.
  const ModifierMasks& masks();
  // Forget what was read: the keyboard mapping changed.
  void refresh() { masks_.reset(); }

 private:
  XConnection& x_;
  std::optional<ModifierMasks> masks_;
};

}  // namespace cuh::linux_desktop
