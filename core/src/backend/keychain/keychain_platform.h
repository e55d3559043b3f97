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
#include "common/pin.h"

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
    // Set instead of `error` when the store cannot make this kind of
    // signature with this key at all: why, in the platform's words.
    std::optional<std::string> unsupported;
};

// What must happen before an identity's private key can be used.
enum class LoginNeed : std::uint8_t {
    None,           // the key is usable as it is (or the platform unlocks it itself)
    Pin,            // the key lies on a token that wants the user's PIN first
    ProtectedPath,  // ... entered on the card reader's own keypad, not here
};

// Where the token that holds an identity's key stands now.
enum class TokenPresence : std::uint8_t {
    Present,     // in its reader (always so for the platform's own store)
    CardAbsent,  // its reader is there, the card is not
    ReaderGone,  // the reader (or the service that reaches it) is gone
};

// The result of one login attempt.
struct LoginOutcome {
    // Cancelled: the entry on a reader's keypad was cancelled or timed out.
    enum class Kind : std::uint8_t { LoggedIn, PinIncorrect, PinLocked, Cancelled, Failed };
    Kind kind = Kind::LoggedIn;
    std::optional<std::uint32_t> retries_left;  // PinIncorrect, when the token tells
    Status status = kStatusSuccess;             // Failed: the platform's status
};

// The names of the platform steps that error texts start with; a platform
// names its own functions (NSS: "PK11_FindKeyByAnyCert", a token: "C_Login").
struct StepNames {
    const char* copy_certificate = "copy certificate";
    const char* copy_private_key = "find private key";
    const char* create_signature = "create signature";
    const char* login = "login";
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

    // The step names the error texts about this identity's key use.
    virtual StepNames step_names(const Identity& /*identity*/) const { return {}; }

    // The label of the token that holds the certificate; nothing for the
    // platform's own store.
    virtual std::optional<std::string> token_label(const Certificate& /*certificate*/) {
        return std::nullopt;
    }

    // The certificate's issuers as far as the store can find them, nearest
    // first, the certificate itself not included.
    virtual std::vector<Bytes> issuer_chain(const Certificate& /*certificate*/) { return {}; }

    // Whether the identity's key needs a login before it can be used.
    virtual LoginNeed login_need(const Identity& /*identity*/) { return LoginNeed::None; }

    // Why the identity's key cannot be used at all, said before any PIN is
    // asked for (for example a key that wants the PIN for every signature on
    // a reader that takes it only on its keypad); nothing when it can.
    virtual std::optional<std::string> key_refusal(const Identity& /*identity*/) {
        return std::nullopt;
    }

    // Exactly one login attempt with `pin` on the token of the identity's key,
    // never a retry. Until logout, a key that demands the PIN again for every
    // signature gets this same PIN for each: the platform refers to `pin`
    // (which outlives the logout) and keeps no copy beyond the call that
    // hands it to the token.
    // A null `pin` logs in through the token's protected authentication path
    // (the reader's keypad); the call returns when the user is done there.
    virtual LoginOutcome login(const Identity& /*identity*/, const Pin* /*pin*/) { return {}; }
    virtual void logout(const Identity& /*identity*/) {}

    // How many card readers the store sees with no card in them.
    virtual std::size_t readers_without_card() { return 0; }

    // Whether the token of the identity's key is in its reader now. Asking
    // also lets the platform take up a card that was put back since it last
    // looked (fresh sessions and handles for it).
    virtual TokenPresence token_presence(const Identity& /*identity*/) {
        return TokenPresence::Present;
    }

    // Whether a failure says the token went away or failed as a device (the
    // card was pulled, its sessions ended with it), not that the call was
    // refused for what it asked.
    virtual bool token_went_away(Status /*status*/) { return false; }
    virtual bool token_went_away(const SignatureError& /*error*/) { return false; }
};

// The implementation for the platform this build is for.
std::unique_ptr<KeychainPlatform> make_default_keychain_platform();

}  // namespace tavrin::keychain
