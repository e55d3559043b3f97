#pragma once
// Limits and mappings of the requests the dispatcher serves.

#include <array>
#include <cstddef>
#include <span>

#include "protocol/enums.h"

namespace tavrin {

// The largest number of hashes one "sign" request may carry.
inline constexpr std::size_t kMaxHashesPerSign = 50;

// The certificate purposes a listing's "purpose" asks for:
// sign -> [sign], auth -> [auth], any -> [sign, auth].
inline std::span<const CertPurpose> purposes_for(Purpose purpose) {
    static constexpr std::array<CertPurpose, 2> kBoth{CertPurpose::Sign, CertPurpose::Auth};
    switch (purpose) {
        case Purpose::Sign:
            return std::span(kBoth).first(1);
        case Purpose::Auth:
            return std::span(kBoth).last(1);
        case Purpose::Any:
            return kBoth;
    }
    return kBoth;
}

}  // namespace tavrin
