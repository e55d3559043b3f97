#include "e2e/browsers.h"

#include <cctype>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "browser/identifiers.h"
#include "tests/support/child_process.h"
#include "tests/support/signature_check.h"
#include "tests/support/temp_dir.h"

namespace tavrin::host::testing {
namespace {

namespace fs = std::filesystem;
using tavrin::testing::Child;

Child start(const std::vector<std::string>& argv, const Flow& flow) {
    using tavrin::testing::Stream;
    return Child({.argv = argv,
                  .base = tavrin::testing::Environment::isolated,
                  .env = flow.environment,
                  .in = Stream::null,
                  .out = Stream::log,
                  .err = Stream::log,
                  .log = flow.log,
                  .ownGroup = true,
                  .dieWithUs = true,
                  .grace = std::chrono::seconds(10)});
}

constexpr auto kFlowLimit = std::chrono::minutes(2);

// The outcome in what the page publishes ("done:" and the outcome in Base64,
// as its title and, in Firefox, as a line of standard output), or "".
std::string published(const std::string& text) {
    if (text.rfind("done:", 0) != 0) return {};
    const auto outcome = tavrin::testing::from_base64(text.substr(5));
    return {outcome.begin(), outcome.end()};
}

// The body of the reply to `method target` from the remote-debugging
// endpoint, "" when it failed. Python's standard library is the client: a
// reply that is not 200, a refused connection or 30 s of silence end it.
std::string devtools(int port, const std::string& method, const std::string& target) {
    return tavrin::testing::shellOutput(
        "python3 -c 'import sys, urllib.request as u; sys.stdout.buffer.write(u.urlopen("
        "u.Request(sys.argv[2], method=sys.argv[1]), timeout=30).read())' " +
        method + " 'http://127.0.0.1:" + std::to_string(port) + target + "' 2>/dev/null");
}

}  // namespace

std::string runInChromium(const fs::path& extension, const Flow& flow) {
    // The browser reads the user's manifests from the profile's
    // NativeMessagingHosts folder, which only the automatic connection of an
    // earlier host run has written.
    const fs::path profile = flow.home / ".config/chromium";
    fs::create_directories(profile);
    Child process = start({kChromium, "--headless=new",
                           "--no-sandbox",  // the tests may run as root
                           "--disable-gpu", "--no-first-run", "--disable-background-networking",
                           "--disable-component-update", "--disable-sync", "--disable-quic",
                           "--user-data-dir=" + profile.string(), "--remote-debugging-port=0",
                           // Builds that drop --load-extension by default honour it with this;
                           // Debian's loads the extension either way.
                           "--disable-features=DisableLoadExtensionCommandLineSwitch",
                           "--load-extension=" + extension.string(), "about:blank"},
                          flow);

    // With port 0 the browser picks a free port and writes it as the first
    // line of DevToolsActivePort.
    const fs::path portFile = profile / "DevToolsActivePort";
    const auto started = std::chrono::steady_clock::now();
    int port = 0;
    while (port == 0) {
        std::error_code missing;
        if (fs::exists(portFile, missing)) {
            const std::string content = tavrin::testing::read_file(portFile);
            if (content.find('\n') != std::string::npos) port = std::stoi(content);
        }
        if (port != 0) break;
        if (!process.running() ||
            std::chrono::steady_clock::now() - started > std::chrono::minutes(1))
            throw std::runtime_error("start chromium: no DevToolsActivePort; see " +
                                     flow.log.string());
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }

    // The endpoint unescapes the URL once; newer versions accept only PUT here.
    const std::string url =
        "chrome-extension://" + std::string(ChromeExtensionIDs[0]) + "/page.html?" + flow.query;
    const auto tab =
        nlohmann::json::parse(devtools(port, "PUT", "/json/new?" + percentEncoded(url)));
    const std::string id = tab.at("id").get<std::string>();
    std::string outcome;
    const auto deadline = std::chrono::steady_clock::now() + kFlowLimit;
    while (outcome.empty() && std::chrono::steady_clock::now() < deadline) {
        for (const auto& target : nlohmann::json::parse(devtools(port, "GET", "/json/list")))
            if (target.value("id", "") == id) outcome = published(target.value("title", ""));
        if (outcome.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return outcome;
}

std::string runInFirefox(const fs::path& addon, const Flow& flow) {
    // The add-on's internal UUID, fixed through the profile.
    const std::string uuid = "0b3cbd5e-3f7c-4d55-9c55-7e1a2a6a2c11";
    const fs::path profile = flow.home / "firefox-profile";
    fs::create_directories(profile / "extensions");
    fs::copy_file(addon, profile / "extensions" / (std::string(FirefoxAddonID) + ".xpi"),
                  fs::copy_options::overwrite_existing);
    tavrin::testing::write_file(profile / "user.js",
                                // The unsigned add-on in the profile, enabled without asking.
                                "user_pref(\"xpinstall.signatures.required\", false);\n"
                                "user_pref(\"extensions.autoDisableScopes\", 0);\n"
                                "user_pref(\"extensions.enabledScopes\", 15);\n"
                                "user_pref(\"extensions.webextensions.uuids\", \"{\\\"" +
                                    std::string(FirefoxAddonID) + "\\\":\\\"" + uuid +
                                    "\\\"}\");\n"
                                    // The page's dump() reaches standard output.
                                    "user_pref(\"browser.dom.window.dump.enabled\", true);\n");

    const std::string url = "moz-extension://" + uuid + "/page.html?" + flow.query;
    Child process =
        start({kFirefox, "--headless", "--no-remote", "--profile", profile.string(), url}, flow);
    std::string outcome;
    const auto deadline = std::chrono::steady_clock::now() + kFlowLimit;
    while (outcome.empty() && process.running() && std::chrono::steady_clock::now() < deadline) {
        // The outcome once the page has printed its whole line.
        std::error_code missing;
        const std::string text =
            fs::exists(flow.log, missing) ? "\n" + tavrin::testing::read_file(flow.log) : "";
        const std::size_t begin = text.find("\ndone:");
        const std::size_t end = begin == std::string::npos ? begin : text.find('\n', begin + 1);
        if (end != std::string::npos) outcome = published(text.substr(begin + 1, end - begin - 1));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return outcome;
}

std::string percentEncoded(const std::string& text) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (const unsigned char c : text) {
        if (std::isalnum(c) != 0 || c == '-' || c == '_' || c == '.' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += digits[c >> 4];
            out += digits[c & 0xF];
        }
    }
    return out;
}

}  // namespace tavrin::host::testing
