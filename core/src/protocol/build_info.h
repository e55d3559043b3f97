#pragma once
// The version constants and the stamp of the build.

#include <string_view>

#include "protocol/enums.h"

namespace tavrin {

inline constexpr std::string_view kBridgeVersion = "0.1.0";
inline constexpr std::string_view kProtocolVersion = "1.0";

struct BuildInfo {
    std::string_view git_sha;  // 12 lower-case hexadecimal digits
    std::string_view date;     // YYYY-MM-DD

    static BuildInfo current();
};

// The platform this build was made for.
Platform build_platform();

}  // namespace tavrin
