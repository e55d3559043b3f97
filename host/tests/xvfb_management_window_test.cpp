// The management window of the real executable on a private X server: it
// shows this home's grant, revokes it from the keyboard, and ends the
// process when closed. Screenshots land in the build tree's test artefacts.

#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <thread>

#include "support/host_process.h"
#include "support/xvfb.h"
#include "tests/support/temp_dir.h"

namespace tavrin::host {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr const char* kOrigin = "https://podpis.example.cz";

fs::path artefact(const std::string& name) {
    return fs::path(TAVRIN_TEST_ARTIFACTS) / (name + ".png");
}

// Until `holds` or about `limit` has passed.
template <typename Condition>
bool eventually(Condition holds, std::chrono::milliseconds limit = 30s) {
    for (auto waited = 0ms; waited < limit; waited += 100ms) {
        if (holds()) return true;
        std::this_thread::sleep_for(100ms);
    }
    return holds();
}

TEST(ManagementWindow, RevokesAGrantFromTheKeyboardAndQuitsWhenClosed) {
    testing::Xvfb screen;
    testing::TempDir home;
    const fs::path consent = home.path() / ".local/share/cz.tavrin.bridge/consent.json";
    testing::write_file(consent,
                        std::string(R"({"origins":{")") + kOrigin +
                            R"(":{"purposes":["sign","auth"],"grantedAtUnix":1767225600}}})");

    testing::HostRun run{{}, home.path()};
    run.environment = {{"DISPLAY", screen.display()}};
    bool revoked = false;
    bool closed = false;
    run.session = [&](testing::HostSession& host) {
        const std::string window = screen.waitForWindow();
        if (window.empty()) {
            ::kill(host.pid(), SIGKILL);
            FAIL() << "the management window did not appear";
        }
        std::this_thread::sleep_for(500ms);  // let it paint before the picture
        screen.screenshot(artefact("management-window"));

        // The keyboard starts on the tab bar: the next tab is "Souhlasy",
        // whose first control is the grant's "Odvolat".
        screen.answer(window, {"key Right"});
        std::this_thread::sleep_for(300ms);
        screen.screenshot(artefact("management-window-grants"));
        screen.answer(window, {"key Tab", "key space"});
        revoked = eventually(
            [&] { return testing::read_file(consent).find(kOrigin) == std::string::npos; });
        std::this_thread::sleep_for(300ms);
        screen.screenshot(artefact("management-window-revoked"));

        screen.answer(window, {"key ctrl+q"});
        closed = screen.waitForNoWindow();
        if (!closed) ::kill(host.pid(), SIGKILL);
    };
    const auto result = testing::runHost(run);

    EXPECT_TRUE(revoked) << testing::read_file(consent);
    EXPECT_TRUE(closed) << "the window stayed open";
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.out, "");
    // The launch connected the browsers and remembered its first run.
    EXPECT_TRUE(fs::exists(home.path() / ".local/share/cz.tavrin.bridge/first-run-complete"));
}

}  // namespace
}  // namespace tavrin::host
