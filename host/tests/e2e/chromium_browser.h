#pragma once
// Debian's Chromium, headless, with its default profile folder in the test's
// home (~/.config/chromium). Pages are opened and read over the
// remote-debugging HTTP endpoint.

#include <filesystem>
#include <map>
#include <memory>

#include "e2e/browser.h"
#include "e2e/browser_process.h"

namespace tavrin::host::testing {

class ChromiumBrowser final : public Browser {
  public:
    static constexpr const char* executable = "/usr/bin/chromium";

    // Throws std::runtime_error when the browser does not come up.
    ChromiumBrowser(const std::filesystem::path& extension, const std::filesystem::path& home,
                    const std::map<std::string, std::string>& environment,
                    const std::filesystem::path& log);

    FlowOutcome runFlow(const std::string& query, std::chrono::seconds limit) override;

  private:
    std::string get(const std::string& target);

    std::unique_ptr<BrowserProcess> process_;
    int port_ = 0;
};

}  // namespace tavrin::host::testing
