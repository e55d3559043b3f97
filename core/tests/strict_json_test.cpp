#include <gtest/gtest.h>

#include <string>

#include "consent/store_file.h"
#include "protocol/request_reader.h"
#include "protocol/strict_json.h"

namespace tavrin {
namespace {

std::string error_of(std::string_view text) {
    const auto parsed = parse_strict_json(text);
    return parsed ? std::string("<parsed>") : parsed.error();
}

// Each refusal names what is wrong and where; "<parsed>" for accepted text.
TEST(StrictJson, RefusalsNameTheProblemAndItsPosition) {
    const std::string nested = std::string(kMaxJsonDepth, '[') + std::string(kMaxJsonDepth, ']');
    const std::string deep = std::string(100000, '[') + std::string(100000, ']');
    const struct {
        std::string text;
        std::string error_part;
    } cases[] = {
        {R"({"id":"1","id":"2"})", "duplicate key \"id\" at line 1, column 14"},
        {"{\"a\":{\n  \"k\":1,\n  \"k\":2}}", "duplicate key \"k\" at line 3, column 5"},
        {R"({"a":{"k":1},"b":{"k":2}})", "<parsed>"},  // the same key in different objects
        {"",
         "parse error at line 1, column 1: syntax error while parsing value - unexpected end "
         "of input; expected '[', '{', or a literal"},
        {"{}\n x", "line 2, column 2"},
        {"{}\n x", "expected end of input"},
        {"{} \n\t ", "<parsed>"},
        {R"("\ud800")", "surrogate"},
        {nested, "<parsed>"},
        {deep, "nesting deeper than 64 levels at line 1, column 65"},
    };
    for (const auto& c : cases) {
        const std::string error = error_of(c.text);
        EXPECT_NE(error.find(c.error_part), std::string::npos)
            << c.text.substr(0, 40) << ": " << error;
        if (c.error_part == "<parsed>") {
            EXPECT_EQ(error, "<parsed>");
        }
    }
}

TEST(StrictJson, RejectsIllFormedUtf8AnywhereInTheText) {
    const struct {
        std::string text;
        const char* error;
    } cases[] = {
        {"\"\xC0\x80\"", "invalid UTF-8 at line 1, column 2 (byte offset 1)"},      // overlong
        {"\"\xED\xA0\x80\"", "invalid UTF-8 at line 1, column 2 (byte offset 1)"},  // surrogate
        {"\"\xF4\x90\x80\x80\"",
         "invalid UTF-8 at line 1, column 2 (byte offset 1)"},  // > U+10FFFF
        {"{\n\"a\":\"\xE2\x82\"}",
         "invalid UTF-8 at line 2, column 6 (byte offset 7)"},  // truncated
        {"\xFF", "invalid UTF-8 at line 1, column 1 (byte offset 0)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(error_of(c.text), c.error);
    // Well-formed multi-byte text passes: 2, 3 and 4 byte sequences.
    EXPECT_EQ(error_of("\"\xC5\xA1\xE2\x82\xAC\xF0\x9F\x94\x91\""), "<parsed>");
}

TEST(StrictJson, NulByteIsNeitherTheEndNorPartOfTheText) {
    using namespace std::string_literals;
    const struct {
        std::string text;
        const char* error;
    } cases[] = {
        {R"({"id":"a","method":"status"})"s + '\0' + "garbage",
         "NUL byte at line 1, column 29 after the value; only white space may follow it"},
        {"{}\n\0"s, "NUL byte at line 2, column 1 after the value; only white space may follow it"},
        {R"({"id":)"s + '\0' + R"("a"})", "NUL byte at line 1, column 7 inside the JSON text"},
        {R"({"id":"a)"s + '\0' + R"("})", "NUL byte at line 1, column 9 inside the JSON text"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(error_of(c.text), c.error);
        EXPECT_FALSE(parse_request(c.text).ok());
    }
    const std::string consent = R"({"origins":{}})"s + '\0' + "x";
    const auto store = parse_store_file(consent);
    ASSERT_FALSE(store.ok());
    EXPECT_EQ(store.error(),
              "NUL byte at line 1, column 15 after the value; only white space may follow it");
}

}  // namespace
}  // namespace tavrin
