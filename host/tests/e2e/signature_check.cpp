#include "e2e/signature_check.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <cstdio>
#include <memory>
#include <stdexcept>

namespace tavrin::host::testing {
namespace {

struct X509Free {
    void operator()(X509* x) const { X509_free(x); }
};
struct PkeyFree {
    void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
};
struct PkeyCtxFree {
    void operator()(EVP_PKEY_CTX* c) const { EVP_PKEY_CTX_free(c); }
};

std::unique_ptr<X509, X509Free> readCertificate(const std::filesystem::path& pem) {
    FILE* file = std::fopen(pem.c_str(), "r");
    if (file == nullptr) throw std::runtime_error("read certificate: cannot open " + pem.string());
    std::unique_ptr<X509, X509Free> certificate(PEM_read_X509(file, nullptr, nullptr, nullptr));
    std::fclose(file);
    if (!certificate)
        throw std::runtime_error("read certificate: no PEM certificate in " + pem.string());
    return certificate;
}

std::string opensslReason(const std::string& step) {
    char text[256] = "no reason given";
    if (const unsigned long code = ERR_get_error(); code != 0)
        ERR_error_string_n(code, text, sizeof text);
    ERR_clear_error();
    return step + ": " + text;
}

}  // namespace

std::vector<unsigned char> sha256(const std::string& data) {
    std::vector<unsigned char> digest(32);
    unsigned int length = 0;
    EVP_Digest(data.data(), data.size(), digest.data(), &length, EVP_sha256(), nullptr);
    digest.resize(length);
    return digest;
}

std::string certificateId(const std::filesystem::path& pem) {
    const auto certificate = readCertificate(pem);
    unsigned char* der = nullptr;
    const int length = i2d_X509(certificate.get(), &der);
    if (length <= 0) throw std::runtime_error(opensslReason("encode certificate"));
    const auto digest =
        sha256(std::string(reinterpret_cast<char*>(der), static_cast<std::size_t>(length)));
    OPENSSL_free(der);
    std::string hex;
    for (const unsigned char b : digest) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", b);
        hex += pair;
    }
    return hex;
}

std::string verifySignature(const std::filesystem::path& pem,
                            const std::vector<unsigned char>& hash,
                            const std::vector<unsigned char>& signature) {
    const auto certificate = readCertificate(pem);
    std::unique_ptr<EVP_PKEY, PkeyFree> key(X509_get_pubkey(certificate.get()));
    if (!key) return opensslReason("public key of " + pem.string());
    std::unique_ptr<EVP_PKEY_CTX, PkeyCtxFree> context(EVP_PKEY_CTX_new(key.get(), nullptr));
    if (!context || EVP_PKEY_verify_init(context.get()) <= 0) return opensslReason("verify init");
    // The hash is already computed: tell the key which digest it came from,
    // so that RSA checks the DigestInfo around it.
    if (EVP_PKEY_CTX_set_signature_md(context.get(), EVP_sha256()) <= 0)
        return opensslReason("set digest");
    if (EVP_PKEY_base_id(key.get()) == EVP_PKEY_RSA &&
        EVP_PKEY_CTX_set_rsa_padding(context.get(), RSA_PKCS1_PADDING) <= 0)
        return opensslReason("set padding");
    const int verified = EVP_PKEY_verify(context.get(), signature.data(), signature.size(),
                                         hash.data(), hash.size());
    return verified == 1 ? std::string() : opensslReason("verify");
}

std::string toBase64(const std::vector<unsigned char>& bytes) {
    std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()), bytes.data(),
                                  static_cast<int>(bytes.size()));
    out.resize(static_cast<std::size_t>(n));
    return out;
}

std::vector<unsigned char> fromBase64(const std::string& text) {
    if (text.size() % 4 != 0)
        throw std::runtime_error("base64: length " + std::to_string(text.size()));
    std::vector<unsigned char> out(text.size() / 4 * 3);
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

}  // namespace tavrin::host::testing
