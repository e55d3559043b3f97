#include "consent/store_file.h"

#include <cstddef>
#include <utility>

#include <nlohmann/json.hpp>

#include "protocol/json_fields.h"
#include "protocol/strict_json.h"

namespace tavrin {
namespace {

using namespace json_fields;

// An origin as it appears in error texts: a JSON string, so that quotes and
// control characters in it cannot blur where the name ends.
std::string quoted(const std::string& text) {
    return json(text).dump(-1, ' ', false, json::error_handler_t::replace);
}

std::string of_origin(const std::string& origin) {
    return " of origin " + quoted(origin);
}

// What a wrong value was: numbers by their value, since "found number"
// would not tell -1 from 1.5; everything else by its type.
std::string describe(const json& value) {
    return value.is_number() ? value.dump() : std::string(value.type_name());
}

Result<std::uint64_t, std::string> unix_seconds(const json& value, const std::string& origin) {
    if (value.is_number_unsigned()) return value.get<std::uint64_t>();
    // The reader stores non-negative integers as unsigned; a signed integer
    // here is either negative or "-0".
    if (value.is_number_integer() && value.get<std::int64_t>() == 0) return std::uint64_t{0};
    // Integers beyond 2^64-1 arrive as floating-point numbers, so they end
    // up here together with fractions and exponent forms.
    return key_name("grantedAtUnix") + of_origin(origin) + " must be an unsigned integer, found " +
           describe(value);
}

Result<PurposeSet, std::string> purpose_set(const json& value, const std::string& origin) {
    const std::string what = key_name("purposes") + of_origin(origin);
    if (!value.is_array()) return wrong_type(what, "an array", value);
    PurposeSet purposes;
    for (std::size_t i = 0; i < value.size(); ++i) {
        auto purpose =
            enum_value<CertPurpose>(value[i], "entry " + std::to_string(i) + " of " + what);
        if (!purpose) return std::move(purpose).error();
        purposes.insert(purpose.value());
    }
    return purposes;
}

// Purpose names as the file holds them: strings, in order, repeats kept.
Result<std::vector<std::string>, std::string> purpose_names(const json& value,
                                                            const std::string& origin) {
    const std::string what = key_name("purposes") + of_origin(origin);
    if (!value.is_array()) return wrong_type(what, "an array", value);
    std::vector<std::string> names;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (!value[i].is_string())
            return wrong_type("entry " + std::to_string(i) + " of " + what, "a string", value[i]);
        names.push_back(value[i].get<std::string>());
    }
    return names;
}

template <class Purposes, class ReadPurposes>
Result<BasicOriginGrant<Purposes>, std::string> origin_grant(const json& value,
                                                             const std::string& origin,
                                                             ReadPurposes read_purposes) {
    if (!value.is_object()) return wrong_type("origin " + quoted(origin), "an object", value);

    const json* purposes = find(value, "purposes");
    if (purposes == nullptr) return missing("purposes") + " in origin " + quoted(origin);
    const json* granted_at = find(value, "grantedAtUnix");
    if (granted_at == nullptr) return missing("grantedAtUnix") + " in origin " + quoted(origin);

    auto read = read_purposes(*purposes, origin);
    if (!read) return std::move(read).error();
    auto seconds = unix_seconds(*granted_at, origin);
    if (!seconds) return std::move(seconds).error();
    return BasicOriginGrant<Purposes>{std::move(read).value(), seconds.value()};
}

template <class Purposes, class ReadPurposes>
Result<std::map<std::string, BasicOriginGrant<Purposes>, std::less<>>, std::string> parse_grants(
    std::string_view text, ReadPurposes read_purposes) {
    auto parsed = parse_strict_json(text);
    if (!parsed) return std::move(parsed).error();
    const json& root = parsed.value();
    if (!root.is_object()) return wrong_type("the consent file", "an object", root);

    const json* origins = find(root, "origins");
    if (origins == nullptr) return missing("origins");
    if (!origins->is_object()) return wrong_type(key_name("origins"), "an object", *origins);

    std::map<std::string, BasicOriginGrant<Purposes>, std::less<>> grants;
    for (const auto& [origin, value] : origins->items()) {
        auto grant = origin_grant<Purposes>(value, origin, read_purposes);
        if (!grant) return std::move(grant).error();
        // The parsed object iterates in key order: each insert goes last.
        grants.emplace_hint(grants.end(), origin, std::move(grant).value());
    }
    return grants;
}

void append_quoted(std::string& out, std::string_view text) {
    // Texts read from a file or a request are valid UTF-8; the replacing
    // handler only keeps a stray invalid byte from throwing.
    out += json(text).dump(-1, ' ', false, json::error_handler_t::replace);
}

// Written by hand: the library's insertion-ordered object looks every
// member up by a linear search, which made a file of 100,000 origins take
// most of a minute. This writes in one pass over the sorted map;
// `each_purpose(grant, write)` calls write(name) for each purpose in order.
template <class Grants, class EachPurpose>
std::string write_grants(const Grants& grants, EachPurpose each_purpose) {
    if (grants.empty()) return "{\n  \"origins\": {}\n}";

    std::string out = "{\n  \"origins\": {";
    bool first_origin = true;
    for (const auto& [origin, grant] : grants) {
        out += first_origin ? "\n    " : ",\n    ";
        first_origin = false;
        append_quoted(out, origin);
        out += ": {\n      \"purposes\": [";
        bool first_purpose = true;
        each_purpose(grant, [&](std::string_view name) {
            out += first_purpose ? "\n        " : ",\n        ";
            first_purpose = false;
            append_quoted(out, name);
        });
        out += first_purpose ? "],\n" : "\n      ],\n";
        out += "      \"grantedAtUnix\": " + std::to_string(grant.granted_at_unix) + "\n    }";
    }
    out += "\n  }\n}";
    return out;
}

}  // namespace

Result<GrantMap, std::string> parse_store_file(std::string_view text) {
    return parse_grants<PurposeSet>(text, purpose_set);
}

Result<StoredGrantMap, std::string> parse_store_file_as_stored(std::string_view text) {
    return parse_grants<std::vector<std::string>>(text, purpose_names);
}

std::string write_store_file(const GrantMap& grants) {
    return write_grants(grants, [](const OriginGrant& grant, auto write) {
        constexpr std::size_t kPurposeCount = WireNames<CertPurpose>::names.size();
        for (std::size_t i = 0; i < kPurposeCount; ++i) {
            const auto purpose = static_cast<CertPurpose>(i);
            if (grant.purposes.contains(purpose)) write(wire_name(purpose));
        }
    });
}

std::string write_store_file(const StoredGrantMap& grants) {
    return write_grants(grants, [](const StoredOriginGrant& grant, auto write) {
        for (const std::string& name : grant.purposes)
            write(name);
    });
}

}  // namespace tavrin
