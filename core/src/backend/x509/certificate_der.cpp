#include "backend/x509/certificate_der.h"

#include <algorithm>
#include <array>
#include <bit>

#include "backend/x509/der_canonical.h"

namespace tavrin {
namespace {

constexpr std::uint8_t kSequence = 0x30;
constexpr std::uint8_t kInteger = 0x02;
constexpr std::uint8_t kBitString = 0x03;
constexpr std::uint8_t kVersionTag = 0xA0;  // [0] EXPLICIT
// The OID 1.2.840.113549.1.1.1 with its tag and length.
constexpr std::array<std::uint8_t, 11> kRsaEncryption{0x06, 0x09, 0x2A, 0x86, 0x48, 0x86,
                                                      0xF7, 0x0D, 0x01, 0x01, 0x01};

// A walk over the values of one constructed value's content.
class Values {
  public:
    explicit Values(std::span<const std::uint8_t> content) : content_(content) {}

    // The next value when it has the tag `first_octet`; its content.
    std::optional<std::span<const std::uint8_t>> take(std::uint8_t first_octet) {
        auto header = read_der_header(content_, offset_);
        if (!header || header.value().first_octet != first_octet) return std::nullopt;
        const auto value =
            content_.subspan(offset_ + header.value().header_length, header.value().content_length);
        offset_ += header.value().header_length + header.value().content_length;
        return value;
    }
    // The next value, tag and length included, when it has the tag.
    std::optional<std::span<const std::uint8_t>> take_whole(std::uint8_t first_octet) {
        auto header = read_der_header(content_, offset_);
        if (!header || header.value().first_octet != first_octet) return std::nullopt;
        const auto value = content_.subspan(
            offset_, header.value().header_length + header.value().content_length);
        offset_ += value.size();
        return value;
    }
    bool next_is(std::uint8_t first_octet) const {
        return offset_ < content_.size() && content_[offset_] == first_octet;
    }

  private:
    std::span<const std::uint8_t> content_;
    std::size_t offset_ = 0;
};

// The values of tbsCertificate, at its serial number.
std::optional<Values> tbs_after_version(std::span<const std::uint8_t> certificate_der) {
    auto certificate = Values(certificate_der).take(kSequence);
    if (!certificate) return std::nullopt;
    auto tbs_content = Values(*certificate).take(kSequence);
    if (!tbs_content) return std::nullopt;
    Values tbs(*tbs_content);
    if (tbs.next_is(kVersionTag) && !tbs.take(kVersionTag)) return std::nullopt;
    return tbs;
}

}  // namespace

bool names_identical(std::span<const std::uint8_t> certificate_der) {
    auto tbs = tbs_after_version(certificate_der);
    if (!tbs || !tbs->take(kInteger) || !tbs->take(kSequence)) return false;
    const auto issuer = tbs->take_whole(kSequence);
    if (!issuer || !tbs->take(kSequence)) return false;
    const auto subject = tbs->take_whole(kSequence);
    return subject && std::equal(issuer->begin(), issuer->end(), subject->begin(), subject->end());
}

std::optional<std::uint32_t> rsa_modulus_bits(std::span<const std::uint8_t> certificate_der) {
    auto tbs = tbs_after_version(certificate_der);
    // serialNumber, signature, issuer, validity, subject
    if (!tbs || !tbs->take(kInteger)) return std::nullopt;
    for (int skipped = 0; skipped < 4; ++skipped)
        if (!tbs->take(kSequence)) return std::nullopt;
    auto spki_content = tbs->take(kSequence);
    if (!spki_content) return std::nullopt;
    Values spki(*spki_content);
    auto algorithm = spki.take(kSequence);
    if (!algorithm || algorithm->size() < kRsaEncryption.size() ||
        !std::equal(kRsaEncryption.begin(), kRsaEncryption.end(), algorithm->begin())) {
        return std::nullopt;
    }
    auto key_bits = spki.take(kBitString);
    if (!key_bits || key_bits->empty() || (*key_bits)[0] != 0) return std::nullopt;
    auto rsa_key = Values(key_bits->subspan(1)).take(kSequence);
    if (!rsa_key) return std::nullopt;
    auto modulus = Values(*rsa_key).take(kInteger);
    if (!modulus) return std::nullopt;
    // A positive INTEGER may start with one zero octet.
    auto digits = *modulus;
    while (!digits.empty() && digits.front() == 0)
        digits = digits.subspan(1);
    if (digits.empty()) return std::nullopt;
    return static_cast<std::uint32_t>(digits.size() * 8 -
                                      static_cast<std::size_t>(std::countl_zero(digits.front())));
}

}  // namespace tavrin
