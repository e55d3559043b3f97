#pragma once
// The one JSON reader for outside input (requests and the consent file).
//
// On top of the JSON grammar it enforces what the library leaves open: the
// text must be well-formed UTF-8, a key may appear only once per object, and
// nesting is bounded so that hostile input cannot exhaust the stack of code
// that later copies or walks the value. Only whitespace may follow the value.

#include <cstddef>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "common/result.h"

namespace tavrin {

// Deeper than any document this system reads or writes (at most four levels).
inline constexpr std::size_t kMaxJsonDepth = 64;

// The parsed value, or a description that names the problem and, where it
// applies, its line and column.
Result<nlohmann::json, std::string> parse_strict_json(std::string_view text);

}  // namespace tavrin
