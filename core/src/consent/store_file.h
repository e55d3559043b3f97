#pragma once
// The consent file's format: reading under the strict rules and writing the
// pretty-printed document.
//
//   {
//     "origins": {
//       "https://example.org": {
//         "purposes": [
//           "sign"
//         ],
//         "grantedAtUnix": 1700000000
//       }
//     }
//   }
//
// Reading: "origins", "purposes" and "grantedAtUnix" are required; other keys
// are skipped; a duplicate key, a purpose other than "sign" or "auth", a
// "grantedAtUnix" that is not an integer in 0..2^64-1, or any other type
// mismatch makes the file malformed. Repeated purposes collapse.
// Writing: two-space indentation, "purposes" before "grantedAtUnix", no
// byte-order mark and no newline after the final brace.

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "common/result.h"
#include "protocol/enums.h"

namespace tavrin {

// A set of certificate purposes.
class PurposeSet {
  public:
    void insert(CertPurpose p) { bits_ |= bit(p); }
    bool contains(CertPurpose p) const { return (bits_ & bit(p)) != 0; }
    bool empty() const { return bits_ == 0; }
    friend bool operator==(PurposeSet, PurposeSet) = default;

  private:
    static std::uint8_t bit(CertPurpose p) {
        return static_cast<std::uint8_t>(1u << static_cast<unsigned>(p));
    }
    std::uint8_t bits_ = 0;
};

struct OriginGrant {
    PurposeSet purposes;
    std::uint64_t granted_at_unix = 0;
    friend bool operator==(const OriginGrant&, const OriginGrant&) = default;
};

// Origin (byte-exact) to its grant.
using GrantMap = std::map<std::string, OriginGrant, std::less<>>;

// The grants of a consent file's text, or the reader's description of what
// is wrong (naming the key, and line and column for syntax errors).
Result<GrantMap, std::string> parse_store_file(std::string_view text);

std::string write_store_file(const GrantMap& grants);

}  // namespace tavrin
