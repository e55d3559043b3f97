#include "crypto/signature_encoding.h"

namespace tavrin {
namespace {

constexpr std::uint8_t kIntegerTag = 0x02;
constexpr std::uint8_t kSequenceTag = 0x30;

// Short form below 128, otherwise 0x80 | n followed by n big-endian octets.
void append_length(Bytes& out, std::size_t length) {
    if (length < 0x80) {
        out.push_back(static_cast<std::uint8_t>(length));
        return;
    }
    std::uint8_t octets[sizeof(std::size_t)];
    std::size_t count = 0;
    for (std::size_t rest = length; rest != 0; rest >>= 8)
        octets[count++] = static_cast<std::uint8_t>(rest & 0xFF);
    out.push_back(static_cast<std::uint8_t>(0x80 | count));
    while (count > 0)
        out.push_back(octets[--count]);
}

}  // namespace

std::string CryptoError::display() const {
    switch (kind_) {
        case Kind::OddLength:
            return "P1363 signature length " + std::to_string(length_) +
                   " is not even (must be 2 * order size)";
        case Kind::Empty:
            return "P1363 signature is empty";
    }
    return "P1363 signature error";
}

Bytes encode_der_integer(std::span<const std::uint8_t> magnitude) {
    // An empty number is read as zero rather than producing an empty INTEGER.
    static constexpr std::uint8_t kZero = 0;
    if (magnitude.empty()) magnitude = {&kZero, 1};

    std::size_t first = 0;
    while (first + 1 < magnitude.size() && magnitude[first] == 0)
        ++first;
    const auto digits = magnitude.subspan(first);
    const bool pad = digits[0] >= 0x80;  // keeps the INTEGER positive

    Bytes out;
    out.reserve(digits.size() + 8);
    out.push_back(kIntegerTag);
    append_length(out, digits.size() + (pad ? 1 : 0));
    if (pad) out.push_back(0x00);
    out.insert(out.end(), digits.begin(), digits.end());
    return out;
}

Result<Bytes, CryptoError> p1363_to_der(std::span<const std::uint8_t> signature) {
    if (signature.size() % 2 != 0) return CryptoError::odd_length(signature.size());
    if (signature.empty()) return CryptoError::empty();

    const std::size_t half = signature.size() / 2;
    const Bytes r = encode_der_integer(signature.first(half));
    const Bytes s = encode_der_integer(signature.subspan(half));

    Bytes out;
    out.reserve(r.size() + s.size() + 10);
    out.push_back(kSequenceTag);
    append_length(out, r.size() + s.size());
    out.insert(out.end(), r.begin(), r.end());
    out.insert(out.end(), s.begin(), s.end());
    return out;
}

}  // namespace tavrin
