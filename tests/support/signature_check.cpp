#include "tests/support/signature_check.h"

#include <cstdio>
#include <memory>
#include <stdexcept>

#include <openssl/evp.h>
#include <openssl/pem.h>
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

std::vector<std::uint8_t> pem_certificate(const std::filesystem::path& pem) {
    FILE* file = std::fopen(pem.c_str(), "r");
    if (file == nullptr) throw std::runtime_error("read certificate: cannot open " + pem.string());
    std::unique_ptr<X509, decltype(&X509_free)> cert(PEM_read_X509(file, nullptr, nullptr, nullptr),
                                                     X509_free);
    std::fclose(file);
    unsigned char* der = nullptr;
    const int length = cert ? i2d_X509(cert.get(), &der) : 0;
    if (length <= 0) throw std::runtime_error("read certificate: none in " + pem.string());
    std::vector<std::uint8_t> out(der, der + length);
    OPENSSL_free(der);
    return out;
}

std::vector<std::uint8_t> sha256(const std::string& data) {
    std::vector<std::uint8_t> digest(32);
    unsigned int length = 0;
    EVP_Digest(data.data(), data.size(), digest.data(), &length, EVP_sha256(), nullptr);
    digest.resize(length);
    return digest;
}

std::string to_base64(std::span<const std::uint8_t> bytes) {
    std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()), bytes.data(),
                                  static_cast<int>(bytes.size()));
    out.resize(static_cast<std::size_t>(n));
    return out;
}

std::vector<std::uint8_t> from_base64(const std::string& text) {
    if (text.size() % 4 != 0)
        throw std::runtime_error("base64: length " + std::to_string(text.size()));
    std::vector<std::uint8_t> out(text.size() / 4 * 3);
    const int n = EVP_DecodeBlock(out.data(), reinterpret_cast<const unsigned char*>(text.data()),
                                  static_cast<int>(text.size()));
    if (n < 0) throw std::runtime_error("base64: not Base64: " + text);
    // EVP_DecodeBlock counts the padding as zero bytes.
    std::size_t padding = 0;
    for (std::size_t i = text.size(); i > 0 && text[i - 1] == '='; --i)
        ++padding;
    out.resize(static_cast<std::size_t>(n) - padding);
    return out;
}

}  // namespace tavrin::testing
