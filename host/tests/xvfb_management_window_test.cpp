// The management window of the real executable on a private X server, read
// through the accessibility tree and driven from the keyboard. Screenshots
// land in the build tree's test artefacts.

#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <regex>
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

struct Extents {
    int x = 0, y = 0, width = 0, height = 0;
};

// The extents of the object with `role` and `name` in an accessibility tree.
std::optional<Extents> extentsOf(const std::string& tree, const std::string& role,
                                 const std::string& name) {
    std::smatch m;
    if (!std::regex_search(
            tree, m, std::regex("\n *" + role + "\t" + name + "\t(-?\\d+),(-?\\d+),(\\d+),(\\d+)")))
        return std::nullopt;
    return Extents{std::stoi(m[1]), std::stoi(m[2]), std::stoi(m[3]), std::stoi(m[4])};
}

// On a dark desktop and in the C locale: the window is dark, dates are
// Czech, a screen reader learns what it shows, and the browsers card with
// the first-run banner and two failures is not cut off. The grant is then
// revoked from the keyboard, and the window ends the process when closed.
TEST(ManagementWindow, DarkInTheCLocaleReadableNothingCutOffAndRevokesFromTheKeyboard) {
    const testing::Xvfb screen(true);
    testing::TempDir home;
    const fs::path consent = home.path() / ".local/share/cz.tavrin.bridge/consent.json";
    testing::write_file(consent,
                        std::string(R"({"origins":{")") + kOrigin +
                            R"(":{"purposes":["sign","auth"],"grantedAtUnix":1767225600}}})");
    // A desktop's dark colour scheme, as Qt reads it on a KDE desktop.
    std::string scheme;
    for (const char* group : {"Window", "View", "Button", "Tooltip"})
        scheme += std::string("[Colors:") + group +
                  "]\nBackgroundNormal=42,42,42\nBackgroundAlternate=48,48,48\n"
                  "ForegroundNormal=232,232,232\nForegroundInactive=160,160,160\n";
    scheme += "[Colors:Selection]\nBackgroundNormal=61,174,233\nForegroundNormal=255,255,255\n";
    testing::write_file(home.path() / ".config/kdeglobals", scheme);
    // Two browsers whose manifest folders cannot be made: two failures.
    testing::write_file(home.path() / ".config/google-chrome", "not a folder");
    testing::write_file(home.path() / ".mozilla", "not a folder");

    testing::HostRun run{{}, home.path()};
    run.environment = screen.environment();
    run.environment.insert({{"LANG", "C.UTF-8"},
                            {"LC_ALL", "C.UTF-8"},
                            {"TZ", "Europe/Prague"},
                            {"XDG_CURRENT_DESKTOP", "KDE"},
                            {"KDE_SESSION_VERSION", "5"}});
    std::string grants, browsers, brightness;
    bool revoked = false;
    bool closed = false;
    run.session = [&](testing::HostSession& host) {
        const std::string window = screen.waitForWindow();
        if (window.empty()) {
            ::kill(host.pid(), SIGKILL);
            FAIL() << "the management window did not appear";
        }
        // The keyboard starts on the tab bar: the next tab is "Souhlasy",
        // then the browsers.
        const auto show = [&](const char* key, const std::string& name) {
            screen.answer(window, {key});
            std::this_thread::sleep_for(500ms);  // let it paint before the picture
            screen.screenshot(artefact(name));
            return screen.tree();
        };
        grants = show("key Right", "management-window-grants");
        browsers = show("key Right", "management-window-browsers");
        brightness =
            screen.run("import -window " + window + " -colorspace Gray -format '%[fx:mean]' info:");
        // Back on "Souhlasy", the grant's "Odvolat" is its first control.
        screen.answer(window, {"key Left", "key Tab", "key space"});
        for (int i = 0; i < 300 && !revoked; ++i) {
            std::this_thread::sleep_for(100ms);
            revoked = testing::read_file(consent).find(kOrigin) == std::string::npos;
        }
        screen.answer(window, {"key ctrl+q"});
        closed = screen.waitForNoWindow();
        if (!closed) ::kill(host.pid(), SIGKILL);
    };
    const auto result = testing::runHost(run);
    EXPECT_TRUE(revoked) << testing::read_file(consent);
    EXPECT_TRUE(closed) << "the window stayed open";
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.err, "") << "nothing from the toolkit on standard error";
    EXPECT_EQ(result.out, "");
    // The launch connected the browsers and remembered its first run.
    EXPECT_TRUE(fs::exists(home.path() / ".local/share/cz.tavrin.bridge/first-run-complete"));

    // 2026-01-01 00:00 UTC is 1:00 in Prague.
    EXPECT_NE(grants.find("1. 1. 2026 1:00"), std::string::npos) << grants;
    const auto frame = extentsOf(browsers, "frame", "Tavrin Bridge");
    ASSERT_TRUE(frame) << "the window is not a frame:\n" << browsers;
    const auto card = extentsOf(browsers, "panel", "PROPOJENÍ S PROHLÍŽEČI");
    ASSERT_TRUE(card) << browsers;
    EXPECT_LE(card->y + card->height, frame->y + frame->height) << "the card is cut off";
    EXPECT_NE(browsers.find("Propojení proběhlo automaticky"), std::string::npos) << browsers;
    EXPECT_NE(browsers.find("Nepodařilo se propojit"), std::string::npos) << browsers;
    // An elided path still gives its whole text.
    const std::string path = "label\tMicrosoft Edge: " + home.path().string() +
                             "/.config/microsoft-edge/NativeMessagingHosts/cz.tavrin.bridge.json\t";
    EXPECT_NE(browsers.find(path), std::string::npos) << browsers;
    EXPECT_TRUE(!brightness.empty() && std::atof(brightness.c_str()) < 0.35)
        << "not dark: " << brightness;
}

}  // namespace
}  // namespace tavrin::host
