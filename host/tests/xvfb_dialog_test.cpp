// Real dialogs on a private X server, answered with keystrokes: the consent
// prompt of the real executable in host mode, and the PIN and confirmation
// prompts of the user-interface module called directly. Each dialog is
// photographed into the build tree's test artefacts.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>
#include <xcb/xcb.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <thread>

#include <nlohmann/json.hpp>

#include "dialogs/ns_alert_dialog_interaction.h"
#include "support/accessibility_bus.h"
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

    // A thread that answers the next prompt with `keys` after photographing
    // it; `returned` tells it that the prompt's caller is done.
    std::thread answerLater(const std::string& name, std::vector<std::string> keys,
                            std::atomic<bool>& returned, std::function<void()> first = {}) {
        returned = false;
        return std::thread([this, &returned, name, keys = std::move(keys), first] {
            const std::string window = screen.waitForWindow();
            if (window.empty()) {
                if (returned) return;  // not shown at all: the answer fails the test
                std::fputs("the dialog is not on screen but still waits for an answer\n", stderr);
                std::abort();
            }
            screen.screenshot(artefact(name));
            if (first) first();
            screen.answerPrompt(window, keys);
        });
    }

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
        EXPECT_EQ(result.err, "") << "the toolkit wrote to the host's diagnostic channel";
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

// Another client on the same server: a window standing in for the browser,
// which takes the focus as the user's typing into it would, and reads the
// properties of other windows.
class OtherClient {
  public:
    explicit OtherClient(const std::string& display)
        : connection_(xcb_connect(display.c_str(), nullptr)) {
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
        window_ = xcb_generate_id(connection_);
        const std::uint32_t events[] = {XCB_EVENT_MASK_PROPERTY_CHANGE};
        xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window_, screen->root, 0, 0, 400, 300,
                          0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_EVENT_MASK,
                          events);
        xcb_map_window(connection_, window_);
        focus();  // a round trip: mapped from here on
    }
    ~OtherClient() { xcb_disconnect(connection_); }
    OtherClient(const OtherClient&) = delete;
    OtherClient& operator=(const OtherClient&) = delete;

    // Takes the focus stamped with the server's current time, which is returned.
    xcb_timestamp_t takeFocusNow() {
        const xcb_atom_t marker = atom("_TEST_NOW");
        xcb_change_property(connection_, XCB_PROP_MODE_APPEND, window_, marker, XCB_ATOM_INTEGER,
                            32, 0, nullptr);
        xcb_flush(connection_);
        xcb_timestamp_t now = 0;
        while (xcb_generic_event_t* event = xcb_wait_for_event(connection_)) {
            if ((event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY)
                now = reinterpret_cast<xcb_property_notify_event_t*>(event)->time;
            std::free(event);
            if (now != 0) break;
        }
        xcb_set_input_focus(connection_, XCB_INPUT_FOCUS_POINTER_ROOT, window_, now);
        xcb_flush(connection_);
        return now;
    }

    xcb_window_t focus() {
        xcb_get_input_focus_reply_t* reply =
            xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr);
        const xcb_window_t focused =
            reply != nullptr ? reply->focus : xcb_window_t{XCB_WINDOW_NONE};
        std::free(reply);
        return focused;
    }

    // A property of 32-bit values (CARDINAL, ATOM) of `window`.
    std::vector<std::uint32_t> property(xcb_window_t window, const char* name) {
        xcb_get_property_reply_t* reply = xcb_get_property_reply(
            connection_,
            xcb_get_property(connection_, 0, window, atom(name), XCB_GET_PROPERTY_TYPE_ANY, 0, 64),
            nullptr);
        std::vector<std::uint32_t> values;
        if (reply != nullptr && reply->format == 32) {
            const auto* data = static_cast<const std::uint32_t*>(xcb_get_property_value(reply));
            values.assign(data, data + xcb_get_property_value_length(reply) / 4);
        }
        std::free(reply);
        return values;
    }

    xcb_atom_t atom(const char* name) {
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
            connection_,
            xcb_intern_atom(connection_, 0, static_cast<std::uint16_t>(std::strlen(name)), name),
            nullptr);
        const xcb_atom_t value = reply != nullptr ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
        std::free(reply);
        return value;
    }

  private:
    xcb_connection_t* connection_;
    xcb_window_t window_ = 0;
};

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
    // What a screen reader sees of the prompt, read while it is shown.
    const testing::AccessibilityBus bus;
    for (const auto& [name, value] : bus.environment(screen.display()))
        ::setenv(name.c_str(), value.c_str(), 1);
    std::string tree;
    NSAlertDialogInteraction dialogs(std::make_shared<ModuleRunner>(),
                                     std::make_shared<MainThreadExecutor>());

    // This thread runs the dialogs; another one answers them.
    std::atomic<bool> returned = false;
    const auto answering = [&](const std::string& name, std::vector<std::string> keys) {
        return answerLater(name, std::move(keys), returned);
    };

    std::thread user = answerLater("pin", {"type 1234", "key Return"}, returned,
                                   [&] { tree = bus.tree(screen.display()); });
    const auto pin = dialogs.requestPin(kOrigin, "cert", 3);
    returned = true;
    user.join();
    ASSERT_TRUE(pin);
    EXPECT_EQ(std::string(pin->c_str(), pin->size()), "1234");
    for (const char* shown :
         {"alert\tTavrin Bridge\t", "image\tTavrin Bridge\t", "password text\tPIN\t",
          "label\tZadejte PIN k podpisu 3 dokumentů pro https://podpis.example.cz\t",
          "push button\tPodepsat\t"})
        EXPECT_NE(tree.find(shown), std::string::npos) << shown << " not in\n" << tree;
    EXPECT_TRUE(screen.waitForNoWindow());

    user = answering("sign-confirmation", {"key Return"});
    EXPECT_TRUE(dialogs.requestSignConfirmation(kOrigin, "cert", 3));
    returned = true;
    user.join();
}

