#include "platform/linux/keyboard_map.h"

#include <X11/XKBlib.h>
#include <X11/keysym.h>

namespace cuh::linux_desktop {

std::optional<unsigned> KeyboardMap::keycodeFor(KeySym keysym) {
  if (x_.lost() || keysym == NoSymbol)
    return std::nullopt;
  KeyCode code = XKeysymToKeycode(x_.display(), keysym);
  if (code == 0)
    return std::nullopt;
  return code;
}

const ModifierMasks& KeyboardMap::masks() {
  if (masks_)
    return *masks_;
  ModifierMasks masks;
  if (!x_.lost()) {
    if (XModifierKeymap* map = XGetModifierMapping(x_.display())) {
      // Rows 3 to 7 are Mod1 to Mod5; Command is the first row holding a
      // Super key.
      for (int row = 3; row < 8 && masks.command == 0; ++row) {
        for (int i = 0; i < map->max_keypermod; ++i) {
          KeyCode code = map->modifiermap[row * map->max_keypermod + i];
          if (code == 0)
            continue;
          KeySym sym = XkbKeycodeToKeysym(x_.display(), code, 0, 0);
          if (sym == XK_Super_L || sym == XK_Super_R) {
            masks.command = 1u << row;
            break;
          }
        }
      }
      XFreeModifiermap(map);
    }
  }
  masks_ = masks;
  return *masks_;
}

}  // namespace cuh::linux_desktop
