#include <gtest/gtest.h>

#include <string>

#include "protocol/base64.h"

namespace tavrin {
namespace {

Bytes bytes_of(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

TEST(Base64, RoundTripsEveryLengthModuloThree) {
    const struct {
        const char* plain;
        const char* encoded;
    } cases[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
        {"\xFB\xFF\xBF", "+/+/"},  // the standard alphabet's last two characters
    };
    for (const auto& c : cases) {
        EXPECT_EQ(base64_encode(bytes_of(c.plain)), c.encoded);
        const auto decoded = base64_decode(c.encoded);
        ASSERT_TRUE(decoded) << c.encoded << ": " << decoded.error();
        EXPECT_EQ(decoded.value(), bytes_of(c.plain));
    }
}

TEST(Base64, RejectsNonCanonicalInputWithAReason) {
    const struct {
        const char* input;
        const char* reason;
    } cases[] = {
        {"Zg", "length 2 is not a multiple of 4"},
        {"Zm9vY", "length 5 is not a multiple of 4"},
        {"Zh==", "non-zero trailing bits in character 'h' at offset 1"},
        {"Zm9=", "non-zero trailing bits in character '9' at offset 2"},
        {"Zm-v", "invalid character '-' at offset 2"},
        {"Zm_v", "invalid character '_' at offset 2"},
        {"Zm9v\n", "length 5 is not a multiple of 4"},
        {"Zm 9", "invalid character byte 0x20 at offset 2"},
        {"Z===", "padding '=' before the end at offset 1"},
        {"====", "padding '=' before the end at offset 0"},
        {"Zg==Zg==", "padding '=' before the end at offset 2"},
        {"Zm=v", "padding '=' before the end at offset 2"},
    };
    for (const auto& c : cases) {
        const auto decoded = base64_decode(c.input);
        ASSERT_FALSE(decoded) << c.input;
        EXPECT_EQ(decoded.error(), c.reason) << c.input;
    }
}

}  // namespace
}  // namespace tavrin
