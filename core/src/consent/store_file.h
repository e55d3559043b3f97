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
// are skipped; a duplicate key, a "grantedAtUnix" that is not an integer in
// 0..2^64-1, or any other type mismatch makes the file malformed. The core
// reads purposes as a set: a name other than "sign" or "auth" makes the file
// malformed and repeated names collapse. The management window reads them
// as stored: any name, order and repeats kept, and writes them back so.
// Writing: two-space indentation, "purposes" before "grantedAtUnix", no
// byte-order mark and no newline after the final brace.
//
// This is the one reader and writer of the file: the management window
// lists and revokes through the core's C interface (consent/grant_records.h).

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

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

// One origin's grant: its purposes, as a set (the core) or as the names the
// file holds (the window), and the time of the latest grant.
template <class Purposes>
struct BasicOriginGrant {
    Purposes purposes;
    std::uint64_t granted_at_unix = 0;
    friend bool operator==(const BasicOriginGrant&, const BasicOriginGrant&) = default;
};
using OriginGrant = BasicOriginGrant<PurposeSet>;
using StoredOriginGrant = BasicOriginGrant<std::vector<std::string>>;

// Origin (byte-exact) to its grant.
using GrantMap = std::map<std::string, OriginGrant, std::less<>>;
using StoredGrantMap = std::map<std::string, StoredOriginGrant, std::less<>>;

// The grants of a consent file's text, or the reader's description of what
// is wrong (naming the key, and line and column for syntax errors).
Result<GrantMap, std::string> parse_store_file(std::string_view text);
Result<StoredGrantMap, std::string> parse_store_file_as_stored(std::string_view text);

std::string write_store_file(const GrantMap& grants);
std::string write_store_file(const StoredGrantMap& grants);

}  // namespace tavrin
