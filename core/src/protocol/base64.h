#pragma once
// Base64 of RFC 4648, standard alphabet, with "=" padding. The reader accepts
// only the canonical form: padding present and correct, no stray characters,
// zero bits after the last encoded byte.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "common/bytes.h"
#include "common/result.h"

namespace tavrin {

std::string base64_encode(std::span<const std::uint8_t> data);

// The decoded bytes, or a description of what is wrong and where.
Result<Bytes, std::string> base64_decode(std::string_view text);

}  // namespace tavrin
