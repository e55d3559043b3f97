#pragma once
// What the user is asked to do at the card reader while the core waits: the
// core opens a notice of this kind and the host shows it.

#include <cstdint>

namespace tavrin {

enum class WaitKind : std::uint8_t {
    PinPad,  // enter the PIN on the reader's own keypad
    Card,    // insert a card into the reader
};

}  // namespace tavrin
