// Real dialogs on a private X server, answered with keystrokes: the consent
// prompt of the real executable in host mode, and the PIN and confirmation
// prompts of the user-interface module called directly. Each dialog is
// photographed into the build tree's test artefacts.

#include <gtest/gtest.h>

#include <signal.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include <nlohmann/json.hpp>

#include "dialogs/ns_alert_dialog_interaction.h"
#include "support/host_process.h"
#include "support/xvfb.h"
#include "tests/support/temp_dir.h"
#include "ui_module/ui_module_loader.h"

namespace tavrin::host {
namespace {

namespace fs = std::filesystem;
using testing::HostSession;

constexpr const char* kOrigin = "https://podpis.example.cz";

fs::path artefact(const std::string& name) {
    return fs::path(TAVRIN_TEST_ARTIFACTS) / (name + ".png");
}

class RealDialogTest : public ::testing::Test {
  protected:
    testing::Xvfb screen;
    testing::TempDir home;

    fs::path consentFile() const {
        return home.path() / ".local/share/cz.tavrin.bridge/consent.json";
    }

    // Asks a host on this screen for a listing, answers the consent dialog
    // with `keys` and returns the reply's error code ("" for a result).
    std::string listWithConsent(const std::vector<std::string>& keys, const std::string& screenshot,
                                std::map<std::string, std::string> environment = {}) {
        environment["DISPLAY"] = screen.display();
        testing::HostRun run{{"chrome-extension://jigokomhlkbkpcgkinakfomodbijdcpi/"}, home.path()};
        run.environment = std::move(environment);
        std::string code = "<no reply>";
        bool gone = false;
        std::string status;
        run.session = [&](HostSession& host) {
            host.send(R"({"id":"l","method":"listCertificates","params":{"origin":")" +
                      std::string(kOrigin) + R"(","purpose":"sign"}})");
            const std::string window = screen.waitForWindow();
            if (window.empty()) {
                ::kill(host.pid(), SIGKILL);  // it may be waiting on a prompt nobody sees
                FAIL() << "the consent dialog did not appear";
            }
            screen.screenshot(artefact(screenshot));
            screen.answerPrompt(window, keys);
            const auto reply = nlohmann::json::parse(host.receive(), nullptr, false);
            code = reply.contains("error") ? reply["error"]["code"].get<std::string>() : "";
            gone = screen.waitForNoWindow();
            host.send(R"({"id":"s","method":"status"})");
            status = host.receive();
        };
        const auto result = testing::runHost(run);
        EXPECT_EQ(result.exitStatus, 0) << result.err;
        EXPECT_TRUE(gone) << "the dialog stayed on screen after it was answered";
        EXPECT_NE(status.find(R"("id":"s","result")"), std::string::npos) << status;
        return code;
    }
};

TEST_F(RealDialogTest, ConsentAcceptedWithEnterIsRecorded) {
    // Admitted: the empty identity store then has nothing to list.
    EXPECT_EQ(listWithConsent({"key Return"}, "consent"), "no_certificates");
    const auto grants = nlohmann::json::parse(testing::read_file(consentFile()));
    EXPECT_EQ(grants["origins"][kOrigin]["purposes"], nlohmann::json::array({"sign"}));
}

TEST_F(RealDialogTest, ConsentRefusedWithTheSecondButtonRecordsNothing) {
    // A platform without a screen in the environment does not hide the prompt.
    EXPECT_EQ(listWithConsent({"key Tab", "key Return"}, "consent-refused",
                              {{"QT_QPA_PLATFORM", "offscreen"}}),
              "consent_denied");
    EXPECT_FALSE(fs::exists(consentFile()));
}

// The module's own runner in this process, as the host's main thread uses it.
class ModuleRunner final : public AlertRunning {
  public:
    AlertResponse runAlert(const Alert& alert) override {
        auto module = UiModuleLoader::loadFrom({TAVRIN_UI_MODULE});
        if (!module) return AlertResponse::notShown(module.error());
        return module.value()->alertRunner().runAlert(alert);
    }
};

TEST_F(RealDialogTest, PinTypedAndSubmittedAndSignatureConfirmed) {
    ::setenv("DISPLAY", screen.display().c_str(), 1);
    NSAlertDialogInteraction dialogs(std::make_shared<ModuleRunner>(),
                                     std::make_shared<MainThreadExecutor>());

    // This thread runs the dialogs; another one answers them.
    std::atomic<bool> returned = false;
    const auto answering = [&](const std::string& name, std::vector<std::string> keys) {
        returned = false;
        return std::thread([this, &returned, name, keys = std::move(keys)] {
            const std::string window = screen.waitForWindow();
            if (window.empty()) {
                if (returned) return;  // not shown at all: the answer fails the test
                std::fputs("the dialog is not on screen but still waits for an answer\n", stderr);
                std::abort();
            }
            screen.screenshot(artefact(name));
            screen.answerPrompt(window, keys);
        });
    };

    std::thread user = answering("pin", {"type 1234", "key Return"});
    const auto pin = dialogs.requestPin(kOrigin, "cert", 3);
    returned = true;
    user.join();
    ASSERT_TRUE(pin);
    EXPECT_EQ(std::string(pin->c_str(), pin->size()), "1234");
    EXPECT_TRUE(screen.waitForNoWindow());

    user = answering("sign-confirmation", {"key Return"});
    EXPECT_TRUE(dialogs.requestSignConfirmation(kOrigin, "cert", 3));
    returned = true;
    user.join();
}

TEST_F(RealDialogTest, ReturnMeantForThePageNeverAnswersAndAPausedOneDoes) {
    ::setenv("DISPLAY", screen.display().c_str(), 1);
    NSAlertDialogInteraction dialogs(std::make_shared<ModuleRunner>(),
                                     std::make_shared<MainThreadExecutor>());
    bool shownAfterHurriedKeys = false;
    std::thread user([&] {
        const std::string window = screen.waitForWindow();
        if (window.empty()) {
            std::fputs("the confirmation did not appear\n", stderr);
            std::abort();
        }
        // Return at once and then every fifth of a second, as if typed into a page.
        screen.run("xdotool windowfocus --sync " + window);
        for (int i = 0; i < 10; ++i) {
            screen.run("xdotool key Return");
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        shownAfterHurriedKeys = !screen.run("xdotool search --onlyvisible --name .").empty();
        screen.answerPrompt(window, {"key Return"});
    });
    EXPECT_TRUE(dialogs.requestSignConfirmation(kOrigin, "cert", 1));
    user.join();
    EXPECT_TRUE(shownAfterHurriedKeys);
}

}  // namespace
}  // namespace tavrin::host
