#pragma once
// The protocol's enumerations and their wire spellings. Each enumeration has
// one table of spellings, in declaration order; everything else (writing,
// reading, error texts) is derived from it.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tavrin {

enum class Purpose : std::uint8_t { Sign, Auth, Any };
enum class CertPurpose : std::uint8_t { Sign, Auth };
enum class HashAlg : std::uint8_t { Sha256, Sha512 };
enum class Scheme : std::uint8_t { RsaPkcs1, RsaPss, Ecdsa };
enum class KeyAlgorithm : std::uint8_t { Rsa2048, Rsa4096, EcP256, EcBrainpoolP256r1 };
enum class Backend : std::uint8_t { Cng, Pkcs11, Keychain };
enum class Platform : std::uint8_t { Windows, Macos, Linux };

template <class E>
struct WireNames;

template <>
struct WireNames<Purpose> {
    static constexpr std::array<std::string_view, 3> names{"sign", "auth", "any"};
};
template <>
struct WireNames<CertPurpose> {
    static constexpr std::array<std::string_view, 2> names{"sign", "auth"};
};
template <>
struct WireNames<HashAlg> {
    static constexpr std::array<std::string_view, 2> names{"SHA-256", "SHA-512"};
};
template <>
struct WireNames<Scheme> {
    static constexpr std::array<std::string_view, 3> names{"rsa-pkcs1", "rsa-pss", "ecdsa"};
};
template <>
struct WireNames<KeyAlgorithm> {
    static constexpr std::array<std::string_view, 4> names{"rsa2048", "rsa4096", "ec-p256",
                                                           "ec-brainpoolP256r1"};
};
template <>
struct WireNames<Backend> {
    static constexpr std::array<std::string_view, 3> names{"cng", "pkcs11", "keychain"};
};
template <>
struct WireNames<Platform> {
    static constexpr std::array<std::string_view, 3> names{"windows", "macos", "linux"};
};

template <class E>
constexpr std::string_view wire_name(E value) {
    return WireNames<E>::names[static_cast<std::size_t>(value)];
}

// Exact, case-sensitive match against the spellings.
template <class E>
constexpr std::optional<E> from_wire(std::string_view text) {
    const auto& names = WireNames<E>::names;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i] == text) return static_cast<E>(i);
    }
    return std::nullopt;
}

// The accepted spellings for an error text: "sign", "auth", "any".
template <class E>
std::string accepted_spellings() {
    std::string out;
    for (const auto name : WireNames<E>::names) {
        if (!out.empty()) out += ", ";
        out += '"';
        out += name;
        out += '"';
    }
    return out;
}

// The name a hash algorithm carries inside error texts ("Sha256", "Sha512").
constexpr std::string_view debug_name(HashAlg alg) {
    return alg == HashAlg::Sha256 ? "Sha256" : "Sha512";
}

// The digest length that a hash of `alg` must have.
constexpr std::size_t digest_length(HashAlg alg) {
    return alg == HashAlg::Sha256 ? 32 : 64;
}

}  // namespace tavrin
