#include "backend/x509/der_canonical.h"

#include <algorithm>
#include <cstdio>

namespace tavrin {
namespace {

constexpr std::uint8_t kClassMask = 0xC0;
constexpr std::uint8_t kUniversal = 0x00;
constexpr std::uint8_t kConstructed = 0x20;

constexpr std::uint32_t kBoolean = 1;
constexpr std::uint32_t kInteger = 2;
constexpr std::uint32_t kBitString = 3;
constexpr std::uint32_t kNull = 5;
constexpr std::uint32_t kObjectIdentifier = 6;
constexpr std::uint32_t kExternal = 8;
constexpr std::uint32_t kEnumerated = 10;
constexpr std::uint32_t kEmbeddedPdv = 11;
constexpr std::uint32_t kSequence = 16;
constexpr std::uint32_t kSet = 17;

// Far beyond any certificate; bounds the recursion on hostile input.
constexpr int kMaxDepth = 64;

std::string at(std::string what, std::size_t offset) {
    return what + " at offset " + std::to_string(offset);
}

std::string hex_byte(std::uint8_t value) {
    char text[5];
    std::snprintf(text, sizeof text, "0x%02X", value);
    return text;
}

// Universal types whose DER encoding is constructed; all others are primitive.
bool universal_constructed(std::uint32_t number) {
    return number == kSequence || number == kSet || number == kExternal || number == kEmbeddedPdv;
}

// X.690 orders SET OF elements as octet strings, the shorter padded with
// zeros; two complete TLVs never are a prefix of each other, so the shorter
// one sorts first when the common part is equal.
bool encoding_less(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end());
}

class Walker {
  public:
    explicit Walker(std::span<const std::uint8_t> der) : der_(der) {}

    // Checks the value at `offset`; on success its total length.
    Result<std::size_t, std::string> value(std::size_t offset, std::size_t end, int depth) {
        auto header = read_der_header(der_.first(end), offset);
        if (!header) return fail(std::move(header).error());
        const DerHeader& h = header.value();
        const std::size_t content = offset + h.header_length;
        const bool universal = (h.first_octet & kClassMask) == kUniversal;
        const bool constructed = (h.first_octet & kConstructed) != 0;

        if (universal && h.tag_number == 0) return fail(at("end-of-contents octets", offset));
        if (universal && constructed != universal_constructed(h.tag_number)) {
            return fail(at(std::string(constructed ? "constructed" : "primitive") +
                               " encoding of universal type " + std::to_string(h.tag_number),
                           offset) +
                        " is not DER");
        }
        if (constructed) {
            if (depth >= kMaxDepth) return fail(at("nesting too deep", offset));
            auto children = contents(content, content + h.content_length, depth + 1,
                                     universal && h.tag_number == kSet, offset);
            if (!children) return fail(std::move(children).error());
        } else if (universal) {
            auto primitive =
                check_primitive(h.tag_number, offset, der_.subspan(content, h.content_length));
            if (!primitive) return fail(std::move(primitive).error());
        }
        return h.header_length + h.content_length;
    }

  private:
    Result<Unit, std::string> contents(std::size_t begin, std::size_t end, int depth, bool is_set,
                                       std::size_t set_offset) {
        std::span<const std::uint8_t> previous;
        for (std::size_t pos = begin; pos < end;) {
            auto length = value(pos, end, depth);
            if (!length) return fail(std::move(length).error());
            const auto current = der_.subspan(pos, length.value());
            if (is_set && !previous.empty() && encoding_less(current, previous)) {
                return fail(at("SET elements out of DER order", set_offset));
            }
            previous = current;
            pos += length.value();
        }
        return Unit{};
    }

