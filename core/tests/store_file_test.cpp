#include "consent/store_file.h"

#include <cstdint>
#include <initializer_list>
#include <limits>
#include <string>

#include <gtest/gtest.h>

namespace tavrin {
namespace {

PurposeSet purposes(std::initializer_list<CertPurpose> list) {
    PurposeSet set;
    for (const CertPurpose p : list)
        set.insert(p);
    return set;
}

constexpr auto kSign = CertPurpose::Sign;
constexpr auto kAuth = CertPurpose::Auth;

TEST(WriteStoreFile, WritesThePrettyLayoutWithoutTrailingNewline) {
    EXPECT_EQ(write_store_file({}), "{\n  \"origins\": {}\n}");
    // Purposes in a fixed order, origins in the map's.
    const GrantMap grants = {{"https://b.example", {purposes({kAuth, kSign}), 1700000000}},
                             {"https://a.example", {purposes({}), 0}}};
    EXPECT_EQ(write_store_file(grants),
              "{\n"
              "  \"origins\": {\n"
              "    \"https://a.example\": {\n"
              "      \"purposes\": [],\n"
              "      \"grantedAtUnix\": 0\n"
              "    },\n"
              "    \"https://b.example\": {\n"
              "      \"purposes\": [\n"
              "        \"sign\",\n"
              "        \"auth\"\n"
              "      ],\n"
              "      \"grantedAtUnix\": 1700000000\n"
              "    }\n"
              "  }\n"
              "}");
}

// That what was read is written so that it reads back the same is the
// consent file's fuzz target, over the seeds it replays in every run.
TEST(ParseStoreFile, AcceptsAnyValidLayout) {
    const struct {
        const char* text;
        GrantMap expected;
    } cases[] = {
        {R"({"origins": {"o": {"grantedAtUnix": 9, "purposes": ["auth", "sign", "auth"]}}})",
         {{"o", {purposes({kSign, kAuth}), 9}}}},
        {R"({"origins": {"q\" b\\ t\t n\n": {"purposes": ["sign"], "grantedAtUnix": 7},
             "": {"purposes": [], "grantedAtUnix": 0},
             "https://\u00e9.example": {"purposes": [], "grantedAtUnix": 1},
             "https://A": {"purposes": [], "grantedAtUnix": 1},
             "https://a/": {"purposes": [], "grantedAtUnix": 18446744073709551615}}})",
         {{"q\" b\\ t\t n\n", {purposes({kSign}), 7}},
          {"", {purposes({}), 0}},
          {"https://\xC3\xA9.example", {purposes({}), 1}},
          {"https://A", {purposes({}), 1}},
          {"https://a/", {purposes({}), std::numeric_limits<std::uint64_t>::max()}}}},
    };
    for (const auto& c : cases) {
        auto parsed = parse_store_file(c.text);
        ASSERT_TRUE(parsed.ok()) << parsed.error();
        EXPECT_EQ(parsed.value(), c.expected) << c.text;
    }
}

// Anything else the reader refuses, naming the problem: a last-wins reading of
// a duplicate origin could bring a revoked grant back.
TEST(ParseStoreFile, RefusesWhatIsNotAGrantTable) {
    const auto grant = [](const std::string& body) {
        return R"({"origins": {"https://a": {)" + body + "}}}";
    };
    const struct {
        std::string text;
        std::string error_part;
    } cases[] = {
        {"[]", "the consent file must be an object, found array"},
        {R"({"Origins": {}})", R"(missing key "origins")"},
        {R"({"origins": []})", R"(key "origins" must be an object, found array)"},
        {"{\"origins\": {\"o\": {\"purposes\": [], \"grantedAtUnix\": 1},\n"
         "\"o\": {\"purposes\": [], \"grantedAtUnix\": 1}}}",
         R"(duplicate key "o" at line 2)"},
        {R"({"origins": {"https://a": true}})",
         R"(origin "https://a" must be an object, found boolean)"},
        {grant(R"("grantedAtUnix": 1)"), R"(missing key "purposes" in origin "https://a")"},
        {grant(R"("purposes": [])"), R"(missing key "grantedAtUnix" in origin "https://a")"},
        {grant(R"("purposes": "sign", "grantedAtUnix": 1)"),
         R"(key "purposes" of origin "https://a" must be an array, found string)"},
        {grant(R"("purposes": ["any"], "grantedAtUnix": 1)"),
         R"(unknown variant "any" for entry 0 of key "purposes" of origin "https://a")"},
        {grant(R"("purposes": ["sign", "Sign"], "grantedAtUnix": 1)"),
         R"(unknown variant "Sign" for entry 1)"},
        {grant(R"("purposes": [1], "grantedAtUnix": 1)"),
         R"(entry 0 of key "purposes" of origin "https://a" must be a string, found number)"},
        {grant(R"("purposes": [], "grantedAtUnix": -1)"),
         R"(key "grantedAtUnix" of origin "https://a" must be an unsigned integer, found -1)"},
        {grant(R"("purposes": [], "grantedAtUnix": 1.0)"),
         "must be an unsigned integer, found 1.0"},
        {grant(R"("purposes": [], "grantedAtUnix": 18446744073709551616)"),
         "must be an unsigned integer, found 1.8446744073709552e+19"},
        {grant(R"("purposes": [], "grantedAtUnix": "1")"),
         "must be an unsigned integer, found string"},
    };
    for (const auto& c : cases) {
        const auto parsed = parse_store_file(c.text);
        ASSERT_FALSE(parsed.ok()) << c.text;
        EXPECT_NE(parsed.error().find(c.error_part), std::string::npos) << parsed.error();
    }
}

}  // namespace
}  // namespace tavrin
