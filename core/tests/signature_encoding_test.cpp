#include "crypto/signature_encoding.h"

#include <gtest/gtest.h>

#include <string>

#include "support/test_certificates.h"

namespace tavrin {
namespace {

using testing::from_hex;

Bytes repeat(std::uint8_t value, std::size_t count) {
    return Bytes(count, value);
}

Bytes concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(EncodeDerInteger, IsMinimalAndPositive) {
    struct Case {
        const char* magnitude;
        const char* expected;
    };
    const Case cases[] = {
        {"00", "020100"},         {"000000", "020100"},   {"01", "020101"},
        {"00007F11", "02027F11"}, {"000080", "02020080"}, {"80", "02020080"},
        {"FF00", "020300FF00"},   {"", "020100"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.magnitude);
        EXPECT_EQ(encode_der_integer(from_hex(c.magnitude)), from_hex(c.expected));
    }
}

TEST(P1363ToDer, EncodesBothHalves) {
    // r = 0x80 then 31 zero bytes, s = 31 zero bytes then 0x01.
    const Bytes r = concat({0x80}, repeat(0, 31));
    const Bytes s = concat(repeat(0, 31), {0x01});
    const Bytes expected = concat(concat(from_hex("3026 0221 00"), r), from_hex("020101"));
    const auto worked = p1363_to_der(concat(r, s));
    ASSERT_TRUE(worked.ok());
    EXPECT_EQ(worked.value(), expected);
    EXPECT_EQ(worked.value().size(), 40u);

    const auto zeros = p1363_to_der(repeat(0, 64));
    ASSERT_TRUE(zeros.ok());
    EXPECT_EQ(zeros.value(), from_hex("3006 020100 020100"));

    // 66-byte halves with the high bit set: content 138, long form 81 8A.
    const auto p521 = p1363_to_der(repeat(0xFF, 132));
    ASSERT_TRUE(p521.ok());
    ASSERT_EQ(p521.value().size(), 141u);
    EXPECT_EQ(Bytes(p521.value().begin(), p521.value().begin() + 6), from_hex("30818A 024300"));

    // 147-byte halves: INTEGERs 02 81 94 00 ..., content 302 = 82 01 2E.
    const auto wide = p1363_to_der(repeat(0xFF, 294));
    ASSERT_TRUE(wide.ok());
    EXPECT_EQ(Bytes(wide.value().begin(), wide.value().begin() + 8), from_hex("3082012E 02819400"));
    EXPECT_EQ(wide.value().size(), 306u);
}

}  // namespace
}  // namespace tavrin
