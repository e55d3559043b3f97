#include "e2e/browsers.h"

#include <stdexcept>
#include <thread>

#include <nlohmann/json.hpp>

#include "browser/identifiers.h"
#include "tests/support/temp_dir.h"

namespace tavrin::host::testing {

namespace fs = std::filesystem;

ChromiumBrowser::ChromiumBrowser(const fs::path& extension, const fs::path& home,
                                 const std::map<std::string, std::string>& environment,
                                 const fs::path& log) {
    // Chromium's default profile folder in this home: the browser reads the
    // user's manifests from its NativeMessagingHosts folder, which only the
    // automatic connection of an earlier host run has written.
    const fs::path profile = home / ".config/chromium";
    fs::create_directories(profile);

    const std::vector<std::string> argv = {
        executable,
        "--headless=new",
        "--no-sandbox",  // the tests may run as root
        "--disable-gpu",
        "--no-first-run",
        "--disable-background-networking",
        "--disable-component-update",
        "--disable-sync",
        "--disable-quic",
        "--user-data-dir=" + profile.string(),
        "--remote-debugging-port=0",
        // Builds that drop --load-extension by default honour it with this;
        // Debian's loads the extension either way.
        "--disable-features=DisableLoadExtensionCommandLineSwitch",
        "--load-extension=" + extension.string(),
        "about:blank",
    };
    process_ = std::make_unique<tavrin::testing::Child>(browserSpec(argv, environment, log));

    // With port 0 the browser picks a free port and writes it as the first
    // line of DevToolsActivePort.
    const fs::path portFile = profile / "DevToolsActivePort";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (port_ == 0) {
        std::error_code missing;
        if (fs::exists(portFile, missing)) {
            const std::string content = tavrin::testing::read_file(portFile);
            if (content.find('\n') != std::string::npos) port_ = std::stoi(content);
        }
        if (port_ != 0) break;
        if (!process_->running())
            throw std::runtime_error("start chromium: it exited; see " + log.string());
        if (std::chrono::steady_clock::now() >= deadline)
            throw std::runtime_error("start chromium: no DevToolsActivePort; see " + log.string());
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

std::string ChromiumBrowser::get(const std::string& target) {
    return httpRequest(port_, "GET", target);
}

FlowOutcome ChromiumBrowser::runFlow(const std::string& query, std::chrono::seconds limit) {
    const std::string url =
        "chrome-extension://" + std::string(ChromeExtensionIDs[0]) + "/page.html?" + query;
    // The endpoint unescapes the URL once; newer versions accept only PUT here.
    const auto tab =
        nlohmann::json::parse(httpRequest(port_, "PUT", "/json/new?" + percentEncoded(url)));
    const std::string id = tab.at("id").get<std::string>();

    FlowOutcome outcome;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (outcome.json.empty() && std::chrono::steady_clock::now() < deadline) {
        for (const auto& target : nlohmann::json::parse(get("/json/list")))
            if (target.value("id", "") == id) outcome.json = published(target.value("title", ""));
        if (outcome.json.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    // Alive means the main process still runs and still serves its endpoint.
    try {
        get("/json/close/" + id);
        outcome.browserAlive = process_->running() && !get("/json/version").empty();
    } catch (const std::runtime_error&) {
        outcome.browserAlive = false;
    }
    return outcome;
}

}  // namespace tavrin::host::testing
