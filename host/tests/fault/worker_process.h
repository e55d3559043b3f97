#pragma once
// How the fault tests start a consent_worker: `consent_worker CONSENT_PATH
// args...` with our environment (the sanitizer settings reach it) but HOME
// replaced; `home` must hold no identity database.

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/child_process.h"

namespace tavrin::host::testing {

inline tavrin::testing::ChildSpec consentWorker(const std::filesystem::path& consentPath,
                                                const std::filesystem::path& home,
                                                const std::vector<std::string>& args,
                                                tavrin::testing::Stream out) {
    tavrin::testing::ChildSpec spec{.argv = {TAVRIN_CONSENT_WORKER, consentPath.string()},
                                    .env = {{"HOME", home.string()}}};
    spec.argv.insert(spec.argv.end(), args.begin(), args.end());
    spec.out = out;
    return spec;
}

}  // namespace tavrin::host::testing
