#include <gtest/gtest.h>

#include <string>

#include "protocol/strict_json.h"

namespace tavrin {
namespace {

using namespace std::string_literals;

// Each refusal names what is wrong and where; "<parsed>" for accepted text.
// The request and consent-file readers go through this parser (their
// duplicate-key rows show it).
TEST(StrictJson, RefusalsNameTheProblemAndItsPosition) {
    const std::string nested = std::string(kMaxJsonDepth, '[') + std::string(kMaxJsonDepth, ']');
    const std::string deep = std::string(100000, '[') + std::string(100000, ']');
    const std::string nul_after = "after the value; only white space may follow it";
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
        // Ill-formed UTF-8 anywhere: overlong, a surrogate, beyond U+10FFFF, truncated.
        {"\"\xC0\x80\"", "invalid UTF-8 at line 1, column 2 (byte offset 1)"},
        {"\"\xED\xA0\x80\"", "invalid UTF-8 at line 1, column 2 (byte offset 1)"},
        {"\"\xF4\x90\x80\x80\"", "invalid UTF-8 at line 1, column 2 (byte offset 1)"},
        {"{\n\"a\":\"\xE2\x82\"}", "invalid UTF-8 at line 2, column 6 (byte offset 7)"},
        {"\xFF", "invalid UTF-8 at line 1, column 1 (byte offset 0)"},
        {"\"\xC5\xA1\xE2\x82\xAC\xF0\x9F\x94\x91\"", "<parsed>"},  // 2, 3 and 4 byte sequences
        // A NUL byte is neither the end nor part of the text.
        {R"({"id":"a","method":"status"})"s + '\0' + "garbage",
         "NUL byte at line 1, column 29 " + nul_after},
        {"{}\n\0"s, "NUL byte at line 2, column 1 " + nul_after},
        {R"({"id":)"s + '\0' + R"("a"})", "NUL byte at line 1, column 7 inside the JSON text"},
        {R"({"id":"a)"s + '\0' + R"("})", "NUL byte at line 1, column 9 inside the JSON text"},
    };
    for (const auto& c : cases) {
        const auto parsed = parse_strict_json(c.text);
        const std::string error = parsed ? std::string("<parsed>") : parsed.error();
        EXPECT_NE(error.find(c.error_part), std::string::npos)
            << c.text.substr(0, 40) << ": " << error;
        if (c.error_part == "<parsed>") {
            EXPECT_EQ(error, "<parsed>");
        }
    }
}

}  // namespace
}  // namespace tavrin
