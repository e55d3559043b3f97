#include "backend/pkcs11/pkcs11_backend.h"

#include <algorithm>
#include <array>

#include "backend/certificate_id.h"
#include "backend/pkcs11/attribute_read.h"
#include "backend/pkcs11/object_search.h"
#include "backend/pkcs11/public_key_algorithm.h"
#include "backend/pkcs11/token_objects.h"
#include "backend/pkcs11/token_signing.h"
#include "backend/x509/certificate_fields.h"
#include "backend/x509/issuer_chain.h"
#include "crypto/digest_info.h"
#include "crypto/signature_encoding.h"

namespace tavrin {

using pkcs11::Pkcs11Error;

namespace {

// The PIN as the module gets it; the buffer is wiped before it is returned.
using LoginSecret = BasicPin<std::pmr::polymorphic_allocator<char>>;

// Read with every object; RSA-4096 has a 512-byte modulus.
constexpr std::array<pkcs11::AttributeRequest, 3> kPublicKeyAttributes{
    pkcs11::AttributeRequest{CKA_KEY_TYPE, sizeof(CK_ULONG)},
    pkcs11::AttributeRequest{CKA_MODULUS, 512}, pkcs11::AttributeRequest{CKA_EC_PARAMS, 32}};

// The token's retry state after a refused PIN, from its flags.
BackendError refused_pin(const pkcs11::Session& session) {
    CK_TOKEN_INFO info{};
    if (session.functions().C_GetTokenInfo(session.slot(), &info) == CKR_OK) {
        // The attempt that used up the last try may still be answered as
        // incorrect; the lock then shows only in the flags.
        if ((info.flags & CKF_USER_PIN_LOCKED) != 0) return BackendError::pin_blocked();
        if ((info.flags & CKF_USER_PIN_FINAL_TRY) != 0) return BackendError::pin_incorrect(1);
    }
    return BackendError::pin_incorrect();
}

// Logs the session out when the batch that logged it in is done.
class LogoutAtExit {
  public:
    LogoutAtExit(const pkcs11::Session& session, bool active)
        : session_(session), active_(active) {}
    LogoutAtExit(const LogoutAtExit&) = delete;
    LogoutAtExit& operator=(const LogoutAtExit&) = delete;
    ~LogoutAtExit() {
        if (active_) session_.functions().C_Logout(session_.handle());  // failure changes nothing
    }

