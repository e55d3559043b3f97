// The user's view of host start-up: in headless Chromium, the round trip of
// chrome.runtime.sendNativeMessage with a status request, our host against
// the C echo host. Both are registered in the same browser under two host
// names and take turns within a page, so both see the same browser and load;
// several browser runs, each in a fresh profile.
//
//   bench_chromium OUT.json HOST ECHO
// BENCH_BROWSER_RUNS (default 7) browsers, BENCH_BROWSER_CALLS (default 30)
// calls per host in each. The first call of each host in a browser is left
// out: it includes the browser's own first-use costs.

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "bench_report.h"
#include "browser/identifiers.h"
#include "e2e/browsers.h"
#include "tests/support/temp_dir.h"

namespace tavrin::bench {
namespace {

namespace fs = std::filesystem;

constexpr const char* kBridgeName = "cz.tavrin.bridge";
constexpr const char* kEchoName = "cz.tavrin.bridge.bench_echo";

int setting(const char* name, int fallback) {
    const char* value = std::getenv(name);
    return value ? std::atoi(value) : fallback;
}

void writeManifest(const fs::path& folder, const std::string& name, const std::string& program) {
    const nlohmann::json manifest = {
        {"name", name},
        {"description", "bench"},
        {"path", fs::canonical(program).string()},
        {"type", "stdio"},
        {"allowed_origins",
         {"chrome-extension://" + std::string(host::ChromeExtensionIDs[0]) + "/"}}};
    tavrin::testing::write_file(folder / (name + ".json"), manifest.dump());
}

int run(int argc, char** argv) {
    if (argc < 4) {
        std::cerr << "usage: bench_chromium OUT.json HOST ECHO\n";
        return 2;
    }
    const std::string out = argv[1], host = argv[2], echo = argv[3];
    Report report;
    if (!fs::exists(host::testing::kChromium)) {
        report.skip("chromium_status_reply", "chromium is not installed");
        report.write(out);
        return 0;
    }
    const int runs = setting("BENCH_BROWSER_RUNS", 7);
    const int calls = setting("BENCH_BROWSER_CALLS", 30);
    const std::string query =
        "count=" + std::to_string(calls + 1) + "&hosts=" + kBridgeName + "," + kEchoName;

    std::vector<double> bridge, floor;
    for (int r = 0; r < runs; ++r) {
        const tavrin::testing::TempDir home;
        const fs::path manifests = home.path() / ".config/chromium/NativeMessagingHosts";
        fs::create_directories(manifests);
        writeManifest(manifests, kBridgeName, host);
        writeManifest(manifests, kEchoName, echo);
        const std::map<std::string, std::string> environment = {
            {"HOME", home.path().string()},
            {"XDG_CONFIG_HOME", (home.path() / ".config").string()},
            {"XDG_DATA_HOME", (home.path() / ".local/share").string()}};
        const auto outcome = host::testing::runInChromium(
            TAVRIN_BENCH_EXTENSION,
            {home.path(), environment, home.path() / "chromium.log", query});
        if (outcome.empty())
            throw std::runtime_error("the page published nothing in time; see " +
                                     (home.path() / "chromium.log").string());
        const auto published = nlohmann::json::parse(outcome);
        if (!published.contains("times")) throw std::runtime_error("the page published " + outcome);
        const auto& times = published.at("times");
        for (const auto& [name, into] : {std::pair{kBridgeName, &bridge}, {kEchoName, &floor}}) {
            const auto& list = times.at(name);
            for (std::size_t i = 1; i < list.size(); ++i)
                into->push_back(list[i].get<double>() * 1000.0);
        }
    }
    report.add("chromium_status_reply/bridge", bridge, "us");
    report.add("chromium_status_reply/floor", floor, "us");
    report.write(out);
    return 0;
}

}  // namespace
}  // namespace tavrin::bench

int main(int argc, char** argv) {
    return tavrin::bench::driverMain("bench_chromium", tavrin::bench::run, argc, argv);
}
