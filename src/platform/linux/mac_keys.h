// The protocol's keys on X11: its key codes are macOS virtual key codes and
// its flags macOS event flags. Here they become X keysyms (of a US layout)
// and X modifier state; which keycode of the display types a keysym is a
// question for the display (KeyboardMapping), not for these tables.
#pragma once

#include <X11/X.h>

#include <cstdint>
#include <optional>
#include <span>

namespace cuh::linux_desktop {

// The keysym a macOS virtual key code types on a US layout, unshifted (the
// state carries Shift). None for codes without an X counterpart: unknown
// codes, and the Fn key (63), which reaches no X client on any keyboard.
std::optional<KeySym> keysymForMacKeyCode(uint16_t keyCode);

// One modifier of the key method's modifier table, in press order.
struct MacModifier {
  uint64_t flag;        // the macOS event flag bit
  uint16_t macKeyCode;  // the macOS virtual key code of its key
  KeySym keysym;        // the X key pressed for it; NoSymbol for Fn
};

// The five modifiers of the key method, in press order (Command, Control,
// Shift, Option, Fn); releases go in the reverse order.
std::span<const MacModifier> macModifiers();

// Which X modifier bits a display gives the modifier keysyms: Shift and
// Control are fixed; Option is Mod1 (Alt); Command is whichever ModN holds
// a Super key on the display (usually Mod4), none when no key does.
struct ModifierMasks {
  unsigned int command = 0;
  unsigned int control = ControlMask;
  unsigned int shift = ShiftMask;
  unsigned int option = Mod1Mask;
};

// The X state of macOS flags: each of Command, Control, Shift and Option
// that is set gives its mask; Fn and every other bit give none (they have
// no X modifier).
unsigned int xStateForMacFlags(uint64_t flags, const ModifierMasks& masks);

}  // namespace cuh::linux_desktop
