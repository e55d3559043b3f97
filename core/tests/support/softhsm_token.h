#pragma once
// SoftHSM2 tokens made by fixtures/make_softhsm_token.sh before the tests run
// (see CMakeLists.txt), copied into a token directory of the test's own:
// a login rewrites a token's files, so tests never share one.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace tavrin::testing {

// The user PIN of every fixture token.
inline constexpr const char* kTokenPin = "1234";

class SoftHsmTokens {
  public:
    // Copies the fixture tokens with these labels (main, orphan, twelve,
    // chain), points SOFTHSM2_CONF at a configuration for them (SoftHSM2
    // reads it when it is initialised) and the forwarding module's login log
    // into the copy. When the object goes away, so do these and every other
    // TAVRIN_FORWARD_* setting.
    explicit SoftHsmTokens(std::initializer_list<std::string> labels);
    ~SoftHsmTokens();
    SoftHsmTokens(const SoftHsmTokens&) = delete;
    SoftHsmTokens& operator=(const SoftHsmTokens&) = delete;

    // The logins the forwarding module saw: "user <rv>", "context <rv>" or
    // "pad <rv>", rv in hexadecimal.
    std::vector<std::string> logins() const;

  private:
    TempDir dir_;
};

// The DER of a certificate on the token "chain" (root, intermediate,
// qualified, unqualified).
std::vector<std::uint8_t> token_der(const std::string& name);

}  // namespace tavrin::testing
