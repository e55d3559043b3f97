#include "protocol/base64.h"

#include <array>

namespace tavrin {
namespace {

constexpr std::string_view kAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<std::int8_t, 256> make_decode_table() {
    std::array<std::int8_t, 256> table{};
    for (auto& v : table)
        v = -1;
    for (std::size_t i = 0; i < kAlphabet.size(); ++i) {
        table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<std::int8_t>(i);
    }
    return table;
}
constexpr auto kDecode = make_decode_table();

std::string describe_char(char c) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x21 && u <= 0x7E) return std::string("'") + c + "'";
    static constexpr char kHex[] = "0123456789abcdef";
    return std::string("byte 0x") + kHex[u >> 4] + kHex[u & 0xF];
}

}  // namespace

std::string base64_encode(std::span<const std::uint8_t> data) {
    std::string out;
    out.reserve(4 * ((data.size() + 2) / 3));
    std::size_t i = 0;
    for (; i + 3 <= data.size(); i += 3) {
        const std::uint32_t group = (std::uint32_t{data[i]} << 16) |
                                    (std::uint32_t{data[i + 1]} << 8) | data[i + 2];
        out += kAlphabet[group >> 18];
        out += kAlphabet[(group >> 12) & 0x3F];
        out += kAlphabet[(group >> 6) & 0x3F];
        out += kAlphabet[group & 0x3F];
    }
    if (const std::size_t rest = data.size() - i; rest > 0) {
        const std::uint32_t group =
            (std::uint32_t{data[i]} << 16) | (rest == 2 ? std::uint32_t{data[i + 1]} << 8 : 0);
        out += kAlphabet[group >> 18];
        out += kAlphabet[(group >> 12) & 0x3F];
        out += rest == 2 ? kAlphabet[(group >> 6) & 0x3F] : '=';
        out += '=';
    }
    return out;
}

Result<Bytes, std::string> base64_decode(std::string_view text) {
    if (text.size() % 4 != 0) {
        return "length " + std::to_string(text.size()) + " is not a multiple of 4";
    }
    if (text.empty()) return Bytes{};

    std::size_t padding = 0;
    if (text.back() == '=') padding = text[text.size() - 2] == '=' ? 2 : 1;
    const std::size_t data_chars = text.size() - padding;
    for (std::size_t i = 0; i < data_chars; ++i) {
        if (kDecode[static_cast<unsigned char>(text[i])] < 0) {
            if (text[i] == '=') return "padding '=' before the end at offset " + std::to_string(i);
            return "invalid character " + describe_char(text[i]) + " at offset " +
                   std::to_string(i);
        }
    }
    // A last group of "x===" cannot carry a whole byte.
    if (text[text.size() - 3] == '=') {
        return "invalid padding at offset " + std::to_string(text.size() - 3);
    }
    const auto last = kDecode[static_cast<unsigned char>(text[data_chars - 1])];
    if ((padding == 1 && (last & 0x03) != 0) || (padding == 2 && (last & 0x0F) != 0)) {
        return "non-zero trailing bits in character " + describe_char(text[data_chars - 1]) +
               " at offset " + std::to_string(data_chars - 1);
    }

    // Every character is now known valid, so the decoding itself cannot fail.
    Bytes out;
    out.reserve(data_chars * 3 / 4);
    std::uint32_t bits = 0;
    int pending = 0;
    for (std::size_t i = 0; i < data_chars; ++i) {
        bits = (bits << 6) | static_cast<std::uint32_t>(kDecode[static_cast<unsigned char>(text[i])]);
        pending += 6;
        if (pending >= 8) {
            pending -= 8;
            out.push_back(static_cast<std::uint8_t>(bits >> pending));
        }
    }
    return out;
}

}  // namespace tavrin
