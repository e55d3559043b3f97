// The core's prompts over a C callback table: what crosses the boundary and
// what is refused before it.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "capi/ffi_user_interaction.h"

namespace tavrin {
namespace {

struct Calls {
    std::vector<std::string> consent;  // "origin|purposes"
    std::vector<std::string> pin;      // "origin|cert|count"
    std::vector<std::string> confirm;
    const char* pin_answer = "1234";
    int32_t answer = 1;
};

int32_t consent(const char* origin, const char* purposes, void* data) {
    auto* calls = static_cast<Calls*>(data);
    calls->consent.push_back(std::string(origin) + "|" + purposes);
    return calls->answer;
}

char* pin(const char* origin, const char* cert_id, uint32_t count, void* data) {
    auto* calls = static_cast<Calls*>(data);
    calls->pin.push_back(std::string(origin) + "|" + cert_id + "|" + std::to_string(count));
    return calls->pin_answer ? strdup(calls->pin_answer) : nullptr;
}

int32_t confirm(const char* origin, const char* cert_id, uint32_t count, void* data) {
    auto* calls = static_cast<Calls*>(data);
    calls->confirm.push_back(std::string(origin) + "|" + cert_id + "|" + std::to_string(count));
    return calls->answer;
}

class FfiUserInteractionTest : public ::testing::Test {
  protected:
    Calls calls;
    FfiUserInteraction interaction{TavrinBridgeCallbacks{consent, pin, confirm, &calls}};
};

TEST_F(FfiUserInteractionTest, ConsentCarriesThePurposesAsACompactArray) {
    const CertPurpose both[] = {CertPurpose::Sign, CertPurpose::Auth};
    EXPECT_TRUE(interaction.request_consent("https://a", both));
    EXPECT_TRUE(interaction.request_consent("https://a", std::span(both).last(1)));
    calls.answer = 0;
    EXPECT_FALSE(interaction.request_consent("https://b", std::span(both).first(1)));
    EXPECT_EQ(calls.consent,
              (std::vector<std::string>{R"(https://a|["sign","auth"])", R"(https://a|["auth"])",
                                        R"(https://b|["sign"])"}));
}

TEST_F(FfiUserInteractionTest, TextsWithANulByteAreRefusedAndCountsSaturate) {
    const std::string origin("https://a\0b", 11);
    const CertPurpose sign[] = {CertPurpose::Sign};
    EXPECT_FALSE(interaction.request_consent(origin, sign));
    EXPECT_FALSE(interaction.request_pin(origin, "id", 1));
    EXPECT_FALSE(interaction.request_pin("https://a", std::string("i\0d", 3), 1));
    EXPECT_FALSE(interaction.request_sign_confirmation(origin, "id", 1));
    EXPECT_FALSE(interaction.request_sign_confirmation("https://a", std::string("i\0d", 3), 1));
    EXPECT_TRUE(calls.consent.empty() && calls.pin.empty() && calls.confirm.empty());

    // Counts saturate at the largest 32-bit value.
    EXPECT_TRUE(interaction.request_sign_confirmation("o", "c", 50));
    EXPECT_TRUE(interaction.request_sign_confirmation("o", "c", 5'000'000'000ULL));
    EXPECT_TRUE(interaction.request_pin("o", "c", std::size_t{1} << 40));
    EXPECT_EQ(calls.confirm, (std::vector<std::string>{"o|c|50", "o|c|4294967295"}));
    EXPECT_EQ(calls.pin, std::vector<std::string>{"o|c|4294967295"});
}

TEST_F(FfiUserInteractionTest, PinIsCopiedWithInvalidUtf8Replaced) {
    auto entered = interaction.request_pin("o", "c", 1);
    ASSERT_TRUE(entered);
    EXPECT_EQ(entered->view(), "1234");

    calls.pin_answer =
        "12\xFF"
        "3\xC3";
    entered = interaction.request_pin("o", "c", 1);
    ASSERT_TRUE(entered);
    EXPECT_EQ(entered->view(),
              "12\xEF\xBF\xBD"
              "3\xEF\xBF\xBD");

    calls.pin_answer = "\xC5\xA1";  // valid two-byte text stays as it is
    EXPECT_EQ(interaction.request_pin("o", "c", 1)->view(), "\xC5\xA1");

    calls.pin_answer = nullptr;
    EXPECT_FALSE(interaction.request_pin("o", "c", 1));
}

}  // namespace
}  // namespace tavrin
