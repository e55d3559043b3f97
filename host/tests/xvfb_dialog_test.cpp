// Real dialogs on a private X server, answered with keystrokes: the consent
// prompt of the real executable in host mode, and the prompts of the
// user-interface module called as the host's main thread calls them. Each
// prompt is photographed into the build tree's test artefacts.

#include <gtest/gtest.h>

#include <signal.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <functional>
#include <thread>

#include <nlohmann/json.hpp>

#include "dialogs/prompt_dialogs.h"
#include "support/host_process.h"
#include "support/xvfb.h"
#include "tests/support/temp_dir.h"
#include "ui_module/ui_module_loader.h"

namespace tavrin::host {
namespace {

namespace fs = std::filesystem;

constexpr const char* kOrigin = "https://podpis.example.cz";

fs::path artefact(const std::string& name) {
    return fs::path(TAVRIN_TEST_ARTIFACTS) / (name + ".png");
}

// Another client on the same server: a window standing in for the browser,
// which takes the focus as the user's typing into it would.
class OtherClient {
  public:
    explicit OtherClient(const std::string& display)
        : connection_(xcb_connect(display.c_str(), nullptr)) {
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
        const std::uint32_t events[] = {XCB_EVENT_MASK_PROPERTY_CHANGE};
        xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window_, screen->root, 0, 0, 400, 300,
                          0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_EVENT_MASK,
                          events);
        xcb_map_window(connection_, window_);
    }
    ~OtherClient() { xcb_disconnect(connection_); }
    OtherClient(const OtherClient&) = delete;
    OtherClient& operator=(const OtherClient&) = delete;

    // Takes the focus stamped with the server's current time, which is
    // returned; the event of a property change tells that time.
    xcb_timestamp_t takeFocusNow() {
        xcb_change_property(connection_, XCB_PROP_MODE_APPEND, window_, XCB_ATOM_WM_NAME,
                            XCB_ATOM_STRING, 8, 0, nullptr);
        xcb_flush(connection_);
        xcb_timestamp_t now = 0;
        while (xcb_generic_event_t* event = xcb_wait_for_event(connection_)) {
            if ((event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY)
                now = reinterpret_cast<xcb_property_notify_event_t*>(event)->time;
            std::free(event);
            if (now != 0) break;
        }
        xcb_set_input_focus(connection_, XCB_INPUT_FOCUS_POINTER_ROOT, window_, now);
        // A round trip: focused from here on.
        std::free(
            xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
        return now;
    }

  private:
    xcb_connection_t* connection_;
    xcb_window_t window_ = xcb_generate_id(connection_);
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

class RealDialogTest : public ::testing::Test {
  protected:
    // This process shows the prompts, on this screen and its bus.
    void SetUp() override {
        for (const auto& [name, value] : screen.environment())
            ::setenv(name.c_str(), value.c_str(), 1);
    }

    // Runs `dialog`, which shows one prompt, while another thread answers
    // that prompt with `keys` after `beforeAnswer`, and returns its answer. A
    // prompt that is never seen but still waits ends in the test's timeout.
    template <typename Dialog>
    auto answered(
        const std::string& name, const std::vector<std::string>& keys, Dialog dialog,
        const std::function<void()>& beforeAnswer = [] {}) {
        std::thread user([&] {
            if (screen.waitForWindow().empty()) return;  // not shown: the answer fails the test
            beforeAnswer();
            EXPECT_TRUE(screen.handlePrompt(artefact(name), keys))
                << "the " << name << " prompt stayed";
        });
        auto answer = dialog();
        user.join();
        return answer;
    }

    testing::Xvfb screen{true};
    PromptDialogs dialogs{std::make_shared<ModuleRunner>(), std::make_shared<MainThreadExecutor>()};
};

// The consent prompt of the real executable: refused with the second button
// it records nothing; accepted with Enter, the origin is recorded. A platform
// without a screen in the environment does not hide the prompt.
TEST_F(RealDialogTest, ConsentAcceptedWithEnterIsRecorded) {
    const testing::TempDir home;
    const fs::path consent = home.path() / ".local/share/cz.tavrin.bridge/consent.json";
    testing::HostRun run{{"chrome-extension://jigokomhlkbkpcgkinakfomodbijdcpi/"}, home.path()};
    run.environment = {{"DISPLAY", screen.display()}, {"QT_QPA_PLATFORM", "offscreen"}};
    std::string refused, admitted;
    bool recordedWhenRefused = true;
    run.session = [&](testing::HostSession& host) {
        // The reply's error code, "" for a result.
        const auto list = [&](const std::vector<std::string>& keys, const std::string& name) {
            host.send(R"({"id":"l","method":"listCertificates","params":{"origin":")" +
                      std::string(kOrigin) + R"(","purpose":"sign"}})");
            if (!screen.handlePrompt(artefact(name), keys))
                ::kill(host.pid(), SIGKILL);  // it may wait on a prompt nobody sees
            auto reply = nlohmann::json::parse(host.receive(), nullptr, false);
            return reply.contains("error") ? reply["error"]["code"].get<std::string>() : "";
        };
        refused = list({"key Tab", "key Return"}, "consent-refused");
        recordedWhenRefused = fs::exists(consent);
        admitted = list({"key Return"}, "consent");
    };
    const auto result = testing::runHost(run);
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.err, "") << "the toolkit wrote to the host's diagnostic channel";
    EXPECT_EQ(refused, "consent_denied");
    EXPECT_FALSE(recordedWhenRefused);
    EXPECT_EQ(admitted, "no_certificates");  // admitted: the empty identity store lists nothing
    EXPECT_EQ(nlohmann::json::parse(testing::read_file(consent))["origins"][kOrigin]["purposes"],
              nlohmann::json::array({"sign"}));
}

