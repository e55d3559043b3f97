#pragma once
// One origin's grant as the management window lists it. Header-only: the
// user-interface module receives these records and links nothing of the host.

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

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

// JSON object with the keys "origin", "purposes" and "grantedAtUnix".
inline void to_json(nlohmann::json& json, const ConsentGrant& grant) {
    json = nlohmann::json{{"origin", grant.origin},
                          {"purposes", grant.purposes},
                          {"grantedAtUnix", grant.grantedAtUnix}};
}

inline void from_json(const nlohmann::json& json, ConsentGrant& grant) {
    json.at("origin").get_to(grant.origin);
    json.at("purposes").get_to(grant.purposes);
    json.at("grantedAtUnix").get_to(grant.grantedAtUnix);
}

}  // namespace tavrin::host
