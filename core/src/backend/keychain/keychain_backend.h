#pragma once
// The token backend over the platform's identity store: lists the identities
// (certificate plus private key) the user's stores offer and signs digests
// with their keys. It asks the user nothing itself. A key on a token that
// wants a login (a smart card seen through the store) is signed with after
// one login with the PIN the dispatcher obtained; any other unlocking is the
// platform's business.

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "backend/keychain/keychain_platform.h"
#include "backend/token_backend.h"

namespace tavrin {

class KeychainBackend {
  public:
    static constexpr bool requires_pin = false;

    // Searches `keychains` when given, the user's default stores otherwise.
    explicit KeychainBackend(
        std::unique_ptr<keychain::KeychainPlatform> platform,
        std::optional<std::vector<std::shared_ptr<keychain::Keychain>>> keychains = std::nullopt);

    KeychainBackend(KeychainBackend&&) noexcept = default;
    KeychainBackend& operator=(KeychainBackend&&) noexcept = default;
    ~KeychainBackend();

    Result<CertificateList, BackendError> list_certificates(Purpose purpose);

    // What signing with the listed certificate `cert_id` needs of the user:
    // a PIN (its key lies on a token that wants a login), an entry on the
    // reader's keypad, or nothing; InsertCard while the card that holds the
    // key is out of its reader (asking again takes up a card put back), and
    // NoReader when the reader itself is gone.
    Result<KeyApproval, BackendError> key_approval(std::string_view cert_id);

    // `pin` is used only for a key that needs a login: one attempt, then the
    // whole batch, then a logout. An empty PIN is never tried on the token;
    // a key approved on the reader's keypad logs in without one.
    // `login_returned` is called once the login (if any) has returned, before
    // the first signature; when it answers false nothing is signed (the token
    // is logged out, the result is UserCancelled). A card that is out, or
    // that goes away during the request, answers NoToken (NoReader for a
    // reader that went away) with the step and the cause.
    Result<SignatureList, BackendError> sign(std::string_view cert_id, HashAlg hash_alg,
                                             Scheme scheme, const std::vector<Bytes>& hashes,
                                             const Pin& pin,
                                             const std::function<bool()>& login_returned);
    Result<SignatureList, BackendError> sign(std::string_view cert_id, HashAlg hash_alg,
                                             Scheme scheme, const std::vector<Bytes>& hashes,
                                             const Pin& pin) {
        return sign(cert_id, hash_alg, scheme, hashes, pin, [] { return true; });
    }

    // How many card readers the store sees with no card in them.
    std::size_t readers_without_card() { return platform_->readers_without_card(); }

  private:
    struct CertIndex {
        std::mutex mutex;
        std::map<std::string, std::shared_ptr<keychain::Identity>, std::less<>> identities;
    };

    std::string status_text(keychain::Status status);
    // A failed step on `identity`'s key as the error the page can act on.
    BackendError step_failure(const keychain::Identity& identity, std::string text, bool went_away);
    std::shared_ptr<keychain::Identity> listed_identity(std::string_view cert_id);
    Result<SignatureList, BackendError> sign_with(const keychain::Identity& identity,
                                                  HashAlg hash_alg, Scheme scheme,
                                                  const std::vector<Bytes>& hashes);

    // Declared first so that it outlives every reference it handed out.
    std::unique_ptr<keychain::KeychainPlatform> platform_;
    std::optional<std::vector<std::shared_ptr<keychain::Keychain>>> keychains_;
    // Certificate id to the identity listed under it.
    std::unique_ptr<CertIndex> cert_index_;
};

}  // namespace tavrin
