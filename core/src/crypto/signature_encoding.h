#pragma once
// ECDSA signatures from the raw r||s form (IEEE P1363) that tokens return to
// the DER ECDSA-Sig-Value (SEQUENCE of two INTEGERs) that replies carry.

#include <cstdint>
#include <span>
#include <string>

#include "common/bytes.h"
#include "common/result.h"

namespace tavrin {

class CryptoError {
  public:
    enum class Kind : std::uint8_t { OddLength, Empty };

    static CryptoError odd_length(std::size_t length) {
        return CryptoError(Kind::OddLength, length);
    }
    static CryptoError empty() { return CryptoError(Kind::Empty, 0); }

    Kind kind() const { return kind_; }
    std::size_t length() const { return length_; }
    std::string display() const;

    friend bool operator==(const CryptoError&, const CryptoError&) = default;

  private:
    CryptoError(Kind kind, std::size_t length) : kind_(kind), length_(length) {}
    Kind kind_;
    std::size_t length_;
};

// r is the first half, s the second; both become minimal DER INTEGERs.
Result<Bytes, CryptoError> p1363_to_der(std::span<const std::uint8_t> signature);

// The complete DER INTEGER (tag, length, content) of a non-empty unsigned
// big-endian number.
Bytes encode_der_integer(std::span<const std::uint8_t> magnitude);

}  // namespace tavrin
