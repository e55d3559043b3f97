#pragma once
// SoftHSM2 tokens made by fixtures/make_softhsm_token.sh before the tests run
// (see CMakeLists.txt), copied into a token directory of the test's own:
// a login rewrites a token's files, so tests never share one.

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace tavrin::testing {

// The user PIN of every fixture token.
inline constexpr const char* kTokenPin = "1234";

// Copies of the fixture tokens with the labels given. While the object lives,
// SOFTHSM2_CONF names a configuration for them (read when SoftHSM2 starts)
// and the forwarding module logs its logins into the copy; when it goes, so
// do these and every other TAVRIN_FORWARD_* setting.
class SoftHsmTokens {
  public:
    explicit SoftHsmTokens(std::initializer_list<std::string> labels) {
        const std::filesystem::path tokens = dir_.path() / "tokens";
        for (const auto& label : labels) {
            std::filesystem::copy(std::filesystem::path(TAVRIN_SOFTHSM_TOKENS) / label, tokens,
                                  std::filesystem::copy_options::recursive);
        }
        write_file(dir_.file("softhsm2.conf"),
                   "directories.tokendir = " + tokens.string() +
                       "\nobjectstore.backend = file\nlog.level = ERROR\n");
        setenv("SOFTHSM2_CONF", dir_.file("softhsm2.conf").c_str(), 1);
        setenv("TAVRIN_FORWARD_LOG", dir_.file("logins").c_str(), 1);
    }
    ~SoftHsmTokens() {
        unsetenv("SOFTHSM2_CONF");
        for (const char* name : {"LOG", "FAKE", "FAIL", "SIGNATURE_LENGTH", "PAD_PIN",
                                 "PAD_DELAY_MS", "CARD_AFTER_MS", "CARD_FILE", "CALLS"})
            unsetenv(("TAVRIN_FORWARD_" + std::string(name)).c_str());
    }
    SoftHsmTokens(const SoftHsmTokens&) = delete;
    SoftHsmTokens& operator=(const SoftHsmTokens&) = delete;

    // The logins the forwarding module saw: "user <rv>", "context <rv>" or
    // "pad <rv>", rv in hexadecimal.
    std::vector<std::string> logins() const {
        std::vector<std::string> lines;
        std::ifstream in(dir_.file("logins"));
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }

  private:
    TempDir dir_;
};

// The DER of a certificate on the token "chain" (root, intermediate,
// qualified, unqualified).
inline std::vector<std::uint8_t> token_der(const std::string& name) {
    const std::string text =
        read_file(std::string(TAVRIN_SOFTHSM_TOKENS) + "/chain-certs/" + name + ".der");
    return {text.begin(), text.end()};
}

}  // namespace tavrin::testing