    static Result<Unit, std::string> check_primitive(std::uint32_t number, std::size_t offset,
                                                     std::span<const std::uint8_t> c) {
        switch (number) {
            case kBoolean:
                if (c.size() != 1)
                    return fail(at("BOOLEAN of length " + std::to_string(c.size()), offset));
                if (c[0] != 0x00 && c[0] != 0xFF) {
                    return fail(at("BOOLEAN value " + hex_byte(c[0]), offset) + " is not DER");
                }
                break;
            case kInteger:
            case kEnumerated:
                if (c.empty()) return fail(at("empty INTEGER", offset));
                if (c.size() > 1 &&
                    ((c[0] == 0x00 && c[1] < 0x80) || (c[0] == 0xFF && c[1] >= 0x80))) {
                    return fail(at("non-minimal INTEGER encoding", offset));
                }
                break;
            case kBitString: {
                if (c.empty()) return fail(at("BIT STRING without unused-bits octet", offset));
                const unsigned unused = c[0];
                if (unused > 7 || (c.size() == 1 && unused != 0)) {
                    return fail(at("BIT STRING with invalid unused-bits count", offset));
                }
                if (c.size() > 1 && (c.back() & ((1u << unused) - 1u)) != 0) {
                    return fail(at("BIT STRING with non-zero unused bits", offset));
                }
                break;
            }
            case kNull:
                if (!c.empty()) return fail(at("NULL with content", offset));
                break;
            case kObjectIdentifier: {
                bool starts_subidentifier = true;
                for (const std::uint8_t octet : c) {
                    if (starts_subidentifier && octet == 0x80) {
                        return fail(at("non-minimal OBJECT IDENTIFIER encoding", offset));
                    }
                    starts_subidentifier = (octet & 0x80) == 0;
                }
                if (c.empty() || !starts_subidentifier) {
                    return fail(at("malformed OBJECT IDENTIFIER", offset));
                }
                break;
            }
            default:
                break;
        }
        return Unit{};
    }

    std::span<const std::uint8_t> der_;
};

}  // namespace

Result<DerHeader, std::string> read_der_header(std::span<const std::uint8_t> der,
                                               std::size_t offset) {
    std::size_t pos = offset;
    if (pos >= der.size()) return fail(at("missing identifier octet", offset));
    DerHeader header{der[pos], 0, 0, 0};
    ++pos;
    header.tag_number = header.first_octet & 0x1Fu;
    if (header.tag_number == 0x1F) {
        // High-tag-number form: base-128 digits, most significant first.
        std::uint32_t number = 0;
        for (int digits = 0;; ++digits) {
            if (pos >= der.size()) return fail(at("truncated identifier octets", offset));
            const std::uint8_t octet = der[pos++];
            if (digits == 0 && octet == 0x80) return fail(at("non-minimal tag encoding", offset));
            if (digits == 4) return fail(at("tag number too large", offset));
            number = (number << 7) | (octet & 0x7Fu);
            if ((octet & 0x80) == 0) break;
        }
        if (number < 0x1F) return fail(at("non-minimal tag encoding", offset));
        header.tag_number = number;
    }

    const std::size_t length_offset = pos;
    if (pos >= der.size()) return fail(at("missing length octets", length_offset));
    const std::uint8_t first = der[pos++];
    if (first == 0x80) return fail(at("indefinite length", length_offset));
    if (first < 0x80) {
        header.content_length = first;
    } else {
        const std::size_t count = first & 0x7Fu;
        if (count > sizeof(std::size_t) || count > der.size() - pos) {
            return fail(at("length octets exceed the input", length_offset));
        }
        std::size_t length = 0;
        for (std::size_t i = 0; i < count; ++i)
            length = (length << 8) | der[pos++];
        if (der[length_offset + 1] == 0 || length < 0x80) {
            return fail(at("non-minimal length encoding", length_offset));
        }
        header.content_length = length;
    }
    header.header_length = pos - offset;
    if (header.content_length > der.size() - pos) {
        return fail(at("content length exceeds the input", length_offset));
    }
    return header;
}

Result<Unit, std::string> check_canonical_der(std::span<const std::uint8_t> der) {
    Walker walker(der);
    auto length = walker.value(0, der.size(), 0);
    if (!length) return fail(std::move(length).error());
    if (length.value() != der.size()) return fail(at("trailing bytes", length.value()));
    return Unit{};
}

}  // namespace tavrin
