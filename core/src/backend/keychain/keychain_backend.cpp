#include "backend/keychain/keychain_backend.h"

#include <algorithm>

#include "backend/certificate_id.h"
#include "backend/x509/certificate_fields.h"

namespace tavrin {

using keychain::SignatureAlgorithm;

namespace {

constexpr const char* kRsaPss = "rsa-pss (phase 2)";
// The caller withdrew the request while the login ran (the page went away,
// or the user cancelled the reader's notice).
constexpr const char* kStoppedAfterLogin =
    "the signature was cancelled while the card reader waited";

std::optional<SignatureAlgorithm> algorithm_for(Scheme scheme, HashAlg hash_alg) {
    const bool sha256 = hash_alg == HashAlg::Sha256;
    switch (scheme) {
        case Scheme::RsaPkcs1:
            return sha256 ? SignatureAlgorithm::RsaPkcs1v15DigestSha256
                          : SignatureAlgorithm::RsaPkcs1v15DigestSha512;
        case Scheme::Ecdsa:
            return sha256 ? SignatureAlgorithm::EcdsaDigestX962Sha256
                          : SignatureAlgorithm::EcdsaDigestX962Sha512;
        case Scheme::RsaPss:
            return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace

KeychainBackend::KeychainBackend(
    std::unique_ptr<keychain::KeychainPlatform> platform,
    std::optional<std::vector<std::shared_ptr<keychain::Keychain>>> keychains)
    : platform_(std::move(platform)),
      keychains_(std::move(keychains)),
      cert_index_(std::make_unique<CertIndex>()) {}

KeychainBackend::~KeychainBackend() {
    // Release the identities while the platform that made them still exists.
    cert_index_.reset();
}

std::string KeychainBackend::status_text(keychain::Status status) {
    if (auto message = platform_->error_message(status)) return *message;
    return "error code " + std::to_string(status);
}

Result<CertificateList, BackendError> KeychainBackend::list_certificates(Purpose purpose) {
    // The search runs without the index lock: it may take the platform a while.
    const keychain::SearchResult found =
        platform_->copy_matching_identities(keychains_ ? &*keychains_ : nullptr);
    if (found.status != keychain::kStatusSuccess && found.status != keychain::kStatusItemNotFound) {
        return BackendError::internal("identity search: " + status_text(found.status));
    }

    CertificateList listed;
    std::lock_guard lock(cert_index_->mutex);
    for (const auto& item : found.items) {
        auto identity = std::dynamic_pointer_cast<keychain::Identity>(item);
        if (!identity) continue;

        const auto certificate = platform_->copy_certificate(*identity);
        if (certificate.status != keychain::kStatusSuccess || !certificate.ref) {
            return BackendError::internal(
                std::string(platform_->step_names(*identity).copy_certificate) + ": " +
                status_text(certificate.status));
        }
        Bytes der = platform_->certificate_data(*certificate.ref);

        auto parsed = ParsedCertificate::parse(der);
        if (!parsed)
            return BackendError::internal("parse certificate: " + parsed.error().display());
        auto purposes = parsed.value().purposes();
        if (!purposes) {
            return BackendError::internal("parse certificate: " + purposes.error().display());
        }
        if (!satisfies(purpose, purposes.value())) continue;

        auto not_after = parsed.value().not_after();
        if (!not_after) {
            return BackendError::internal("parse certificate validity: " +
                                          not_after.error().display());
        }

        std::optional<std::uint32_t> key_bits;
        if (const auto size = platform_->public_key_size_bits(*certificate.ref)) {
            key_bits = static_cast<std::uint32_t>(static_cast<std::uint64_t>(*size));
        }
        auto key_algorithm = parsed.value().key_algorithm(key_bits);
        if (!key_algorithm) {
            return BackendError::mechanism_unsupported(key_algorithm.error().display());
        }

        CertificateInfo info;
        info.cert_id = certificate_id(der);
        info.chain = platform_->issuer_chain(*certificate.ref);
        info.der = std::move(der);
        info.key_algorithm = key_algorithm.value();
        info.purposes = std::move(purposes).value();
        info.token_label = platform_->token_label(*certificate.ref);
        info.backend = Backend::Keychain;
        info.not_after = std::move(not_after).value();
        info.qualified = parsed.value().qualified();
        cert_index_->identities.insert_or_assign(info.cert_id, identity);
        listed.push_back(std::move(info));
    }
    if (listed.empty()) return BackendError::no_matching_certificates();
    return listed;
}

std::shared_ptr<keychain::Identity> KeychainBackend::listed_identity(std::string_view cert_id) {
    std::lock_guard lock(cert_index_->mutex);
    const auto entry = cert_index_->identities.find(cert_id);
    return entry == cert_index_->identities.end() ? nullptr : entry->second;
}

Result<KeyApproval, BackendError> KeychainBackend::key_approval(std::string_view cert_id) {
    const auto identity = listed_identity(cert_id);
    if (!identity) return BackendError::unknown_certificate_id();
    switch (platform_->token_presence(*identity)) {
        case keychain::TokenPresence::Present:
            break;
        case keychain::TokenPresence::CardAbsent:
            return KeyApproval::InsertCard;
        case keychain::TokenPresence::ReaderGone:
            return BackendError::no_reader();
    }
    if (auto refusal = platform_->key_refusal(*identity))
        return BackendError::mechanism_unsupported(std::move(*refusal));
    switch (platform_->login_need(*identity)) {
        case keychain::LoginNeed::None:
            return KeyApproval::None;
        case keychain::LoginNeed::Pin:
            return KeyApproval::TypedPin;
        case keychain::LoginNeed::ProtectedPath:
            return KeyApproval::PinPad;
    }
    return KeyApproval::None;
}

BackendError KeychainBackend::step_failure(const keychain::Identity& identity, std::string text,
                                           bool went_away) {
    // A card pulled in the middle shows in many ways (a closed session, a
    // key not found): where the token stands now tells them apart.
    switch (platform_->token_presence(identity)) {
        case keychain::TokenPresence::ReaderGone:
            return BackendError::no_reader(std::move(text));
        case keychain::TokenPresence::CardAbsent:
            return BackendError::no_token(std::move(text));
        case keychain::TokenPresence::Present:
            break;
    }
    if (went_away) return BackendError::no_token(std::move(text));
    return BackendError::internal(std::move(text));
}

Result<SignatureList, BackendError> KeychainBackend::sign(
    std::string_view cert_id, HashAlg hash_alg, Scheme scheme, const std::vector<Bytes>& hashes,
    const Pin& pin, const std::function<bool()>& login_returned) {
    const auto identity = listed_identity(cert_id);
    if (!identity) return BackendError::unknown_certificate_id();
    // Never a login, and so never a PIN try, on a card that is not there
    // (it may have gone while the PIN prompt was open).
    switch (platform_->token_presence(*identity)) {
        case keychain::TokenPresence::Present:
            break;
        case keychain::TokenPresence::CardAbsent:
            return BackendError::no_token(
                "the card is not in its reader; no PIN was tried and nothing was signed");
        case keychain::TokenPresence::ReaderGone:
            return BackendError::no_reader(
                "the card reader is gone; no PIN was tried and nothing was signed");
    }

    for (const auto& hash : hashes) {
        if (hash.size() != digest_length(hash_alg)) {
            return BackendError::internal(hash_length_mismatch(hash.size(), hash_alg));
        }
    }

    const keychain::LoginNeed need = platform_->login_need(*identity);
    if (need == keychain::LoginNeed::None) {
        if (!login_returned()) return BackendError::user_cancelled(kStoppedAfterLogin);
        return sign_with(*identity, hash_alg, scheme, hashes);
    }
    // A PIN try is worth spending only on a signature the token can make.
    if (!algorithm_for(scheme, hash_alg)) return BackendError::mechanism_unsupported(kRsaPss);
    if (auto refusal = platform_->key_refusal(*identity))
        return BackendError::mechanism_unsupported(std::move(*refusal));
    const bool keypad = need == keychain::LoginNeed::ProtectedPath;
    // An empty PIN is refused here, so that it never costs the card a try.
    if (!keypad && pin.empty()) return BackendError::pin_incorrect();
    const keychain::LoginOutcome login = platform_->login(*identity, keypad ? nullptr : &pin);
    const bool go_on = login_returned();
    switch (login.kind) {
        case keychain::LoginOutcome::Kind::LoggedIn:
            break;
        case keychain::LoginOutcome::Kind::PinIncorrect:
            return BackendError::pin_incorrect(login.retries_left);
        case keychain::LoginOutcome::Kind::PinLocked:
            return BackendError::pin_blocked();
        case keychain::LoginOutcome::Kind::Cancelled:
            return BackendError::user_cancelled(
                "the PIN entry on the card reader was cancelled or timed out");
        case keychain::LoginOutcome::Kind::Failed:
            return step_failure(*identity,
                                std::string(platform_->step_names(*identity).login) + ": " +
                                    status_text(login.status),
                                platform_->token_went_away(login.status));
    }
    if (!go_on) {
        platform_->logout(*identity);
        return BackendError::user_cancelled(kStoppedAfterLogin);
    }
    auto signatures = sign_with(*identity, hash_alg, scheme, hashes);
    // Every request is approved by its own PIN: the token does not stay open.
    platform_->logout(*identity);
    return signatures;
}

Result<SignatureList, BackendError> KeychainBackend::sign_with(const keychain::Identity& identity,
                                                               HashAlg hash_alg, Scheme scheme,
                                                               const std::vector<Bytes>& hashes) {
    const keychain::StepNames steps = platform_->step_names(identity);
    const auto key = platform_->copy_private_key(identity);
    if (key.status != keychain::kStatusSuccess || !key.ref) {
        return step_failure(identity,
                            std::string(steps.copy_private_key) + ": " + status_text(key.status),
                            platform_->token_went_away(key.status));
    }

    const auto algorithm = algorithm_for(scheme, hash_alg);
    if (!algorithm) return BackendError::mechanism_unsupported(kRsaPss);

    SignatureList signatures;
    signatures.reserve(hashes.size());
    for (const auto& hash : hashes) {
        auto made = platform_->create_signature(*key.ref, *algorithm, hash);
        if (made.unsupported) return BackendError::mechanism_unsupported(*made.unsupported);
        if (!made.signature) {
            const std::string cause = made.error ? platform_->error_description(*made.error)
                                                 : std::string("no signature returned");
            return step_failure(identity, std::string(steps.create_signature) + ": " + cause,
                                made.error && platform_->token_went_away(*made.error));
        }
        signatures.push_back(std::move(*made.signature));
    }
    return signatures;
}

}  // namespace tavrin
