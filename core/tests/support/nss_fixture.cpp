#include "support/nss_fixture.h"

#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>

#include <cstdio>
#include <stdexcept>

namespace tavrin::testing {

Bytes fixture_der(const std::string& name) {
    const std::string path = std::string(TAVRIN_NSS_HOME) + "/fixtures/" + name + ".pem";
    FILE* file = std::fopen(path.c_str(), "r");
    X509* cert = file != nullptr ? PEM_read_X509(file, nullptr, nullptr, nullptr) : nullptr;
    if (file != nullptr) std::fclose(file);
    unsigned char* der = nullptr;
    const int length = cert != nullptr ? i2d_X509(cert, &der) : 0;
    X509_free(cert);
    if (length <= 0) throw std::runtime_error("cannot read the certificate " + path);
    Bytes out(der, der + length);
    OPENSSL_free(der);
    return out;
}

std::vector<Bytes> random_hashes(std::size_t count, HashAlg alg) {
    std::vector<Bytes> hashes(count, Bytes(digest_length(alg)));
    for (auto& hash : hashes)
        RAND_bytes(hash.data(), static_cast<int>(hash.size()));
    return hashes;
}

}  // namespace tavrin::testing
