// The core's prompts over a C callback table: what crosses the boundary and
// what is refused before it.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "capi/ffi_user_interaction.h"
#include "common/secret_pages.h"

namespace tavrin {
namespace {

// The prompts the host was asked for, one line each, and its answers.
struct Calls {
    std::vector<std::string> log;
    const char* pin_answer = "1234";
    int32_t answer = 1;
};

int32_t consent(const char* origin, const char* purposes, void* data) {
    static_cast<Calls*>(data)->log.push_back(std::string("consent ") + origin + " " + purposes);
    return static_cast<Calls*>(data)->answer;
}

char* pin(const char* origin, const char* cert_id, uint32_t count, void* data) {
    auto* calls = static_cast<Calls*>(data);
    calls->log.push_back(std::string("pin ") + origin + " " + cert_id + " " +
                         std::to_string(count));
    return calls->pin_answer ? strdup(calls->pin_answer) : nullptr;
}

int32_t confirm(const char* origin, const char* cert_id, uint32_t count, void* data) {
    static_cast<Calls*>(data)->log.push_back(std::string("confirm ") + origin + " " + cert_id +
                                             " " + std::to_string(count));
    return static_cast<Calls*>(data)->answer;
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
    EXPECT_EQ(calls.log, (std::vector<std::string>{R"(consent https://a ["sign","auth"])",
                                                   R"(consent https://a ["auth"])",
                                                   R"(consent https://b ["sign"])"}));
}

TEST_F(FfiUserInteractionTest, TextsWithANulByteAreRefusedAndCountsSaturate) {
    const std::string origin("https://a\0b", 11);
    const CertPurpose sign[] = {CertPurpose::Sign};
    EXPECT_FALSE(interaction.request_consent(origin, sign));
    EXPECT_FALSE(interaction.request_pin(origin, "id", 1));
    EXPECT_FALSE(interaction.request_pin("https://a", std::string("i\0d", 3), 1));
    EXPECT_FALSE(interaction.request_sign_confirmation(origin, "id", 1));
    EXPECT_FALSE(interaction.request_sign_confirmation("https://a", std::string("i\0d", 3), 1));
    EXPECT_TRUE(calls.log.empty());

    // Counts saturate at the largest 32-bit value.
    EXPECT_TRUE(interaction.request_sign_confirmation("o", "c", 50));
    EXPECT_TRUE(interaction.request_sign_confirmation("o", "c", 5'000'000'000ULL));
    EXPECT_TRUE(interaction.request_pin("o", "c", std::size_t{1} << 40));
    EXPECT_EQ(calls.log, (std::vector<std::string>{"confirm o c 50", "confirm o c 4294967295",
                                                   "pin o c 4294967295"}));
}

TEST_F(FfiUserInteractionTest, PinIsCopiedWithInvalidUtf8Replaced) {
    const std::pair<const char*, const char*> cases[] = {
        {"1234", "1234"},
        {"\xC5\xA1", "\xC5\xA1"},  // valid two-byte text stays as it is
        {"12\xFF\x33\xC3", "12\xEF\xBF\xBD\x33\xEF\xBF\xBD"},
    };
    for (const auto& [answer, expected] : cases) {
        calls.pin_answer = answer;
        const auto entered = interaction.request_pin("o", "c", 1);
        ASSERT_TRUE(entered);
        EXPECT_EQ(entered->view(), expected);
    }
    calls.pin_answer = nullptr;
    EXPECT_FALSE(interaction.request_pin("o", "c", 1));
}

}  // namespace
}  // namespace tavrin

namespace tavrin {
namespace {

// The direct entry writes into the PIN the core keeps: one buffer, on the
// core's secret pages, from the prompt to the token.
struct Entry {
    std::string typed;
    std::int32_t answer = 1;
    const char* buffer = nullptr;
    std::size_t capacity = 0;
};

std::int32_t enter_pin(const char*, const char*, uint32_t, char* pin, size_t capacity,
                       size_t* pin_len, void* data) {
    auto* entry = static_cast<Entry*>(data);
    entry->buffer = pin;
    entry->capacity = capacity;
    if (entry->typed.size() > capacity) return -1;
    std::memcpy(pin, entry->typed.data(), entry->typed.size());
    *pin_len = entry->typed.size();
    return entry->answer;
}

TEST(FfiPinEntry, ThePinIsTypedIntoTheCoresOwnBufferAndRefusalsLeaveNone) {
    Entry entry;
    TavrinBridgeCallbacks callbacks{};
    callbacks.user_data = &entry;
    FfiUserInteraction interaction(callbacks);
    interaction.set_pin_entry(enter_pin);

    entry.typed = "1234";
    auto pin = interaction.request_pin("o", "c", 1);
    ASSERT_TRUE(pin);
    EXPECT_EQ(pin->view(), "1234");
    EXPECT_EQ(pin->data(), entry.buffer);
    EXPECT_EQ(entry.capacity, std::size_t{TAVRIN_BRIDGE_PIN_CAPACITY});

    entry.typed = "12\xFF";
    pin = interaction.request_pin("o", "c", 1);
    ASSERT_TRUE(pin);
    EXPECT_EQ(pin->view(), "12\xEF\xBF\xBD");

    entry.typed = std::string(TAVRIN_BRIDGE_PIN_CAPACITY + 1, '7');  // does not fit
    EXPECT_FALSE(interaction.request_pin("o", "c", 1));
    entry.typed = "1234";
    entry.answer = 0;  // cancelled
    EXPECT_FALSE(interaction.request_pin("o", "c", 1));
}

}  // namespace
}  // namespace tavrin

namespace tavrin {
namespace {

// A page a PIN used is kept for the next secret, and comes back wiped even
// when its owner did not wipe it.
TEST(SecretPages, AKeptPageComesBackWiped) {
    const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    auto* first = static_cast<char*>(allocate_secret_pages(16));
    std::memset(first, 'x', page);
    free_secret_pages(first, 16);
    auto* second = static_cast<char*>(allocate_secret_pages(page));
    EXPECT_EQ(second, first) << "the page was not kept";
    EXPECT_TRUE(std::all_of(second, second + page, [](char c) { return c == 0; }));
    free_secret_pages(second, page);
}

}  // namespace
}  // namespace tavrin