  private:
    const pkcs11::Session& session_;
    bool active_;
};

}  // namespace

Pkcs11Backend::Pkcs11Backend(pkcs11::Session session, std::pmr::memory_resource* secret_memory)
    : cert_index_(std::make_unique<CertIndex>()),
      session_(std::move(session)),
      secret_memory_(secret_memory) {}

Result<CertificateList, BackendError> Pkcs11Backend::list_certificates(Purpose purpose) {
    // Held over every device call: a sign waits until the listing is done,
    // and the session never has a search of each going at once.
    std::lock_guard lock(cert_index_->mutex);
    // One search and one read per object give the certificates and, read
    // with them, every public key's type and parameters.
    auto objects =
        pkcs11::read_token_objects(session_, kPublicKeyAttributes, &cert_index_->objects);
    if (!objects) {
        const bool search = objects.error().step == pkcs11::ObjectReadError::Step::Search;
        return pkcs11::step_failure(search ? "find certificates" : "get_attributes cert",
                                    objects.error().error);
    }
    // Every certificate on the token is decoded: the ones not listed may
    // still be the issuers of the ones that are.
    std::vector<KnownCertificate> known;
    std::vector<Bytes> ids;
    // The first public key of each id (by its bytes as a string: GCC 12 warns
    // falsely about byte-vector keys at -O3).
    std::map<std::string, const pkcs11::Attributes*> public_keys;
    for (pkcs11::TokenObject& object : objects.value()) {
        if (object.object_class == CKO_PUBLIC_KEY) {
            public_keys.emplace(std::string(object.id.begin(), object.id.end()),
                                &object.attributes);
            continue;
        }
        if (object.object_class != CKO_CERTIFICATE) continue;
        const auto value = object.attributes.find(CKA_VALUE);
        if (value == object.attributes.end()) continue;
        auto parsed = ParsedCertificate::parse(value->second);
        if (!parsed) {
            return BackendError::internal("parse certificate: " + parsed.error().display());
        }
        ids.push_back(std::move(object.id));
        known.push_back({std::move(value->second), std::move(parsed).value()});
    }

    // The token's label, asked once per session: the backend's session lives
    // on one token, and asking costs a module a look at the token (SoftHSM2
    // reads its token file, a card's module may ask the card).
    std::optional<std::string>& label = cert_index_->label;
    CertificateList listed;
    for (std::size_t i = 0; i < known.size(); ++i) {
        const KnownCertificate& certificate = known[i];
        auto purposes = certificate.parsed.purposes();
        if (!purposes) {
            return BackendError::internal("parse certificate: " + purposes.error().display());
        }
        if (!satisfies(purpose, purposes.value())) continue;
        auto not_after = certificate.parsed.not_after();
        if (!not_after) {
            return BackendError::internal("parse certificate validity: " +
                                          not_after.error().display());
        }
        const auto key = public_keys.find(std::string(ids[i].begin(), ids[i].end()));
        if (key == public_keys.end()) return BackendError::unknown_certificate_id();
        auto algorithm = pkcs11::public_key_algorithm(*key->second);
        if (!algorithm) return algorithm.error();
        if (!label) label = pkcs11::token_label(session_);

        CertificateInfo info;
        info.cert_id = certificate_id(certificate.der);
        info.der = certificate.der;
        info.chain = issuer_chain(certificate, known);
        info.key_algorithm = algorithm.value();
        info.purposes = std::move(purposes).value();
        if (!label->empty()) info.token_label = *label;
        info.backend = Backend::Pkcs11;
        info.not_after = std::move(not_after).value();
        info.qualified = certificate.parsed.qualified();
        cert_index_->ids.insert_or_assign(info.cert_id, ids[i]);
        listed.push_back(std::move(info));
    }
    if (listed.empty()) return BackendError::no_matching_certificates();
    return listed;
}

Result<bool, BackendError> Pkcs11Backend::login(const Pin& pin) {
    // The module gets its own copy, wiped when this function returns. It has
    // room for at least one byte: a null PIN pointer would ask the module for
    // its protected authentication path instead of an empty PIN.
    auto secret = LoginSecret::with_capacity(std::max<std::size_t>(pin.size(), 1),
                                             std::pmr::polymorphic_allocator<char>(secret_memory_));
    for (const char c : pin.view())
        secret.push_back(c);
    // The standard's PIN pointer is not const; modules only read it.
    auto* bytes = reinterpret_cast<CK_UTF8CHAR*>(const_cast<char*>(secret.data()));
    const CK_RV rv =
        session_.functions().C_Login(session_.handle(), CKU_USER, bytes, secret.size());
    switch (rv) {
        case CKR_OK:
            return true;
        case CKR_USER_ALREADY_LOGGED_IN:
            return false;
        case CKR_PIN_INCORRECT:
        case CKR_PIN_LEN_RANGE:
            return refused_pin(session_);
        case CKR_PIN_LOCKED:
            return BackendError::pin_blocked();
        default:
            return pkcs11::step_failure("login failed", Pkcs11Error{"Login", rv});
    }
}

Result<SignatureList, BackendError> Pkcs11Backend::sign(std::string_view cert_id, HashAlg hash_alg,
                                                        Scheme scheme,
                                                        const std::vector<Bytes>& hashes,
                                                        const Pin& pin) {
    Bytes id;
    {
        std::lock_guard lock(cert_index_->mutex);
        const auto entry = cert_index_->ids.find(cert_id);
        if (entry == cert_index_->ids.end()) return BackendError::unknown_certificate_id();
        id = entry->second;
    }
    for (const auto& hash : hashes) {
        if (hash.size() != digest_length(hash_alg)) {
            return BackendError::internal(hash_length_mismatch(hash.size(), hash_alg));
        }
    }

    auto logged_in = login(pin);
    if (!logged_in) return logged_in.error();
    // A session that was logged in before is left as it was.
    const LogoutAtExit logout(session_, logged_in.value());

    auto keys = pkcs11::find_by_class_and_id(session_, CKO_PRIVATE_KEY, id);
    if (!keys) return pkcs11::step_failure("find private key", keys.error());
    if (keys.value().empty()) return BackendError::unknown_certificate_id();
    const CK_OBJECT_HANDLE key = keys.value().front();
    if (hashes.empty()) return SignatureList{};

    SignatureList signatures;
    signatures.reserve(hashes.size());
    switch (scheme) {
        case Scheme::RsaPkcs1:
            for (const auto& hash : hashes) {
                auto made =
                    pkcs11::sign_once(session_, CKM_RSA_PKCS, key, digest_info(hash_alg, hash));
                if (!made) {
                    return pkcs11::step_failure("C_Sign (RSA PKCS#1)", made.error());
                }
                signatures.push_back(std::move(made).value());
            }
            return signatures;
        case Scheme::RsaPss:
            return BackendError::mechanism_unsupported("rsa-pss (phase 2)");
        case Scheme::Ecdsa:
            for (const auto& hash : hashes) {
                auto made = pkcs11::sign_once(session_, CKM_ECDSA, key, hash);
                if (!made) return pkcs11::step_failure("C_Sign (ECDSA)", made.error());
                auto der = p1363_to_der(made.value());
                if (!der) return BackendError::internal("P1363->DER: " + der.error().display());
                signatures.push_back(std::move(der).value());
            }
            return signatures;
    }
    return BackendError::internal("unknown signature scheme");
}

}  // namespace tavrin
