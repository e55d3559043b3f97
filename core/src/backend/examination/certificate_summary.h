#pragma once
// What a diagnostic report may show of a certificate: its names, validity
// and purposes. Never the certificate's body or anything of its key.

#include <cstdint>
#include <span>

#include <nlohmann/json.hpp>

namespace tavrin::examination {

// {"subject", "issuer", "notBefore", "notAfter", "expired", "purposes"}, or
// {"error"} naming why the certificate could not be read.
nlohmann::ordered_json certificate_summary(std::span<const std::uint8_t> der);

// How many of the summaries name each purpose: {"signing": n, "authentication": m}.
nlohmann::ordered_json purpose_counts(const nlohmann::ordered_json& summaries);

}  // namespace tavrin::examination
