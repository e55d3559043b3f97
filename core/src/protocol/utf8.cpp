#include "protocol/utf8.h"

namespace tavrin {

std::optional<std::size_t> first_invalid_utf8(std::string_view text) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char b = bytes[i];
        if (b < 0x80) {
            ++i;
            continue;
        }
        std::size_t length;
        unsigned char lo = 0x80;  // allowed range of the second byte
        unsigned char hi = 0xBF;
        if (b >= 0xC2 && b <= 0xDF) {
            length = 2;
        } else if (b >= 0xE0 && b <= 0xEF) {
            length = 3;
            if (b == 0xE0) lo = 0xA0;  // overlong
            if (b == 0xED) hi = 0x9F;  // surrogates
        } else if (b >= 0xF0 && b <= 0xF4) {
            length = 4;
            if (b == 0xF0) lo = 0x90;  // overlong
            if (b == 0xF4) hi = 0x8F;  // above U+10FFFF
        } else {
            return i;
        }
        if (n - i < length) return i;
        if (bytes[i + 1] < lo || bytes[i + 1] > hi) return i;
        for (std::size_t k = 2; k < length; ++k) {
            if ((bytes[i + k] & 0xC0) != 0x80) return i;
        }
        i += length;
    }
    return std::nullopt;
}

std::string utf8_lossy(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        const auto bad = first_invalid_utf8(text);
        const std::size_t good = bad.value_or(text.size());
        out.append(text.substr(0, good));
        if (!bad) break;
        out.append("\xEF\xBF\xBD");
        text.remove_prefix(good + 1);
    }
    return out;
}

std::string describe_position(std::string_view text, std::size_t offset) {
    if (offset > text.size()) offset = text.size();
    std::size_t line = 1;
    std::size_t line_start = 0;
    for (std::size_t i = 0; i < offset; ++i) {
        if (text[i] == '\n') {
            ++line;
            line_start = i + 1;
        }
    }
    return "line " + std::to_string(line) + ", column " + std::to_string(offset - line_start + 1);
}

}  // namespace tavrin
