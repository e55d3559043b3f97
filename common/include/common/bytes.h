#pragma once

#include <cstdint>
#include <vector>

namespace tavrin {

// Binary data: certificates, hashes, signatures.
using Bytes = std::vector<std::uint8_t>;

}  // namespace tavrin
