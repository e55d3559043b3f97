#include "backend/keychain/nss/nss_keychain_platform.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <set>
#include <string_view>
#include <thread>
#include <vector>

#include <cert.h>
#include <cryptohi.h>
#include <keyhi.h>
#include <nss.h>
#include <pk11pub.h>
#include <pkcs11.h>
#include <prerror.h>
#include <secerr.h>
#include <secmod.h>

#include "backend/keychain/nss/nss_database_location.h"
#include "backend/keychain/nss/nss_modules.h"
#include "backend/keychain/nss/nss_password.h"
#include "backend/x509/supported_keys.h"
#include "crypto/digest_info.h"

namespace tavrin::keychain {
namespace {

struct SlotFree {
    void operator()(PK11SlotInfo* slot) const { PK11_FreeSlot(slot); }
};
using SlotPtr = std::unique_ptr<PK11SlotInfo, SlotFree>;

// Every reference owns one NSS reference count of its object.
class NssIdentity final : public Identity {
  public:
    // The slot is the one the certificate was listed from: NSS forgets a
    // certificate's slot when its card is pulled, the reader stays.
    NssIdentity(CERTCertificate* owned, SlotPtr listed_from)
        : cert(owned), slot(std::move(listed_from)) {}
    ~NssIdentity() override { CERT_DestroyCertificate(cert); }
    CERTCertificate* const cert;
    const SlotPtr slot;  // null when NSS named none
};

class NssCertificate final : public Certificate {
  public:
    explicit NssCertificate(CERTCertificate* owned) : cert(owned) {}
    ~NssCertificate() override { CERT_DestroyCertificate(cert); }
    CERTCertificate* const cert;
};

class NssPrivateKey final : public PrivateKey {
  public:
    NssPrivateKey(SECKEYPrivateKey* owned, CERTCertificate* owned_cert)
        : key(owned), cert(owned_cert) {}
    ~NssPrivateKey() override {
        SECKEY_DestroyPrivateKey(key);
        CERT_DestroyCertificate(cert);
    }
    SECKEYPrivateKey* const key;
    CERTCertificate* const cert;  // whose key this is
};

// The slot whose token holds the certificate.
SlotPtr slot_of(CERTCertificate* cert) {
    if (cert->slot != nullptr) return SlotPtr(PK11_ReferenceSlot(cert->slot));
    PK11SlotInfo* slot = nullptr;
    if (PK11_FindObjectForCert(cert, nullptr, &slot) == CK_INVALID_HANDLE) {
        if (slot != nullptr) PK11_FreeSlot(slot);
        return nullptr;
    }
    return SlotPtr(slot);
}

// The slot of an identity's token: the one it was listed from.
SlotPtr slot_of(const Identity& identity) {
    const auto& nss = static_cast<const NssIdentity&>(identity);
    if (nss.slot) return SlotPtr(PK11_ReferenceSlot(nss.slot.get()));
    return slot_of(nss.cert);
}

// Asks every loaded token module for its slots again. NSS reads a module's
// slots when it loads it; asking again lets a module take up a reader
// plugged in later, or the card service coming back after a restart (OpenSC
// looks for readers again when asked for its slots). Cheap when nothing
// changed.
void refresh_module_slots() {
    std::vector<SECMODModule*> modules;
    SECMODListLock* lock = SECMOD_GetDefaultModuleListLock();
    SECMOD_GetReadLock(lock);
    for (SECMODModuleList* entry = SECMOD_GetDefaultModuleList(); entry != nullptr;
         entry = entry->next) {
        if (entry->module != nullptr && !entry->module->internal && entry->module->loaded)
            modules.push_back(SECMOD_ReferenceModule(entry->module));
    }
    // The update takes the list's write lock when a module gained slots.
    SECMOD_ReleaseReadLock(lock);
    for (SECMODModule* module : modules) {
        (void)SECMOD_UpdateSlotList(module);  // a module that fails keeps its slots
        SECMOD_DestroyModule(module);
    }
}

// NSS's error for a module's answer that says the card went away or broke.
PRErrorCode token_error_for(CK_RV rv) {
    switch (rv) {
        case CKR_DEVICE_REMOVED:
        case CKR_TOKEN_NOT_PRESENT:
        case CKR_SESSION_CLOSED:
        case CKR_SESSION_HANDLE_INVALID:
            return SEC_ERROR_NO_TOKEN;
        case CKR_DEVICE_ERROR:
            return SEC_ERROR_PKCS11_DEVICE_ERROR;
        default:
            return SEC_ERROR_LIBRARY_FAILURE;
    }
}

}  // namespace

// The session a keypad login was made in, closed with the logout.
struct KeypadSession {
    const CK_FUNCTION_LIST* functions = nullptr;
    CK_SESSION_HANDLE session = CK_INVALID_HANDLE;
};

namespace {

// Logs in through the reader's keypad. NSS would report a cancelled or
// timed-out entry as a general failure, so the login goes straight to the
// token's module, in a session of its own (the login holds for NSS's
// sessions too); it returns when the user is done at the reader.
LoginOutcome keypad_login(PK11SlotInfo* slot, KeypadSession& kept) {
    using Kind = LoginOutcome::Kind;
    const SECMODModule* module = PK11_GetModule(slot);
    const auto* functions =
        module != nullptr ? static_cast<const CK_FUNCTION_LIST*>(module->functionList) : nullptr;
    if (functions == nullptr) return {Kind::Failed, std::nullopt, SEC_ERROR_NO_MODULE};
    CK_SESSION_HANDLE session = CK_INVALID_HANDLE;
    if (const CK_RV opened = functions->C_OpenSession(PK11_GetSlotID(slot), CKF_SERIAL_SESSION,
                                                      nullptr, nullptr, &session);
        opened != CKR_OK) {
        const PRErrorCode error = token_error_for(opened);
        return {Kind::Failed, std::nullopt,
                error == SEC_ERROR_LIBRARY_FAILURE ? SEC_ERROR_NO_TOKEN : error};
    }
    const CK_RV rv = functions->C_Login(session, CKU_USER, nullptr, 0);
    CK_TOKEN_INFO info{};
    const bool have_flags = functions->C_GetTokenInfo(PK11_GetSlotID(slot), &info) == CKR_OK;
    if (rv == CKR_OK || rv == CKR_USER_ALREADY_LOGGED_IN) {
        // Some modules end the login with the session that made it: it stays
        // open until the logout.
        kept = {functions, session};
        // NSS remembers a token's login state for about a second; until it
        // asks the token again it would not look for the private key. Only
        // an entry at the keypad faster than that waits here.
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
        while (!PK11_IsLoggedIn(slot, nullptr) && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return {};
    }
    functions->C_CloseSession(session);
    switch (rv) {
        case CKR_PIN_INCORRECT:
        case CKR_PIN_LEN_RANGE:
            if (have_flags && (info.flags & CKF_USER_PIN_LOCKED) != 0)
                return {Kind::PinLocked, std::nullopt, kStatusSuccess};
            if (have_flags && (info.flags & CKF_USER_PIN_FINAL_TRY) != 0) {
                return {Kind::PinIncorrect, 1, kStatusSuccess};
            }
            return {Kind::PinIncorrect, std::nullopt, kStatusSuccess};
        case CKR_PIN_LOCKED:
            return {Kind::PinLocked, std::nullopt, kStatusSuccess};
        case CKR_FUNCTION_CANCELED:
            return {Kind::Cancelled, std::nullopt, kStatusSuccess};
        default:
            return {Kind::Failed, std::nullopt, token_error_for(rv)};
    }
}

// The length of an RSA signature: the modulus length, read from the
// certificate rather than asked of the token.
int rsa_signature_length(const NssPrivateKey& key) {
    SECKEYPublicKey* public_key = CERT_ExtractPublicKey(key.cert);
    const unsigned int bytes = public_key != nullptr ? SECKEY_PublicKeyStrength(public_key) : 0;
    if (public_key != nullptr) SECKEY_DestroyPublicKey(public_key);
    return bytes > 0 ? static_cast<int>(bytes) : PK11_SignatureLen(key.key);
}

// The length of an ECDSA signature (r||s) for the curve of the certificate's
// key, for the curves NSS itself does not know.
int ecdsa_signature_length(const CERTCertificate* cert) {
    const SECItem& params = cert->subjectPublicKeyInfo.algorithm.parameters;
    if (params.data == nullptr) return 0;
    const auto curve = ec_key_algorithm({params.data, params.len});
    if (curve == KeyAlgorithm::EcP256 || curve == KeyAlgorithm::EcBrainpoolP256r1) return 64;
    return 0;
}

class NssError final : public SignatureError {
  public:
    explicit NssError(PRErrorCode error_code) : code(error_code) {}
    const PRErrorCode code;
};

// The error NSS recorded for the last failed call on this thread; a call
// that failed without recording one gets `fallback`.
Status last_error(PRErrorCode fallback) {
    const PRErrorCode code = PORT_GetError();
    return code != 0 ? code : fallback;
}

bool database_exists(const std::string& dir) {
    struct stat st {};
    return ::stat((dir + "/cert9.db").c_str(), &st) == 0;
}

// The signature as NSS makes it with `mechanism` over `data`.
std::optional<Bytes> sign_with(SECKEYPrivateKey* key, CK_MECHANISM_TYPE mechanism,
                               std::span<const std::uint8_t> data, int length) {
    if (length <= 0) return std::nullopt;
    Bytes out(static_cast<std::size_t>(length));
    SECItem signature{siBuffer, out.data(), static_cast<unsigned int>(out.size())};
    SECItem input{siBuffer, const_cast<unsigned char*>(data.data()),
                  static_cast<unsigned int>(data.size())};
    if (PK11_SignWithMechanism(key, mechanism, nullptr, &signature, &input) != SECSuccess) {
        return std::nullopt;
    }
    out.resize(signature.len);
    return out;
}

}  // namespace

NssKeychainPlatform::NssKeychainPlatform(NssStoreLocation location)
    : location_(std::move(location)) {}

NssKeychainPlatform::~NssKeychainPlatform() {
    // The proxy goes before the context that loaded it.
    modules_.reset();
    if (context_ != nullptr) NSS_ShutdownContext(context_);
}

Status NssKeychainPlatform::open() {
    if (context_ != nullptr) return kStatusSuccess;
    // Read-only and without the built-in roots; with the module database, so
    // that the tokens registered there are loaded. Without a database, only
    // the tokens that p11-kit knows are searched.
    PRUint32 flags = NSS_INIT_READONLY | NSS_INIT_NOROOTINIT;
    std::string config;
    if (database_exists(location_.database_dir)) {
        config = "sql:" + location_.database_dir;
    } else {
        flags |= NSS_INIT_NOCERTDB | NSS_INIT_NOMODDB;
    }
    install_password_callback();
    context_ = NSS_InitContext(config.c_str(), "", "", "", nullptr, flags);
    if (context_ == nullptr) return last_error(SEC_ERROR_BAD_DATABASE);
    modules_ = std::make_unique<NssModules>(location_.proxy_module);
    return kStatusSuccess;
}

SearchResult NssKeychainPlatform::copy_matching_identities(
    const std::vector<std::shared_ptr<Keychain>>* /*search_list*/) {
    // The user's database and tokens are the whole search list here.
    if (const Status opened = open(); opened != kStatusSuccess) return {opened, {}};
    refresh_module_slots();

    CERTCertList* list = PK11_ListCerts(PK11CertListUser, nullptr);
    if (list == nullptr) return {kStatusItemNotFound, {}};
    SearchResult result;
    // A token reached through two modules offers the same certificate twice.
    std::set<std::string_view> seen;
    for (CERTCertListNode* node = CERT_LIST_HEAD(list); !CERT_LIST_END(node, list);
         node = CERT_LIST_NEXT(node)) {
        const SECItem& der = node->cert->derCert;
        if (!seen.emplace(reinterpret_cast<const char*>(der.data), der.len).second) continue;
        result.items.push_back(std::make_shared<NssIdentity>(
            CERT_DupCertificate(node->cert),
            SlotPtr(node->cert->slot != nullptr ? PK11_ReferenceSlot(node->cert->slot) : nullptr)));
    }
    CERT_DestroyCertList(list);
    if (result.items.empty()) result.status = kStatusItemNotFound;
    return result;
}

Copied<Certificate> NssKeychainPlatform::copy_certificate(const Identity& identity) {
    const auto& nss = static_cast<const NssIdentity&>(identity);
    return {kStatusSuccess, std::make_shared<NssCertificate>(CERT_DupCertificate(nss.cert))};
}

Bytes NssKeychainPlatform::certificate_data(const Certificate& certificate) {
    const auto& nss = static_cast<const NssCertificate&>(certificate);
    const SECItem& der = nss.cert->derCert;
    if (der.data == nullptr) return {};
    return Bytes(der.data, der.data + der.len);
}

std::optional<std::int64_t> NssKeychainPlatform::public_key_size_bits(
    const Certificate& certificate) {
    const auto& nss = static_cast<const NssCertificate&>(certificate);
    SECKEYPublicKey* key = CERT_ExtractPublicKey(nss.cert);
    if (key == nullptr) return std::nullopt;
    const unsigned int bits = SECKEY_PublicKeyStrengthInBits(key);
    SECKEY_DestroyPublicKey(key);
    if (bits == 0) return std::nullopt;
    return static_cast<std::int64_t>(bits);
}

Copied<PrivateKey> NssKeychainPlatform::copy_private_key(const Identity& identity) {
    const auto& nss = static_cast<const NssIdentity&>(identity);
    PORT_SetError(0);
    SECKEYPrivateKey* key = PK11_FindKeyByAnyCert(nss.cert, nullptr);
    if (key == nullptr) return {last_error(SEC_ERROR_NO_KEY), nullptr};
    return {kStatusSuccess, std::make_shared<NssPrivateKey>(key, CERT_DupCertificate(nss.cert))};
}

SignatureResult NssKeychainPlatform::create_signature(const PrivateKey& key,
                                                      SignatureAlgorithm algorithm,
                                                      std::span<const std::uint8_t> digest) {
    const auto& nss_key = static_cast<const NssPrivateKey&>(key);
    SECKEYPrivateKey* nss = nss_key.key;
    // A key that wants the PIN for every signature gets the one the user
    // typed for this request; NSS asks for it between C_SignInit and C_Sign.
    std::optional<ContextPinGrant> grant;
    // (The flag is read from the key's cached attributes, not the token.)
    if (session_pin_ != nullptr && (SECKEY_HAS_ATTRIBUTE_SET(nss, CKA_ALWAYS_AUTHENTICATE))) {
        grant.emplace(*session_pin_);
    }
    PORT_SetError(0);
    switch (algorithm) {
        case SignatureAlgorithm::RsaPkcs1v15DigestSha256:
        case SignatureAlgorithm::RsaPkcs1v15DigestSha512: {
            const HashAlg alg = algorithm == SignatureAlgorithm::RsaPkcs1v15DigestSha256
                                    ? HashAlg::Sha256
                                    : HashAlg::Sha512;
            if (auto signature = sign_with(nss, CKM_RSA_PKCS, digest_info(alg, digest),
                                           rsa_signature_length(nss_key))) {
                return {std::move(signature), nullptr, std::nullopt};
            }
            break;
        }
        case SignatureAlgorithm::EcdsaDigestX962Sha256:
        case SignatureAlgorithm::EcdsaDigestX962Sha512: {
            int length = PK11_SignatureLen(nss);
            if (length <= 0) {
                // A curve NSS does not know (brainpool): a token does the
                // arithmetic itself, NSS's own database cannot.
                if (PK11_IsInternal(nss->pkcs11Slot)) {
                    return {std::nullopt, nullptr,
                            "ECDSA with this curve: the NSS software database cannot sign with "
                            "it (a key on a smart card or token can)"};
                }
                length = ecdsa_signature_length(nss_key.cert);
            }
            auto raw = sign_with(nss, CKM_ECDSA, digest, length);
            if (!raw) break;
            // The token gives r||s; the X9.62 form is the DER SEQUENCE of both.
            SECItem raw_item{siBuffer, raw->data(), static_cast<unsigned int>(raw->size())};
            SECItem der{siBuffer, nullptr, 0};
            if (DSAU_EncodeDerSigWithLen(&der, &raw_item, raw_item.len) != SECSuccess) break;
            Bytes out(der.data, der.data + der.len);
            SECITEM_FreeItem(&der, PR_FALSE);
            return {std::move(out), nullptr, std::nullopt};
        }
    }
    return {std::nullopt, std::make_shared<NssError>(last_error(SEC_ERROR_LIBRARY_FAILURE)),
            std::nullopt};
}

std::optional<std::string> NssKeychainPlatform::error_message(Status status) {
    const char* text = PR_ErrorToString(status, PR_LANGUAGE_I_DEFAULT);
    if (text == nullptr || *text == '\0') return std::nullopt;
    const std::string message(text);
    if (message.rfind("Unknown code", 0) == 0) return std::nullopt;
    return message;
}

std::string NssKeychainPlatform::error_description(const SignatureError& error) {
    const PRErrorCode code = static_cast<const NssError&>(error).code;
    auto message = error_message(code);
    if (!message) return "error code " + std::to_string(code);
    if (const char* name = PR_ErrorToName(code)) *message += std::string(" (") + name + ")";
    return *message;
}

StepNames NssKeychainPlatform::step_names() const {
    StepNames names;
    names.copy_certificate = "CERT_DupCertificate";
    names.copy_private_key = "PK11_FindKeyByAnyCert";
    names.create_signature = "PK11_SignWithMechanism";
    names.login = "PK11_CheckUserPassword";
    return names;
}

std::optional<std::string> NssKeychainPlatform::token_label(const Certificate& certificate) {
    const SlotPtr slot = slot_of(static_cast<const NssCertificate&>(certificate).cert);
    if (!slot || PK11_IsInternal(slot.get())) return std::nullopt;
    const char* name = PK11_GetTokenName(slot.get());
    if (name == nullptr || *name == '\0') return std::nullopt;
    return std::string(name);
}

std::vector<Bytes> NssKeychainPlatform::issuer_chain(const Certificate& certificate) {
    constexpr int kMaxDepth = 8;
    std::vector<Bytes> chain;
    CERTCertificate* current =
        CERT_DupCertificate(static_cast<const NssCertificate&>(certificate).cert);
    const SECItem leaf = current->derCert;
    for (int depth = 0; depth < kMaxDepth && !current->isRoot; ++depth) {
        CERTCertificate* issuer = CERT_FindCertIssuer(current, PR_Now(), certUsageAnyCA);
        if (issuer == nullptr) break;
        const Bytes der(issuer->derCert.data, issuer->derCert.data + issuer->derCert.len);
        const bool seen = SECITEM_ItemsAreEqual(&issuer->derCert, &leaf) ||
                          std::find(chain.begin(), chain.end(), der) != chain.end();
        CERT_DestroyCertificate(current);
        current = issuer;
        if (seen) break;
        chain.push_back(der);
    }
    CERT_DestroyCertificate(current);
    return chain;
}

LoginNeed NssKeychainPlatform::login_need(const Identity& identity) {
    const SlotPtr slot = slot_of(identity);
    // The software database's own password stays NSS's business: its key
    // simply cannot be found while the database is locked.
    if (!slot || PK11_IsInternal(slot.get())) return LoginNeed::None;
    if (!PK11_NeedLogin(slot.get()) || PK11_IsLoggedIn(slot.get(), nullptr)) return LoginNeed::None;
    return PK11_ProtectedAuthenticationPath(slot.get()) ? LoginNeed::ProtectedPath : LoginNeed::Pin;
}

LoginOutcome NssKeychainPlatform::login(const Identity& identity, const Pin* pin) {
    using Kind = LoginOutcome::Kind;
    const SlotPtr slot = slot_of(identity);
    if (!slot) return {Kind::Failed, std::nullopt, SEC_ERROR_NO_TOKEN};
    if (pin == nullptr) {
        keypad_session_ = std::make_unique<KeypadSession>();
        return keypad_login(slot.get(), *keypad_session_);
    }
    // NSS takes a terminated string: a copy that is wiped on every path.
    Pin text = Pin::with_capacity(pin->size() + 1);
    for (const char c : pin->view())
        text.push_back(c);
    text.push_back('\0');
    PORT_SetError(0);
    // One C_Login (after a C_Logout); NSS does not retry it.
    if (PK11_CheckUserPassword(slot.get(), text.data()) == SECSuccess) {
        session_pin_ = pin;
        return {};
    }
    PRErrorCode error = last_error(SEC_ERROR_LIBRARY_FAILURE);
    // NSS tells a session that ended with its card as bad data: the login
    // sends nothing else that could be.
    if (error == SEC_ERROR_BAD_DATA) error = SEC_ERROR_NO_TOKEN;
    CK_TOKEN_INFO info{};
    const bool have_flags = PK11_GetTokenInfo(slot.get(), &info) == SECSuccess;
    // The attempt that used up the last try may still be answered as a wrong
    // PIN; the lock then shows only in the flags.
    if (error == SEC_ERROR_LOCKED_PASSWORD ||
        (have_flags && (info.flags & CKF_USER_PIN_LOCKED) != 0)) {
        return {Kind::PinLocked, std::nullopt, error};
    }
    if (error == SEC_ERROR_BAD_PASSWORD || error == SEC_ERROR_INVALID_PASSWORD) {
        LoginOutcome outcome{Kind::PinIncorrect, std::nullopt, error};
        if (have_flags && (info.flags & CKF_USER_PIN_FINAL_TRY) != 0) outcome.retries_left = 1;
        return outcome;
    }
    return {Kind::Failed, std::nullopt, error};
}

void NssKeychainPlatform::logout(const Identity& identity) {
    session_pin_ = nullptr;
    if (const SlotPtr slot = slot_of(identity)) {
        PK11_Logout(slot.get());  // a failure leaves nothing to undo
    }
    if (keypad_session_ && keypad_session_->functions != nullptr) {
        keypad_session_->functions->C_CloseSession(keypad_session_->session);
    }
    keypad_session_.reset();
}

std::size_t NssKeychainPlatform::readers_without_card() {
    if (open() != kStatusSuccess) return 0;
    refresh_module_slots();
    // The slots are collected under the module list's lock and examined
    // after it: asking a slot whether a card is in it may reach the token.
    std::vector<SlotPtr> slots;
    SECMODListLock* lock = SECMOD_GetDefaultModuleListLock();
    SECMOD_GetReadLock(lock);
    for (SECMODModuleList* entry = SECMOD_GetDefaultModuleList(); entry != nullptr;
         entry = entry->next) {
        const SECMODModule* module = entry->module;
        if (module == nullptr || module->internal || !module->loaded) continue;
        for (int i = 0; i < module->slotCount; ++i)
            slots.emplace_back(PK11_ReferenceSlot(module->slots[i]));
    }
    SECMOD_ReleaseReadLock(lock);
    std::size_t empty = 0;
    for (const SlotPtr& slot : slots) {
        if (PK11_IsRemovable(slot.get()) && !PK11_IsPresent(slot.get())) ++empty;
    }
    return empty;
}

TokenPresence NssKeychainPlatform::token_presence(const Identity& identity) {
    const SlotPtr slot = slot_of(identity);
    // A certificate NSS cannot place any more lay on a token that is gone.
    if (!slot) return TokenPresence::CardAbsent;
    if (PK11_IsInternal(slot.get())) return TokenPresence::Present;
    refresh_module_slots();
    // A reader that went away (or the card service with it) no longer
    // answers for its slot.
    CK_SLOT_INFO info{};
    if (PK11_GetSlotInfo(slot.get(), &info) != SECSuccess) return TokenPresence::ReaderGone;
    if ((info.flags & CKF_TOKEN_PRESENT) == 0) return TokenPresence::CardAbsent;
    // Also takes up a card that was put back: NSS then opens a fresh session
    // on it, in place of the one that ended with the removal.
    return PK11_IsPresent(slot.get()) ? TokenPresence::Present : TokenPresence::CardAbsent;
}

bool NssKeychainPlatform::token_went_away(Status status) {
    return status == SEC_ERROR_NO_TOKEN || status == SEC_ERROR_PKCS11_DEVICE_ERROR;
}

bool NssKeychainPlatform::token_went_away(const SignatureError& error) {
    return token_went_away(static_cast<const NssError&>(error).code);
}

NssStoreLocation default_nss_store_location() {
    return {user_nss_database_dir(), default_p11kit_proxy_path()};
}

std::unique_ptr<KeychainPlatform> make_default_keychain_platform() {
    return std::make_unique<NssKeychainPlatform>(default_nss_store_location());
}

}  // namespace tavrin::keychain
