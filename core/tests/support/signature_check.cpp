#include "support/signature_check.h"

#include <memory>

#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

namespace tavrin::testing {

bool verifies_with(std::span<const std::uint8_t> der, const EVP_MD* md,
                   std::span<const std::uint8_t> hash, std::span<const std::uint8_t> signature) {
    const unsigned char* cursor = der.data();
    std::unique_ptr<X509, decltype(&X509_free)> cert(
        d2i_X509(nullptr, &cursor, static_cast<long>(der.size())), X509_free);
    if (!cert) return false;
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(X509_get_pubkey(cert.get()),
                                                            EVP_PKEY_free);
    std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> ctx(
        EVP_PKEY_CTX_new(key.get(), nullptr), EVP_PKEY_CTX_free);
    if (!ctx || EVP_PKEY_verify_init(ctx.get()) <= 0) return false;
    if (EVP_PKEY_get_base_id(key.get()) == EVP_PKEY_RSA &&
        (EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) <= 0 ||
         EVP_PKEY_CTX_set_signature_md(ctx.get(), md) <= 0)) {
        return false;
    }
    return EVP_PKEY_verify(ctx.get(), signature.data(), signature.size(), hash.data(),
                           hash.size()) == 1;
}

}  // namespace tavrin::testing
