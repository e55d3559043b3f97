#include "e2e/browsers.h"

#include <thread>

#include "browser/identifiers.h"
#include "tests/support/temp_dir.h"

namespace tavrin::host::testing {
namespace {

namespace fs = std::filesystem;

// The add-on's internal UUID, fixed through the profile so that its page has
// a known moz-extension:// address.
constexpr const char* addonUuid = "0b3cbd5e-3f7c-4d55-9c55-7e1a2a6a2c11";

// The outcome the page printed as a whole line, or "".
std::string outcomeIn(const fs::path& log) {
    std::error_code missing;
    if (!fs::exists(log, missing)) return {};
    const std::string text = "\n" + tavrin::testing::read_file(log);
    const std::size_t begin = text.find("\ndone:");
    if (begin == std::string::npos) return {};
    const std::size_t end = text.find('\n', begin + 1);
    return end == std::string::npos ? "" : published(text.substr(begin + 1, end - begin - 1));
}

}  // namespace

FirefoxBrowser::FirefoxBrowser(const fs::path& addon, const fs::path& home,
                               std::map<std::string, std::string> environment, fs::path logFolder)
    : profile_(home / "firefox-profile"),
      environment_(std::move(environment)),
      logFolder_(std::move(logFolder)) {
    fs::create_directories(profile_ / "extensions");
    fs::copy_file(addon, profile_ / "extensions" / (std::string(FirefoxAddonID) + ".xpi"));
    const std::string uuids =
        R"({\")" + std::string(FirefoxAddonID) + R"(\":\")" + addonUuid + R"(\"})";
    tavrin::testing::write_file(
        profile_ / "user.js",
        // The unsigned add-on in the profile, enabled without asking.
        "user_pref(\"xpinstall.signatures.required\", false);\n"
        "user_pref(\"extensions.autoDisableScopes\", 0);\n"
        "user_pref(\"extensions.enabledScopes\", 15);\n"
        "user_pref(\"extensions.webextensions.uuids\", \"" +
            uuids +
            "\");\n"
            // The page's dump() reaches standard output.
            "user_pref(\"browser.dom.window.dump.enabled\", true);\n"
            // Nothing that reaches for the network or asks a question.
            "user_pref(\"browser.shell.checkDefaultBrowser\", false);\n"
            "user_pref(\"browser.startup.homepage_override.mstone\", \"ignore\");\n"
            "user_pref(\"datareporting.policy.dataSubmissionEnabled\", false);\n"
            "user_pref(\"app.update.enabled\", false);\n"
            "user_pref(\"network.captive-portal-service.enabled\", false);\n"
            "user_pref(\"browser.safebrowsing.malware.enabled\", false);\n"
            "user_pref(\"browser.safebrowsing.phishing.enabled\", false);\n");
}

FlowOutcome FirefoxBrowser::runFlow(const std::string& query, std::chrono::seconds limit) {
    const fs::path log = logFolder_ / ("firefox-" + std::to_string(++runs_) + ".log");
    const std::string url = "moz-extension://" + std::string(addonUuid) + "/page.html?" + query;
    tavrin::testing::Child process(
        browserSpec({executable, "--headless", "--no-remote", "--profile", profile_.string(), url},
                    environment_, log));
    FlowOutcome outcome;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        outcome.json = outcomeIn(log);
        if (!outcome.json.empty() || !process.running()) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    outcome.browserAlive = process.running();
    return outcome;
}

}  // namespace tavrin::host::testing
