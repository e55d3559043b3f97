#include "backend/keychain/tokens/token_keychain_platform.h"

#include <algorithm>
#include <array>
#include <map>
#include <optional>
#include <set>

#include "backend/pkcs11/attribute_read.h"
#include "backend/pkcs11/object_search.h"
#include "backend/pkcs11/pkcs11_error.h"
#include "backend/pkcs11/pkcs11_session.h"
#include "backend/pkcs11/token_objects.h"
#include "backend/pkcs11/token_signing.h"
#include "backend/x509/certificate_der.h"
#include "backend/x509/issuer_chain.h"
#include "crypto/digest_info.h"
#include "crypto/signature_encoding.h"

namespace tavrin::keychain {

// One slot of one module, with the session its token is used in.
struct TokenSlot {
    std::shared_ptr<const pkcs11::Module> module;
    CK_SLOT_ID id = 0;
    bool trust_only = false;
    std::string label;
    // The token's flags when its session was opened: whether it needs a
    // login and takes the PIN on the reader's keypad do not change while it
    // stays in. (The PIN's retry state is asked afresh.)
    CK_FLAGS flags = 0;
    std::optional<pkcs11::Session> session;  // none while its card is out
    pkcs11::ObjectMemory objects;            // what the session's listings learnt
    // Whether a private key wants the PIN for every signature, by handle,
    // as the session first read it (an attribute a key keeps for life).
    std::map<CK_OBJECT_HANDLE, bool> every_time;
    // The token's certificates as the last listing read them, decoded on
    // the first chain built from them.
    std::vector<Bytes> certificates;
    std::optional<std::vector<KnownCertificate>> decoded;

