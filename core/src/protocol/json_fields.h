#pragma once
// Typed access to the members of a parsed JSON object, with error texts that
// name the key and what was found instead.

#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "common/result.h"
#include "protocol/enums.h"
#include "protocol/reply_limits.h"

namespace tavrin::json_fields {

using nlohmann::json;

inline std::string missing(std::string_view key) {
    return "missing key \"" + std::string(key) + "\"";
}

inline std::string wrong_type(std::string_view what, std::string_view expected, const json& found) {
    return std::string(what) + " must be " + std::string(expected) + ", found " + found.type_name();
}

inline std::string key_name(std::string_view key) {
    return "key \"" + std::string(key) + "\"";
}

// Null when `key` is absent.
inline const json* find(const json& object, std::string_view key) {
    const auto it = object.find(key);
    return it == object.end() ? nullptr : &*it;
}

inline Result<std::string, std::string> required_string(const json& object, std::string_view key) {
    const json* value = find(object, key);
    if (value == nullptr) return fail(missing(key));
    if (!value->is_string()) return fail(wrong_type(key_name(key), "a string", *value));
    return value->get<std::string>();
}

template <class E>
Result<E, std::string> enum_value(const json& value, std::string_view what) {
    if (!value.is_string()) return wrong_type(what, "a string", value);
    const auto& text = value.get_ref<const std::string&>();
    if (const auto parsed = from_wire<E>(text)) return *parsed;
    return "unknown variant \"" + echoed(text) + "\" for " + std::string(what) +
           ", expected one of " + accepted_spellings<E>();
}

template <class E>
Result<E, std::string> required_enum(const json& object, std::string_view key) {
    const json* value = find(object, key);
    if (value == nullptr) return missing(key);
    return enum_value<E>(*value, key_name(key));
}

}  // namespace tavrin::json_fields