// The page goes away while its consent prompt waits (the browser closes the
// host's input): the prompt goes, nothing is granted or answered, and the
// host ends, saying why.
TEST_F(RealDialogTest, APageThatGoesAwayTakesItsConsentPromptWithIt) {
    const testing::TempDir home;
    const fs::path consent = home.path() / ".local/share/cz.tavrin.bridge/consent.json";
    testing::HostRun run{{"chrome-extension://jigokomhlkbkpcgkinakfomodbijdcpi/"}, home.path()};
    run.environment = {{"DISPLAY", screen.display()}};
    bool shown = false, gone = false, ended = false;
    run.session = [&](testing::HostSession& host) {
        host.send(R"({"id":"l","method":"listCertificates","params":{"origin":")" +
                  std::string(kOrigin) + R"(","purpose":"sign"}})");
        const std::string prompt = screen.waitForWindow();
        shown = !prompt.empty();
        ended = host.hangUp();
        gone = screen.waitForNoWindow(std::chrono::seconds(30), prompt);
    };
    const auto result = testing::runHost(run);
    ASSERT_TRUE(shown);
    EXPECT_TRUE(ended) << "the host stayed after its input ended";
    EXPECT_TRUE(gone) << "the prompt stayed after its page had gone";
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err,
              "tavrin-bridge: the browser closed the connection; the prompt was cancelled and "
              "the request is left unanswered\n");
    EXPECT_FALSE(fs::exists(consent)) << testing::read_file(consent);
}

TEST_F(RealDialogTest, PinTypedAndSubmittedAndSignatureConfirmed) {
    // What a screen reader sees of the prompt, read while it is shown.
    std::string tree;
    const auto pin = answered(
        "pin", {"type 1234", "key Return"}, [&] { return dialogs.requestPin(kOrigin, "cert", 3); },
        [&] { tree = screen.tree(); });
    ASSERT_TRUE(pin);
    EXPECT_EQ(std::string(pin->view()), "1234");
    for (const char* shown :
         {"alert\tTavrin Bridge\t", "image\tTavrin Bridge\t", "password text\tPIN\t",
          "label\tZadejte PIN k podpisu 3 dokumentů pro https://podpis.example.cz\t",
          "push button\tPodepsat\t"})
        EXPECT_NE(tree.find(shown), std::string::npos) << shown << " not in\n" << tree;
    EXPECT_TRUE(answered("sign-confirmation", {"key Return"},
                         [&] { return dialogs.requestSignConfirmation(kOrigin, "cert", 3); }));
}

// A prompt shown while the user types into the browser comes to the front
// with the focus: its user time is not older than the browser's last input
// (else a window manager's focus-stealing prevention keeps it behind), and
// it carries the "above" state.
TEST_F(RealDialogTest, ALaterPromptTakesTheFocusFromTheBrowserAndStaysAbove) {
    // A first prompt, answered: from then on the process knows some X time.
    const auto confirm = [&](std::uint32_t count) {
        return [&, count] { return dialogs.requestSignConfirmation(kOrigin, "cert", count); };
    };
    EXPECT_TRUE(answered("sign-confirmation-first", {"key Return"}, confirm(1)));

    OtherClient browser(screen.display());
    const xcb_timestamp_t typed = browser.takeFocusNow();
    bool focused = false;
    std::string userTime, state;
    EXPECT_TRUE(answered("sign-confirmation-over-browser", {"key Return"}, confirm(2), [&] {
        const std::string prompt = screen.waitForWindow();
        for (int i = 0; i < 100 && !focused; ++i) {
            focused = screen.run("xdotool getwindowfocus -f") == prompt + "\n";
            if (!focused) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        userTime = screen.run("xprop -id " + prompt + " _NET_WM_USER_TIME");
        state = screen.run("xprop -id " + prompt + " _NET_WM_STATE");
    }));
    EXPECT_TRUE(focused) << "the prompt did not take the focus from the browser";
    const std::size_t equals = userTime.find("= ");
    ASSERT_NE(equals, std::string::npos) << userTime;
    EXPECT_GE(std::stoul(userTime.substr(equals + 2)), typed)
        << "the prompt's user time is older than the browser's input";
    EXPECT_NE(state.find("_NET_WM_STATE_ABOVE"), std::string::npos) << state;
}

TEST_F(RealDialogTest, ReturnMeantForThePageNeverAnswersAndAPausedOneDoes) {
    bool shownAfterHurriedKeys = false;
    const auto confirm = [&] { return dialogs.requestSignConfirmation(kOrigin, "cert", 1); };
    EXPECT_TRUE(answered("sign-confirmation-guarded", {"key Return"}, confirm, [&] {
        // Return at once and then every fifth of a second, as if typed into a page.
        screen.run("xdotool windowfocus --sync " + screen.waitForWindow());
        for (int i = 0; i < 10; ++i) {
            screen.run("xdotool key Return");
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        shownAfterHurriedKeys = !screen.waitForWindow(std::chrono::seconds(0)).empty();
    }));
    EXPECT_TRUE(shownAfterHurriedKeys);
}

}  // namespace
}  // namespace tavrin::host
