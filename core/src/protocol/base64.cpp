#include "protocol/base64.h"

#include <array>

#include <openssl/evp.h>

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
    std::string out(4 * ((data.size() + 2) / 3), '\0');
    if (data.empty()) return out;
    const int written = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()), data.data(),
                                        static_cast<int>(data.size()));
    out.resize(static_cast<std::size_t>(written));
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

    Bytes out(text.size() / 4 * 3);
    const int decoded =
        EVP_DecodeBlock(out.data(), reinterpret_cast<const unsigned char*>(text.data()),
                        static_cast<int>(text.size()));
    if (decoded < 0) return std::string("invalid base64");  // unreachable after the checks above
    // EVP_DecodeBlock counts the padding as zero bytes.
    out.resize(static_cast<std::size_t>(decoded) - padding);
    return out;
}

}  // namespace tavrin
