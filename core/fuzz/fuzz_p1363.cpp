// The raw-to-DER signature conversion over arbitrary bytes: every even,
// non-empty input gives a DER ECDSA-Sig-Value that OpenSSL reads back as the
// same two numbers and writes out as the same bytes.

#include <openssl/bn.h>
#include <openssl/ec.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>

#include "crypto/signature_encoding.h"

namespace {

bool same_number(const BIGNUM* decoded, std::span<const std::uint8_t> magnitude) {
    const std::unique_ptr<BIGNUM, decltype(&BN_free)> expected(
        BN_bin2bn(magnitude.data(), static_cast<int>(magnitude.size()), nullptr), BN_free);
    return expected && BN_cmp(decoded, expected.get()) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> raw(data, size);
    const auto der = tavrin::p1363_to_der(raw);
    if (size == 0 || size % 2 != 0) {
        const auto expected =
            size == 0 ? tavrin::CryptoError::empty() : tavrin::CryptoError::odd_length(size);
        if (der.ok() || !(der.error() == expected)) std::abort();
        return 0;
    }
    if (!der.ok()) std::abort();

    const tavrin::Bytes& encoded = der.value();
    const unsigned char* p = encoded.data();
    const std::unique_ptr<ECDSA_SIG, decltype(&ECDSA_SIG_free)> sig(
        d2i_ECDSA_SIG(nullptr, &p, static_cast<long>(encoded.size())), ECDSA_SIG_free);
    if (!sig || p != encoded.data() + encoded.size()) std::abort();
    if (!same_number(ECDSA_SIG_get0_r(sig.get()), raw.first(size / 2)) ||
        !same_number(ECDSA_SIG_get0_s(sig.get()), raw.subspan(size / 2))) {
        std::abort();
    }
    unsigned char* out = nullptr;
    const int length = i2d_ECDSA_SIG(sig.get(), &out);
    const std::unique_ptr<unsigned char, void (*)(unsigned char*)> owner(
        out, [](unsigned char* bytes) { OPENSSL_free(bytes); });
    if (length < 0 || static_cast<std::size_t>(length) != encoded.size() ||
        !std::equal(encoded.begin(), encoded.end(), out)) {
        std::abort();
    }
    return 0;
}
