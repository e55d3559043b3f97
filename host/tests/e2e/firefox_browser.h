#pragma once
// Debian's Firefox ESR, headless, with a profile that holds the test add-on
// unsigned (ESR honours xpinstall.signatures.required) under a fixed internal
// UUID, so that its page has a known address. Native-messaging manifests come
// from ~/.mozilla/native-messaging-hosts of the test's home. Each flow is one
// browser run; the page prints its outcome on standard output (dump).

#include <filesystem>
#include <map>

#include "e2e/browser.h"

namespace tavrin::host::testing {

class FirefoxBrowser final : public Browser {
  public:
    static constexpr const char* executable = "/usr/bin/firefox-esr";

    // `addon` is the packed add-on (.xpi). Throws std::runtime_error when the
    // profile cannot be made.
    FirefoxBrowser(const std::filesystem::path& addon, const std::filesystem::path& home,
                   std::map<std::string, std::string> environment, std::filesystem::path logFolder);

    FlowOutcome runFlow(const std::string& query, std::chrono::seconds limit) override;

  private:
    std::filesystem::path profile_;
    std::map<std::string, std::string> environment_;
    std::filesystem::path logFolder_;
    int runs_ = 0;
};

}  // namespace tavrin::host::testing
