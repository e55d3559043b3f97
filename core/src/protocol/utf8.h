#pragma once
// UTF-8 well-formedness (RFC 3629): no overlong forms, no surrogates, nothing
// above U+10FFFF.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tavrin {

// Offset of the first byte that starts an ill-formed sequence, or nothing
// when the whole text is well-formed UTF-8.
std::optional<std::size_t> first_invalid_utf8(std::string_view text);

// The text with every ill-formed sequence replaced by U+FFFD, for texts
// built from fragments of outside input (the JSON library's error messages
// quote the bytes it read, which may stop inside a multi-byte character).
std::string utf8_lossy(std::string_view text);

// "line L, column C" of byte `offset` (both counted from 1, columns in bytes),
// the way the JSON reader names positions.
std::string describe_position(std::string_view text, std::size_t offset);

}  // namespace tavrin
