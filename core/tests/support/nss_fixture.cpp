#include "support/nss_fixture.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

namespace tavrin::testing {
namespace {

std::unique_ptr<X509, decltype(&X509_free)> load(const std::string& name) {
    const std::string path = nss_home() + "/fixtures/" + name + ".pem";
    FILE* file = std::fopen(path.c_str(), "r");
    if (file == nullptr) throw std::runtime_error("cannot open " + path);
    X509* cert = PEM_read_X509(file, nullptr, nullptr, nullptr);
    std::fclose(file);
    if (cert == nullptr) throw std::runtime_error("cannot parse " + path);
    return {cert, X509_free};
}

}  // namespace

std::string nss_home() {
    return TAVRIN_NSS_HOME;
}
std::string nss_password_home() {
    return TAVRIN_NSS_PASSWORD_HOME;
}

Bytes fixture_der(const std::string& name) {
    const auto cert = load(name);
    unsigned char* der = nullptr;
    const int length = i2d_X509(cert.get(), &der);
    if (length <= 0) throw std::runtime_error("cannot encode " + name);
    Bytes out(der, der + length);
    OPENSSL_free(der);
    return out;
}

bool verifies(const std::string& name, HashAlg hash_alg, Scheme scheme, const Bytes& hash,
              const Bytes& signature) {
    const auto cert = load(name);
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(X509_get_pubkey(cert.get()),
                                                            EVP_PKEY_free);
    std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> ctx(
        EVP_PKEY_CTX_new(key.get(), nullptr), EVP_PKEY_CTX_free);
    if (!ctx || EVP_PKEY_verify_init(ctx.get()) <= 0) return false;
    if (scheme == Scheme::RsaPkcs1 &&
        EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) <= 0) {
        return false;
    }
    const EVP_MD* md = hash_alg == HashAlg::Sha256 ? EVP_sha256() : EVP_sha512();
    if (scheme == Scheme::RsaPkcs1 && EVP_PKEY_CTX_set_signature_md(ctx.get(), md) <= 0) {
        return false;
    }
    return EVP_PKEY_verify(ctx.get(), signature.data(), signature.size(), hash.data(),
                           hash.size()) == 1;
}

}  // namespace tavrin::testing
