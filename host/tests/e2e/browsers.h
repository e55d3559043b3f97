#pragma once
// The real browsers with the test extension loaded, as the end-to-end tests
// drive them: open the extension's page with a query that names a flow, and
// wait for the outcome the page publishes.

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/signature_check.h"

namespace tavrin::host::testing {

struct FlowOutcome {
    std::string json;           // what the page published, "" when nothing came in time
    bool browserAlive = false;  // the browser still ran (and answered) after the flow
};

class Browser {
  public:
    virtual ~Browser() = default;
    // `query` is the page's query string without "?", already percent-encoded.
    virtual FlowOutcome runFlow(const std::string& query, std::chrono::seconds limit) = 0;
};

// How a browser runs for a test: the isolated environment plus
// `environment`, its own process group (so that its helpers go with it), its
// output in `log`, ended with the whole group when its Child goes away (after
// up to ten seconds on request) or when the test process dies.
inline tavrin::testing::ChildSpec browserSpec(const std::vector<std::string>& argv,
                                              const std::map<std::string, std::string>& environment,
                                              const std::filesystem::path& log) {
    using tavrin::testing::Stream;
    return tavrin::testing::ChildSpec{.argv = argv,
                                      .base = tavrin::testing::Environment::isolated,
                                      .env = environment,
                                      .in = Stream::null,
                                      .out = Stream::log,
                                      .err = Stream::log,
                                      .log = log,
                                      .ownGroup = true,
                                      .dieWithUs = true,
                                      .grace = std::chrono::seconds(10)};
}

// The outcome in what the extension's page publishes ("done:" and the
// outcome in Base64, as its title and, in Firefox, as a line of standard
// output), or "" when `text` is not that.
inline std::string published(const std::string& text) {
    if (text.rfind("done:", 0) != 0) return {};
    const auto outcome = tavrin::testing::from_base64(text.substr(5));
    return {outcome.begin(), outcome.end()};
}

// The body of the reply to `method target` from a server on 127.0.0.1
// (local_http.cpp); throws std::runtime_error when it is not 200.
std::string httpRequest(int port, const std::string& method, const std::string& target);
// `text` with every byte outside A-Z a-z 0-9 - _ . ~ written as %XX.
std::string percentEncoded(const std::string& text);

// Debian's Chromium, headless, with its default profile folder in the test's
// home (~/.config/chromium). Pages are opened and read over the
// remote-debugging HTTP endpoint.
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

    std::unique_ptr<tavrin::testing::Child> process_;
    int port_ = 0;
};

// Debian's Firefox ESR, headless, with a profile that holds the test add-on
// unsigned (ESR honours xpinstall.signatures.required) under a fixed internal
// UUID, so that its page has a known address. Native-messaging manifests come
// from ~/.mozilla/native-messaging-hosts of the test's home. Each flow is one
// browser run; the page prints its outcome on standard output (dump).
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
