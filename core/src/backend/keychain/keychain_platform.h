#pragma once
// The operations of the platform's identity store that the Keychain backend
// needs, one per platform call. The backend's logic is written against this
// interface only; each platform supplies one implementation (on Linux, the
// user's NSS database).
//
// References: the layer hands out shared pointers to objects of its own
// subclasses. Each keeps its platform object alive (retained) until the last
// copy is gone, and releases it then.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/bytes.h"

namespace tavrin::keychain {

// A platform status code: 0 is success.
using Status = std::int32_t;
inline constexpr Status kStatusSuccess = 0;
inline constexpr Status kStatusItemNotFound = -25300;

// Something the identity search returned; only identities are used.
class Item {
  public:
    virtual ~Item() = default;
};
// A certificate together with its private key.
class Identity : public Item {};
class Certificate {
  public:
    virtual ~Certificate() = default;
};
class PrivateKey {
  public:
    virtual ~PrivateKey() = default;
};
// A store to search instead of the user's default list.
class Keychain {
  public:
    virtual ~Keychain() = default;
};
// Why a signature could not be made.
class SignatureError {
  public:
    virtual ~SignatureError() = default;
};

enum class SignatureAlgorithm : std::uint8_t {
    RsaPkcs1v15DigestSha256,
    RsaPkcs1v15DigestSha512,
    EcdsaDigestX962Sha256,
    EcdsaDigestX962Sha512,
};

struct SearchResult {
    Status status = kStatusSuccess;
    std::vector<std::shared_ptr<Item>> items;
};

template <class T>
struct Copied {
    Status status = kStatusSuccess;
    std::shared_ptr<T> ref;  // set when status is 0
};

struct SignatureResult {
    std::optional<Bytes> signature;         // set on success
    std::shared_ptr<SignatureError> error;  // set on failure
};

class KeychainPlatform {
  public:
    virtual ~KeychainPlatform() = default;

    // All identities of the user's stores, or of `search_list` when given.
    // kStatusItemNotFound when there are none.
    virtual SearchResult copy_matching_identities(
        const std::vector<std::shared_ptr<Keychain>>* search_list) = 0;

    virtual Copied<Certificate> copy_certificate(const Identity& identity) = 0;

    // The certificate's DER bytes (empty when the platform gives none).
    virtual Bytes certificate_data(const Certificate& certificate) = 0;

    // The size in bits of the certificate's public key, reached through a
    // trust object for this certificate alone with the basic X.509 policy;
    // nothing when any step fails or the size is not given.
    virtual std::optional<std::int64_t> public_key_size_bits(const Certificate& certificate) = 0;

    virtual Copied<PrivateKey> copy_private_key(const Identity& identity) = 0;

    // Signs one digest; the digest is not hashed again.
    virtual SignatureResult create_signature(const PrivateKey& key, SignatureAlgorithm algorithm,
                                             std::span<const std::uint8_t> digest) = 0;

    // The platform's message for a non-zero status, if it has one.
    virtual std::optional<std::string> error_message(Status status) = 0;

    virtual std::string error_description(const SignatureError& error) = 0;
};

// The implementation for the platform this build is for.
std::unique_ptr<KeychainPlatform> make_default_keychain_platform();

}  // namespace tavrin::keychain
