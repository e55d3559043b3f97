#pragma once
// The fixture token "main" in a test's home, reached through the forwarding
// test module over a copy of SoftHSM2 of its own (the system's SoftHSM2,
// which p11-kit loads too, then sees no test token). Needs the including
// test to define TAVRIN_SOFTHSM_TOKENS and TAVRIN_SOFTHSM_MODULE.

#include <filesystem>
#include <map>
#include <string>

#include "tests/support/temp_dir.h"

namespace tavrin::host::testing {

// Copies the token into `home` and returns the variables that point the
// forwarding module at it.
inline std::map<std::string, std::string> forwardedTokenIn(const std::filesystem::path& home) {
    namespace fs = std::filesystem;
    const fs::path tokens = home / "tokens";
    fs::create_directories(tokens);
    fs::copy(fs::path(TAVRIN_SOFTHSM_TOKENS) / "main", tokens, fs::copy_options::recursive);
    tavrin::testing::write_file(home / "softhsm2.conf",
                                "directories.tokendir = " + tokens.string() +
                                    "\nobjectstore.backend = file\nlog.level = ERROR\n");
    fs::copy_file(TAVRIN_SOFTHSM_MODULE, home / "libsofthsm2-copy.so");
    return {{"TAVRIN_FORWARD_MODULE", (home / "libsofthsm2-copy.so").string()},
            {"TAVRIN_FORWARD_SOFTHSM2_CONF", (home / "softhsm2.conf").string()}};
}

}  // namespace tavrin::host::testing
