#pragma once
// A schema-free check that bytes are one value in canonical DER form. The
// X.509 decoder accepts some BER forms (a BOOLEAN of 01, non-minimal or
// indefinite lengths, constructed strings); this walk rejects them.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "common/result.h"

namespace tavrin {

// The identifier and length octets of one value.
struct DerHeader {
    std::uint8_t first_octet;    // class, constructed bit and (low) tag number
    std::uint32_t tag_number;    // also for the high-tag-number form
    std::size_t header_length;   // identifier plus length octets
    std::size_t content_length;  // always definite
};

// The header of the value at `offset`, when it is complete, in minimal form
// and its content lies within `der`; otherwise a text naming the offset.
Result<DerHeader, std::string> read_der_header(std::span<const std::uint8_t> der,
                                               std::size_t offset);

// Unit when `der` is exactly one DER value: definite minimal lengths and tags,
// BOOLEAN only 00 or FF, minimal INTEGERs, clean BIT STRING padding, primitive
// strings, SET elements in order, nothing after the value. Otherwise the first
// rule broken, with the offset of the octets concerned.
Result<Unit, std::string> check_canonical_der(std::span<const std::uint8_t> der);

}  // namespace tavrin
