#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace tavrin {

// The certificate's identifier: lower-case hexadecimal SHA-256 of its DER
// bytes, 64 characters. Stable across runs and backends.
std::string certificate_id(std::span<const std::uint8_t> der);

}  // namespace tavrin
