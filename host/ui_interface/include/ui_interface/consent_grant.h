#pragma once
// One origin's grant as the management window lists it.

#include <cstdint>
#include <string>
#include <vector>

namespace tavrin::host {

struct ConsentGrant {
    // The origin exactly as it is named in the consent file; a row's identity.
    std::string origin;
    // The purpose names as stored, duplicates and order kept; names other
    // than "sign" and "auth" pass through.
    std::vector<std::string> purposes;
    // Seconds since the Unix epoch of the latest grant.
    std::uint64_t grantedAtUnix = 0;

    friend bool operator==(const ConsentGrant&, const ConsentGrant&) = default;
};

}  // namespace tavrin::host