    const CK_FUNCTION_LIST& functions() const { return module->functions(); }
};

namespace {

// No key for the certificate on its token (a status of this layer's own).
constexpr Status kStatusNoKey = kStatusItemNotFound;

constexpr const char* kKeypadEveryTime =
    "a key that wants the PIN for every signature cannot be used with a card reader's keypad";

class TokenIdentity final : public Identity {
  public:
    TokenIdentity(std::shared_ptr<TokenSlot> on, Bytes certificate, Bytes key_id)
        : slot(std::move(on)), der(std::move(certificate)), id(std::move(key_id)) {}
    const std::shared_ptr<TokenSlot> slot;
    const Bytes der;
    const Bytes id;  // CKA_ID shared by the certificate and its key
};

class TokenCertificate final : public Certificate {
  public:
    TokenCertificate(std::shared_ptr<TokenSlot> on, Bytes certificate)
        : slot(std::move(on)), der(std::move(certificate)) {}
    const std::shared_ptr<TokenSlot> slot;
    const Bytes der;
};

class TokenKey final : public PrivateKey {
  public:
    TokenKey(std::shared_ptr<TokenSlot> on, CK_OBJECT_HANDLE key, bool every_time)
        : slot(std::move(on)), handle(key), always_authenticate(every_time) {}
    const std::shared_ptr<TokenSlot> slot;
    const CK_OBJECT_HANDLE handle;
    const bool always_authenticate;
};

class TokenError final : public SignatureError {
  public:
    explicit TokenError(pkcs11::Pkcs11Error failed) : error(failed) {}
    const pkcs11::Pkcs11Error error;
};

Status status_of(CK_RV rv) {
    return static_cast<Status>(rv);
}

const TokenIdentity& token_identity(const Identity& identity) {
    return static_cast<const TokenIdentity&>(identity);
}

// The token's flags, or nothing when it does not answer.
std::optional<CK_FLAGS> token_flags(const TokenSlot& slot) {
    CK_TOKEN_INFO info{};
    if (slot.functions().C_GetTokenInfo(slot.id, &info) != CKR_OK) return std::nullopt;
    return info.flags;
}

// Whether the session still works: a card pulled ends its sessions.
bool session_alive(const TokenSlot& slot) {
    if (!slot.session) return false;
    CK_SESSION_INFO info{};
    return slot.functions().C_GetSessionInfo(slot.session->handle(), &info) == CKR_OK;
}

bool open_session(TokenSlot& slot) {
    slot.session.reset();
    slot.objects = {};
    slot.every_time.clear();
    auto opened = pkcs11::Session::open(slot.module, slot.id);
    if (!opened) return false;
    slot.session = std::move(opened).value();
    // A token keeps its label and kind while it stays in: read once per
    // session.
    CK_TOKEN_INFO info{};
    if (slot.functions().C_GetTokenInfo(slot.id, &info) == CKR_OK) {
        std::string label(reinterpret_cast<const char*>(info.label), sizeof info.label);
        label.erase(label.find_last_not_of(' ') + 1);
        slot.label = std::move(label);
        slot.flags = info.flags;
    }
    return true;
}

// Whether the certificate is on the token in the slot now: after a card was
// put back, the card may be another one.
bool holds_certificate(const TokenSlot& slot, const Bytes& der) {
    CK_OBJECT_CLASS certificate_class = CKO_CERTIFICATE;
    CK_ATTRIBUTE match[] = {{CKA_CLASS, &certificate_class, sizeof certificate_class},
                            {CKA_VALUE, const_cast<std::uint8_t*>(der.data()), der.size()}};
    auto found = pkcs11::find_objects(*slot.session, match);
    return found && !found.value().empty();
}

// The certificate's issuers among the certificates of the trust modules'
// tokens whose subject is `issuer_name`.
std::vector<Bytes> trusted_certificates_named(const std::vector<std::shared_ptr<TokenSlot>>& slots,
                                              const Bytes& issuer_name) {
    std::vector<Bytes> found;
    if (issuer_name.empty()) return found;
    CK_OBJECT_CLASS certificate_class = CKO_CERTIFICATE;
    CK_ATTRIBUTE match[] = {
        {CKA_CLASS, &certificate_class, sizeof certificate_class},
        {CKA_SUBJECT, const_cast<std::uint8_t*>(issuer_name.data()), issuer_name.size()}};
    constexpr std::array<pkcs11::AttributeRequest, 1> kValue{
        pkcs11::AttributeRequest{CKA_VALUE, 4096}};
    for (const auto& slot : slots) {
        if (!slot->trust_only || !slot->session) continue;
        auto handles = pkcs11::find_objects(*slot->session, match);
        if (!handles) continue;
        for (const CK_OBJECT_HANDLE handle : handles.value()) {
            auto value = pkcs11::read_attributes_at_once(*slot->session, handle, kValue);
            if (!value) continue;
            if (auto entry = value.value().find(CKA_VALUE); entry != value.value().end())
                found.push_back(std::move(entry->second));
        }
    }
    return found;
}

void add_decoded(std::vector<KnownCertificate>& pool, Bytes der) {
    if (std::any_of(pool.begin(), pool.end(), [&](const auto& known) { return known.der == der; }))
        return;
    auto parsed = ParsedCertificate::parse(der);
    if (parsed) pool.push_back({std::move(der), std::move(parsed).value()});
}

}  // namespace

TokenKeychainPlatform::TokenKeychainPlatform(TokenModuleSources sources)
    : sources_(std::move(sources)) {}

TokenKeychainPlatform::~TokenKeychainPlatform() {
    // Sessions close before their modules are finalised.
    slots_.clear();
    modules_.clear();
}

void TokenKeychainPlatform::load_modules() {
    if (loaded_) return;
    loaded_ = true;
    modules_ = load_token_modules(sources_);
}

std::shared_ptr<TokenSlot> TokenKeychainPlatform::slot_for(const TokenModule& module,
                                                           unsigned long slot_id) {
    for (const auto& slot : slots_) {
        if (slot->module == module.module && slot->id == slot_id) return slot;
    }
    auto slot = std::make_shared<TokenSlot>();
    slot->module = module.module;
    slot->id = slot_id;
    slot->trust_only = module.trust_only;
    slots_.push_back(slot);
    return slot;
}

SearchResult TokenKeychainPlatform::copy_matching_identities(
    const std::vector<std::shared_ptr<Keychain>>* /*search_list*/) {
    load_modules();
    SearchResult result;
    // A token reached through two modules offers the same certificate twice:
    // the first module's is kept. (Bytes as strings in sets: GCC 12 warns
    // falsely about byte-vector keys at -O3.)
    std::set<std::string> seen;
    for (const TokenModule& module : modules_) {
        // Asking for the list's length first makes a card reader's module
        // look for its readers again: a reader plugged in since, a card
        // pulled, the card service gone or back after a restart.
        auto slot_ids = pkcs11::slot_list(*module.module, true);
        if (!slot_ids) continue;
        for (const CK_SLOT_ID slot_id : slot_ids.value()) {
            const auto slot = slot_for(module, slot_id);
            if (!session_alive(*slot) && !open_session(*slot)) continue;
            // A trust module lends issuers to chains; it holds no keys.
            if (slot->trust_only) continue;
            // One search and a read per object (see read_token_objects): the
            // certificates, and the keys whose CKA_ID makes a certificate an
            // identity (a public key is readable without a login on every
            // token; a private key only where it is not marked private).
            auto objects = pkcs11::read_token_objects(*slot->session, {}, &slot->objects);
            if (!objects) continue;
            slot->certificates.clear();
            slot->decoded.reset();
            std::set<std::string> key_ids;
            for (const auto& object : objects.value()) {
                if (object.object_class == CKO_PUBLIC_KEY || object.object_class == CKO_PRIVATE_KEY)
                    key_ids.emplace(object.id.begin(), object.id.end());
            }
            for (auto& object : objects.value()) {
                if (object.object_class != CKO_CERTIFICATE) continue;
                const auto value = object.attributes.find(CKA_VALUE);
                if (value == object.attributes.end()) continue;
                slot->certificates.push_back(value->second);
                if (!key_ids.contains(std::string(object.id.begin(), object.id.end()))) continue;
                if (!seen.emplace(value->second.begin(), value->second.end()).second) continue;
                result.items.push_back(std::make_shared<TokenIdentity>(
                    slot, std::move(value->second), std::move(object.id)));
            }
        }
    }
    if (result.items.empty()) result.status = kStatusItemNotFound;
    return result;
}

Copied<Certificate> TokenKeychainPlatform::copy_certificate(const Identity& identity) {
    const auto& token = token_identity(identity);
    return {kStatusSuccess, std::make_shared<TokenCertificate>(token.slot, token.der)};
}

Bytes TokenKeychainPlatform::certificate_data(const Certificate& certificate) {
    return static_cast<const TokenCertificate&>(certificate).der;
}

std::optional<std::int64_t> TokenKeychainPlatform::public_key_size_bits(
    const Certificate& certificate) {
    // Only an RSA key's size decides anything; a curve names itself.
    const auto bits = rsa_modulus_bits(static_cast<const TokenCertificate&>(certificate).der);
    if (!bits) return std::nullopt;
    return static_cast<std::int64_t>(*bits);
}

Copied<PrivateKey> TokenKeychainPlatform::copy_private_key(const Identity& identity) {
    const auto& token = token_identity(identity);
    const auto& slot = token.slot;
    if (!slot->session) return {status_of(CKR_SESSION_HANDLE_INVALID), nullptr};
    auto keys = pkcs11::find_by_class_and_id(*slot->session, CKO_PRIVATE_KEY, token.id);
    if (!keys) return {status_of(keys.error().rv), nullptr};
    if (keys.value().empty()) return {kStatusNoKey, nullptr};
    const CK_OBJECT_HANDLE key = keys.value().front();
    const auto known = slot->every_time.find(key);
    bool every_time = known != slot->every_time.end() && known->second;
    if (known == slot->every_time.end()) {
        constexpr std::array<pkcs11::AttributeRequest, 1> kEveryTime{
            pkcs11::AttributeRequest{CKA_ALWAYS_AUTHENTICATE, sizeof(CK_BBOOL)}};
        if (auto flags = pkcs11::read_attributes_at_once(*slot->session, key, kEveryTime)) {
            const auto value = flags.value().find(CKA_ALWAYS_AUTHENTICATE);
            every_time =
                value != flags.value().end() && !value->second.empty() && value->second[0] != 0;
            slot->every_time.emplace(key, every_time);
        }
    }
    return {kStatusSuccess, std::make_shared<TokenKey>(slot, key, every_time)};
}

SignatureResult TokenKeychainPlatform::create_signature(const PrivateKey& key,
                                                        SignatureAlgorithm algorithm,
                                                        std::span<const std::uint8_t> digest) {
    const auto& token_key = static_cast<const TokenKey&>(key);
    const TokenSlot& slot = *token_key.slot;
    if (!slot.session) {
        return {std::nullopt,
                std::make_shared<TokenError>(pkcs11::Pkcs11Error{"SignInit", CKR_SESSION_CLOSED}),
                std::nullopt};
    }
    // The key wants the PIN again for this signature: the one typed for the
    // request, handed over in a context-specific login. After a keypad login
    // there is none to hand over.
    std::function<CK_RV()> context_login;
    if (token_key.always_authenticate) {
        if (session_pin_ == nullptr) return {std::nullopt, nullptr, kKeypadEveryTime};
        const Pin* pin = session_pin_;
        const CK_SESSION_HANDLE session = slot.session->handle();
        const CK_FUNCTION_LIST* functions = &slot.functions();
        context_login = [pin, session, functions] {
            // The standard's PIN pointer is not const; modules only read it.
            auto* bytes = reinterpret_cast<CK_UTF8CHAR*>(const_cast<char*>(pin->data()));
            return functions->C_Login(session, CKU_CONTEXT_SPECIFIC, bytes, pin->size());
        };
    }
    const bool rsa = algorithm == SignatureAlgorithm::RsaPkcs1v15DigestSha256 ||
                     algorithm == SignatureAlgorithm::RsaPkcs1v15DigestSha512;
    Result<Bytes, pkcs11::Pkcs11Error> made = pkcs11::Pkcs11Error{"Sign", CKR_GENERAL_ERROR};
    if (rsa) {
        const HashAlg alg = algorithm == SignatureAlgorithm::RsaPkcs1v15DigestSha256
                                ? HashAlg::Sha256
                                : HashAlg::Sha512;
        made = pkcs11::sign_once(*slot.session, CKM_RSA_PKCS, token_key.handle,
                                 digest_info(alg, digest), context_login, pkcs11::kSignatureRoom);
    } else {
        made = pkcs11::sign_once(*slot.session, CKM_ECDSA, token_key.handle, digest, context_login,
                                 pkcs11::kSignatureRoom);
    }
    if (!made) return {std::nullopt, std::make_shared<TokenError>(made.error()), std::nullopt};
    if (rsa) return {std::move(made).value(), nullptr, std::nullopt};
    // The token gives r||s; the X9.62 form is the DER SEQUENCE of both.
    auto der = p1363_to_der(made.value());
    if (!der)
        return {std::nullopt, nullptr, "ECDSA signature of the token: " + der.error().display()};
    return {std::move(der).value(), nullptr, std::nullopt};
}

std::optional<std::string> TokenKeychainPlatform::error_message(Status status) {
    if (status == kStatusNoKey) return "the token holds no private key for this certificate";
    if (status < 0) return std::nullopt;
    return pkcs11::return_value_text(static_cast<CK_RV>(status));
}

std::string TokenKeychainPlatform::error_description(const SignatureError& error) {
    return static_cast<const TokenError&>(error).error.text();
}

StepNames TokenKeychainPlatform::step_names(const Identity& /*identity*/) const {
    StepNames names;
    names.copy_certificate = "read certificate";
    names.copy_private_key = "find private key";
    names.create_signature = "C_Sign";
    names.login = "C_Login";
    return names;
}

std::optional<std::string> TokenKeychainPlatform::token_label(const Certificate& certificate) {
    const auto& label = static_cast<const TokenCertificate&>(certificate).slot->label;
    if (label.empty()) return std::nullopt;
    return label;
}

std::vector<Bytes> TokenKeychainPlatform::issuer_chain(const Certificate& certificate) {
    const auto& token_certificate = static_cast<const TokenCertificate&>(certificate);
    // Most certificates on a card are issued by an authority elsewhere, but a
    // self-signed one needs no decoding at all to say its chain is empty.
    if (names_identical(token_certificate.der)) return {};
    TokenSlot& slot = *token_certificate.slot;
    if (!slot.decoded) {
        slot.decoded.emplace();
        for (const Bytes& der : slot.certificates)
            add_decoded(*slot.decoded, der);
    }
    auto leaf = ParsedCertificate::parse(token_certificate.der);
    if (!leaf) return {};
    const KnownCertificate known{token_certificate.der, std::move(leaf).value()};
    // Issuers found in the trust modules join the token's certificates until
    // the next listing.
    std::vector<KnownCertificate>& pool = *slot.decoded;
    std::vector<Bytes> chain = tavrin::issuer_chain(known, pool);
    // Where the token's own certificates end the chain short of a
    // self-issued one, the trust modules may hold the next issuer.
    for (std::size_t added = 0; added < 8; ++added) {
        const KnownCertificate* last = &known;
        if (!chain.empty()) {
            last = &*std::find_if(pool.begin(), pool.end(),
                                  [&](const auto& c) { return c.der == chain.back(); });
        }
        if (last->parsed.self_issued()) break;
        const Bytes issuer_name = last->parsed.issuer_name();
        const std::size_t before = pool.size();
        for (Bytes& der : trusted_certificates_named(slots_, issuer_name))
            add_decoded(pool, std::move(der));
        if (pool.size() == before) break;
        const std::size_t length = chain.size();
        chain = tavrin::issuer_chain(known, pool);
        if (chain.size() == length) break;
    }
    return chain;
}

LoginNeed TokenKeychainPlatform::login_need(const Identity& identity) {
    const TokenSlot& slot = *token_identity(identity).slot;
    if ((slot.flags & CKF_LOGIN_REQUIRED) == 0) return LoginNeed::None;
    CK_SESSION_INFO info{};
    if (slot.session &&
        slot.functions().C_GetSessionInfo(slot.session->handle(), &info) == CKR_OK &&
        (info.state == CKS_RO_USER_FUNCTIONS || info.state == CKS_RW_USER_FUNCTIONS)) {
        return LoginNeed::None;
    }
    return (slot.flags & CKF_PROTECTED_AUTHENTICATION_PATH) != 0 ? LoginNeed::ProtectedPath
                                                                 : LoginNeed::Pin;
}

std::optional<std::string> TokenKeychainPlatform::key_refusal(const Identity& identity) {
    // Only a key visible before the login tells this ahead; one that is not
    // is refused at its first signature, before anything is signed.
    const TokenSlot& slot = *token_identity(identity).slot;
    if ((slot.flags & CKF_PROTECTED_AUTHENTICATION_PATH) == 0) return std::nullopt;
    if (login_need(identity) != LoginNeed::ProtectedPath) return std::nullopt;
    const auto key = copy_private_key(identity);
    if (key.ref && static_cast<const TokenKey&>(*key.ref).always_authenticate)
        return std::string(kKeypadEveryTime);
    return std::nullopt;
}

LoginOutcome TokenKeychainPlatform::login(const Identity& identity, const Pin* pin) {
    using Kind = LoginOutcome::Kind;
    const TokenSlot& slot = *token_identity(identity).slot;
    if (!slot.session) return {Kind::Failed, std::nullopt, status_of(CKR_SESSION_HANDLE_INVALID)};
    // The PIN goes to the module from the buffer it was typed into; a null
    // PIN asks for the reader's keypad.
    CK_UTF8CHAR* bytes =
        pin != nullptr ? reinterpret_cast<CK_UTF8CHAR*>(const_cast<char*>(pin->data())) : nullptr;
    const CK_RV rv = slot.functions().C_Login(slot.session->handle(), CKU_USER, bytes,
                                              pin != nullptr ? pin->size() : 0);
    switch (rv) {
        case CKR_OK:
        case CKR_USER_ALREADY_LOGGED_IN:
            session_pin_ = pin;
            return {};
        case CKR_PIN_INCORRECT:
        case CKR_PIN_LEN_RANGE: {
            // The attempt that used up the last try may still be answered as
            // a wrong PIN; the lock then shows only in the flags.
            const auto flags = token_flags(slot);
            if (flags && (*flags & CKF_USER_PIN_LOCKED) != 0)
                return {Kind::PinLocked, std::nullopt, status_of(rv)};
            LoginOutcome outcome{Kind::PinIncorrect, std::nullopt, status_of(rv)};
            if (flags && (*flags & CKF_USER_PIN_FINAL_TRY) != 0) outcome.retries_left = 1;
            return outcome;
        }
        case CKR_PIN_LOCKED:
            return {Kind::PinLocked, std::nullopt, status_of(rv)};
        case CKR_FUNCTION_CANCELED:
            return {Kind::Cancelled, std::nullopt, status_of(rv)};
        default:
            return {Kind::Failed, std::nullopt, status_of(rv)};
    }
}

void TokenKeychainPlatform::logout(const Identity& identity) {
    session_pin_ = nullptr;
    const TokenSlot& slot = *token_identity(identity).slot;
    if (slot.session) slot.functions().C_Logout(slot.session->handle());  // nothing to undo
}

std::size_t TokenKeychainPlatform::readers_without_card() {
    load_modules();
    std::size_t empty = 0;
    for (const TokenModule& module : modules_) {
        if (module.trust_only) continue;
        auto slot_ids = pkcs11::slot_list(*module.module, false);
        if (!slot_ids) continue;
        for (const CK_SLOT_ID slot_id : slot_ids.value()) {
            CK_SLOT_INFO info{};
            if (module.module->functions().C_GetSlotInfo(slot_id, &info) != CKR_OK) continue;
            if ((info.flags & CKF_REMOVABLE_DEVICE) != 0 && (info.flags & CKF_TOKEN_PRESENT) == 0)
                ++empty;
        }
    }
    return empty;
}

TokenPresence TokenKeychainPlatform::token_presence(const Identity& identity) {
    const auto& token = token_identity(identity);
    TokenSlot& slot = *token.slot;
    // Asking for the slots again lets the module notice a reader that went
    // away (or the card service coming back).
    auto slot_ids = pkcs11::slot_list(*slot.module, false);
    if (!slot_ids || std::find(slot_ids.value().begin(), slot_ids.value().end(), slot.id) ==
                         slot_ids.value().end()) {
        return TokenPresence::ReaderGone;
    }
    CK_SLOT_INFO info{};
    if (slot.functions().C_GetSlotInfo(slot.id, &info) != CKR_OK) return TokenPresence::ReaderGone;
    if ((info.flags & CKF_TOKEN_PRESENT) == 0) {
        slot.session.reset();
        return TokenPresence::CardAbsent;
    }
    if (session_alive(slot)) return TokenPresence::Present;
    // The card was out and is back (or another one is in): a fresh session,
    // and the listed certificate must be on it.
    if (!open_session(slot)) return TokenPresence::CardAbsent;
    if (!holds_certificate(slot, token.der)) {
        slot.session.reset();
        return TokenPresence::CardAbsent;
    }
    return TokenPresence::Present;
}

bool TokenKeychainPlatform::token_went_away(Status status) {
    return status > 0 && pkcs11::token_went_away(static_cast<CK_RV>(status));
}

bool TokenKeychainPlatform::token_went_away(const SignatureError& error) {
    return pkcs11::token_went_away(static_cast<const TokenError&>(error).error.rv);
}

}  // namespace tavrin::keychain
