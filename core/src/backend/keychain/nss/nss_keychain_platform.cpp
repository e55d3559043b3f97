#include "backend/keychain/nss/nss_keychain_platform.h"

#include <sys/stat.h>

#include <algorithm>
#include <vector>

#include <cert.h>
#include <cryptohi.h>
#include <keyhi.h>
#include <nss.h>
#include <pk11pub.h>
#include <prerror.h>
#include <secerr.h>

#include "backend/x509/supported_keys.h"
#include "crypto/digest_info.h"

namespace tavrin::keychain {
namespace {

// Every reference owns one NSS reference count of its object.
class NssIdentity final : public Identity {
  public:
    explicit NssIdentity(CERTCertificate* owned) : cert(owned) {}
    ~NssIdentity() override { CERT_DestroyCertificate(cert); }
    CERTCertificate* const cert;
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

// The length of an RSA signature: the modulus length, read from the
// certificate rather than asked of the token.
int rsa_signature_length(const NssPrivateKey& key) {
    SECKEYPublicKey* public_key = CERT_ExtractPublicKey(key.cert);
    const unsigned int bytes = public_key != nullptr ? SECKEY_PublicKeyStrength(public_key) : 0;
    if (public_key != nullptr) SECKEY_DestroyPublicKey(public_key);
    return bytes > 0 ? static_cast<int>(bytes) : PK11_SignatureLen(key.key);
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
    if (context_ != nullptr) NSS_ShutdownContext(context_);
}

Status NssKeychainPlatform::open() {
    if (context_ != nullptr) return kStatusSuccess;
    if (!database_exists(location_.database_dir)) return kStatusItemNotFound;
    // Read-only, without the built-in roots and without the module list: the
    // modules it registers are loaded by the token part of the store.
    const PRUint32 flags = NSS_INIT_READONLY | NSS_INIT_NOROOTINIT | NSS_INIT_NOMODDB;
    const std::string config = "sql:" + location_.database_dir;
    context_ = NSS_InitContext(config.c_str(), "", "", "", nullptr, flags);
    if (context_ == nullptr) return last_error(SEC_ERROR_BAD_DATABASE);
    return kStatusSuccess;
}

SearchResult NssKeychainPlatform::copy_matching_identities(
    const std::vector<std::shared_ptr<Keychain>>* /*search_list*/) {
    // The user's database is the whole search list here.
    if (const Status opened = open(); opened != kStatusSuccess) return {opened, {}};
    CERTCertList* list = PK11_ListCerts(PK11CertListUser, nullptr);
    if (list == nullptr) return {kStatusItemNotFound, {}};
    SearchResult result;
    for (CERTCertListNode* node = CERT_LIST_HEAD(list); !CERT_LIST_END(node, list);
         node = CERT_LIST_NEXT(node)) {
        result.items.push_back(std::make_shared<NssIdentity>(CERT_DupCertificate(node->cert)));
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
            const int length = PK11_SignatureLen(nss);
            if (length <= 0) {
                // A curve NSS does not know (brainpool): a token does the
                // arithmetic itself, NSS's own database cannot.
                return {std::nullopt, nullptr,
                        "ECDSA with this curve: the NSS software database cannot sign with "
                        "it (a key on a smart card or token can)"};
            }
            auto raw = sign_with(nss, CKM_ECDSA, digest, length);
            if (!raw) break;
            // NSS gives r||s; the X9.62 form is the DER SEQUENCE of both.
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
    // NSS's codes are negative; the others belong to other parts of the store.
    if (status >= 0) return std::nullopt;
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

StepNames NssKeychainPlatform::step_names(const Identity& /*identity*/) const {
    StepNames names;
    names.copy_certificate = "CERT_DupCertificate";
    names.copy_private_key = "PK11_FindKeyByAnyCert";
    names.create_signature = "PK11_SignWithMechanism";
    names.login = "PK11_CheckUserPassword";
    return names;
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

}  // namespace tavrin::keychain
