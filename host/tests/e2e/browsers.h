#pragma once
// The real browsers with the test extension loaded, as the end-to-end tests
// and the benchmarks drive them: a fresh headless browser opens the
// extension's page with a query that names a flow and runs until the page
// publishes its outcome (JSON), which is returned ("" after two minutes
// without). The browser runs in the isolated environment plus `environment`,
// in a process group of its own (its helpers go with it), its output in
// `log`; it ends with the call, or when the test process dies.

#include <filesystem>
#include <map>
#include <string>

namespace tavrin::host::testing {

inline constexpr const char* kChromium = "/usr/bin/chromium";
inline constexpr const char* kFirefox = "/usr/bin/firefox-esr";

// `query` is the page's query string without "?", already percent-encoded.
struct Flow {
    std::filesystem::path home;
    std::map<std::string, std::string> environment;
    std::filesystem::path log;
    std::string query;
};

// Debian's Chromium with its default profile folder in the home
// (~/.config/chromium) and the unpacked `extension`; the page is opened and
// read over the remote-debugging HTTP endpoint. Throws std::runtime_error
// when the browser does not come up.
std::string runInChromium(const std::filesystem::path& extension, const Flow& flow);

// Debian's Firefox ESR with a profile in the home that holds the packed
// add-on `addon` (.xpi) unsigned (ESR honours xpinstall.signatures.required)
// under a fixed internal UUID, so that its page has a known address.
// Native-messaging manifests come from ~/.mozilla/native-messaging-hosts of
// the home; the page prints its outcome on standard output (dump).
std::string runInFirefox(const std::filesystem::path& addon, const Flow& flow);

// `text` with every byte outside A-Z a-z 0-9 - _ . ~ written as %XX.
std::string percentEncoded(const std::string& text);

}  // namespace tavrin::host::testing