// A prompt shown while the user types into the browser comes to the front
// with the focus: its user time is not older than the browser's last input
// (else a window manager's focus-stealing prevention keeps it behind), and
// it carries the "above" state.
TEST_F(RealDialogTest, ALaterPromptTakesTheFocusFromTheBrowserAndStaysAbove) {
    ::setenv("DISPLAY", screen.display().c_str(), 1);
    NSAlertDialogInteraction dialogs(std::make_shared<ModuleRunner>(),
                                     std::make_shared<MainThreadExecutor>());
    // A first prompt, answered: from then on the process knows some X time.
    std::atomic<bool> returned = false;
    std::thread user = answerLater("sign-confirmation-first", {"key Return"}, returned);
    EXPECT_TRUE(dialogs.requestSignConfirmation(kOrigin, "cert", 1));
    returned = true;
    user.join();
    ASSERT_TRUE(screen.waitForNoWindow());

    OtherClient browser(screen.display());
    const xcb_timestamp_t typed = browser.takeFocusNow();
    bool focused = false;
    std::vector<std::uint32_t> userTime;
    std::vector<std::uint32_t> state;
    user = std::thread([&] {
        const std::string window = screen.waitForWindow();
        if (window.empty()) {
            std::fputs("the second prompt did not appear\n", stderr);
            std::abort();
        }
        const auto prompt = static_cast<xcb_window_t>(std::stoul(window));
        for (int i = 0; i < 100 && !focused; ++i) {
            focused = browser.focus() == prompt;
            if (!focused) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        userTime = browser.property(prompt, "_NET_WM_USER_TIME");
        state = browser.property(prompt, "_NET_WM_STATE");
        screen.screenshot(artefact("sign-confirmation-over-browser"));
        screen.answerPrompt(window, {"key Return"});
    });
    EXPECT_TRUE(dialogs.requestSignConfirmation(kOrigin, "cert", 2));
    user.join();

    EXPECT_TRUE(focused) << "the prompt did not take the focus from the browser";
    ASSERT_EQ(userTime.size(), 1u);
    EXPECT_GE(userTime[0], typed) << "the prompt's user time is older than the browser's input";
    EXPECT_THAT(state, ::testing::Contains(browser.atom("_NET_WM_STATE_ABOVE")));
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
