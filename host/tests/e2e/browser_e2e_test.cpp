// The bridge in real browsers: Debian's Chromium and Firefox ESR, headless,
// load the test extension (extension/), whose page talks to the real
// executable over native messaging. The host is registered only by the
// automatic connection of an earlier host run (or, for the installed package,
// by its system-wide manifests); identities are a real NSS
// database in the test's home; the signing confirmation is a real dialog on a
// private X server, answered with xdotool.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <future>
#include <memory>
#include <ostream>
#include <set>
#include <thread>

#include <openssl/evp.h>
#include <nlohmann/json.hpp>

#include "browser/identifiers.h"
#include "e2e/browsers.h"
#include "support/host_process.h"
#include "support/xvfb.h"
#include "tests/support/signature_check.h"
#include "tests/support/temp_dir.h"

namespace tavrin::host {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

constexpr const char* kOrigin = "https://podpis.example.cz";
constexpr std::chrono::seconds kFlowLimit{120};

enum class BrowserKind { chromium, firefox };

const char* browserName(BrowserKind kind) {
    return kind == BrowserKind::chromium ? "Chromium" : "Firefox";
}

std::string nameOf(const ::testing::TestParamInfo<BrowserKind>& info) {
    return browserName(info.param);
}

// Names the parameter in test listings instead of its bytes.
void PrintTo(BrowserKind kind, std::ostream* os) {
    *os << browserName(kind);
}

// A query string from name=value pairs.
std::string query(std::initializer_list<std::pair<std::string, std::string>> fields) {
    std::string out;
    for (const auto& [name, value] : fields)
        out += (out.empty() ? "" : "&") + name + "=" + testing::percentEncoded(value);
    return out;
}

class BrowserEndToEnd : public ::testing::TestWithParam<BrowserKind> {
  protected:
    tavrin::testing::TempDir home;
    std::unique_ptr<testing::Xvfb> screen;
    std::unique_ptr<testing::Browser> browser;

    void SetUp() override {
        const bool chromium = GetParam() == BrowserKind::chromium;
        const char* executable =
            chromium ? testing::ChromiumBrowser::executable : testing::FirefoxBrowser::executable;
        if (!fs::exists(executable))
            GTEST_SKIP() << executable << " is not installed (scripts/install-deps.sh installs it)";

        // The identities, copied so that the browser may open the database
        // for writing without touching the shared fixture.
        const fs::path identities = TAVRIN_NSS_HOME;
        fs::copy(identities / ".pki", home.path() / ".pki", fs::copy_options::recursive);
        fs::copy(identities / "fixtures", home.path() / "fixtures", fs::copy_options::recursive);
        tavrin::testing::write_file(
            home.path() / ".local/share/cz.tavrin.bridge/consent.json",
            json{{"origins",
                  {{kOrigin, {{"purposes", {"sign", "auth"}}, {"grantedAtUnix", 1767225600}}}}}}
                .dump(2));

        // Registration as users get it: any host run connects the browsers,
        // Chromium because its profile folder exists (it has run before).
        // With TAVRIN_E2E_SYSTEM_MANIFESTS set (scripts/package-test.sh), the
        // home has no manifest at all: the installed package's system-wide
        // manifests alone lead the browser to the installed host.
        if (std::getenv("TAVRIN_E2E_SYSTEM_MANIFESTS") == nullptr) {
            if (chromium) fs::create_directories(home.path() / ".config/chromium");
            testing::HostRun run{{"chrome-extension://" + std::string(ChromeExtensionIDs[0]) + "/"},
                                 home.path()};
            const auto registered = testing::runHost(run);
            ASSERT_EQ(registered.exitStatus, 0) << registered.err;
            ASSERT_TRUE(fs::exists(home.path() /
                                   (chromium ? ".config/chromium/NativeMessagingHosts"
                                             : ".mozilla/native-messaging-hosts") /
                                   "cz.tavrin.bridge.json"));
        }

        screen = std::make_unique<testing::Xvfb>();
        // The host that the browser starts inherits this; the browser itself
        // is headless and opens no window.
        std::map<std::string, std::string> environment = cardEnvironment();
        environment["HOME"] = home.path().string();
        environment["DISPLAY"] = screen->display();
        const fs::path logs = artefacts();
        fs::create_directories(logs);
        if (chromium) {
            browser = std::make_unique<testing::ChromiumBrowser>(
                TAVRIN_E2E_EXTENSION, home.path(), environment, logs / "chromium.log");
        } else {
            browser = std::make_unique<testing::FirefoxBrowser>(TAVRIN_E2E_FIREFOX_ADDON,
                                                                home.path(), environment, logs);
        }
    }

    // Registers a card reader in the home's NSS database, as a fixture that
    // signs with a card does; what the browser (and so the host) then needs
    // in its environment.
    virtual std::map<std::string, std::string> cardEnvironment() { return {}; }

    // Browser logs and screenshots of this test.
    static fs::path artefacts() {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(test->test_suite_name()) + "." + test->name();
        for (char& c : name)
            if (c == '/') c = '_';
        return fs::path(TAVRIN_TEST_ARTIFACTS) / "e2e" / name;
    }

    // Runs a flow and returns what the page published; fails the test when
    // nothing came or the browser did not survive. Each outcome is also
    // appended to outcomes.log among the test's artefacts.
    json flow(const std::string& queryString) {
        const auto outcome = browser->runFlow(queryString, kFlowLimit);
        std::ofstream(artefacts() / "outcomes.log", std::ios::app)
            << queryString << "\n  " << (outcome.json.empty() ? "(nothing)" : outcome.json)
            << (outcome.browserAlive ? "" : "\n  (the browser did not survive)") << "\n";
        EXPECT_TRUE(outcome.browserAlive) << "the browser did not survive " << queryString;
        if (outcome.json.empty()) {
            ADD_FAILURE() << "no outcome for " << queryString << "; logs in " << artefacts();
            return json::object();
        }
        return json::parse(outcome.json);
    }

    // The DER of a test identity's certificate: the NSS fixture's PEM files,
    // or the card's certificate on the SoftHSM2 fixture token "chain".
    std::vector<std::uint8_t> certificate(const std::string& name) const {
        if (name != "card")
            return tavrin::testing::pem_certificate(home.path() / "fixtures" / (name + ".pem"));
        const std::string der = tavrin::testing::read_file(fs::path(TAVRIN_SOFTHSM_TOKENS) /
                                                           "chain-certs/unqualified.der");
        return {der.begin(), der.end()};
    }
    std::string certificateIdOf(const std::string& name) const {
        return tavrin::testing::certificate_id(certificate(name));
    }
    // Whether `base64` is a signature of `hash` by the key of identity `name`.
    bool signedBy(const std::string& name, const std::vector<std::uint8_t>& hash,
                  const std::string& base64) const {
        return tavrin::testing::verifies_with(certificate(name), EVP_sha256(), hash,
                                              tavrin::testing::from_base64(base64));
    }

    bool windowOnScreen() const {
        return !screen->run("xdotool search --onlyvisible --name .").empty();
    }
};

TEST_P(BrowserEndToEnd, StatusOverAOneShotMessage) {
    const json reply = flow(query({{"flow", "status"}}))["reply"];
    ASSERT_TRUE(reply.contains("result")) << reply;
    EXPECT_EQ(reply["id"], "s");
    EXPECT_EQ(reply["result"]["version"], "0.1.0");
    EXPECT_EQ(reply["result"]["protocolVersion"], "1.0");
    EXPECT_EQ(reply["result"]["platform"], "linux");
    EXPECT_EQ(reply["result"]["backends"], json::array({"keychain"}));
}

// Which identity serves which purpose is the core's (nss_keychain_test); here
// one listing and one signature go through the browser.
TEST_P(BrowserEndToEnd, ListsForAGrantedOriginWithoutAsking) {
    const json reply =
        flow(query({{"flow", "list"}, {"origin", kOrigin}, {"purpose", "any"}}))["reply"];
    ASSERT_TRUE(reply.contains("certificates")) << reply;
    std::set<std::string> listed;
    for (const auto& certificate : reply["certificates"]) {
        listed.insert(certificate["certId"].get<std::string>());
        EXPECT_EQ(certificate["backend"], "keychain");
    }
    EXPECT_EQ(listed, (std::set<std::string>{certificateIdOf("rsa2048"), certificateIdOf("rsa4096"),
                                             certificateIdOf("p256")}));
    EXPECT_FALSE(windowOnScreen()) << "a granted origin was asked again";
}

TEST_P(BrowserEndToEnd, SignsOnceTheUserConfirms) {
    const auto hash = tavrin::testing::sha256("document signed in a real browser");
    const std::string q = query({{"flow", "sign"},
                                 {"origin", kOrigin},
                                 {"certId", certificateIdOf("p256")},
                                 {"hashAlg", "SHA-256"},
                                 {"scheme", "ecdsa"},
                                 {"hash", tavrin::testing::to_base64(hash)}});
    auto outcome = std::async(std::launch::async, [&] { return flow(q); });

    const std::string window = screen->waitForWindow();
    ASSERT_FALSE(window.empty()) << "no confirmation dialog; the flow gave " << outcome.get();
    screen->screenshot(artefacts() / "confirm.png");
    screen->answerPrompt(window, {"key Return"});
    const json reply = outcome.get()["reply"];

    ASSERT_TRUE(reply.contains("result")) << reply;
    const auto& signatures = reply["result"]["signatures"];
    ASSERT_EQ(signatures.size(), 1u) << reply;
    EXPECT_TRUE(signedBy("p256", hash, signatures[0].get<std::string>()));
    EXPECT_TRUE(screen->waitForNoWindow());
}

// A smart card as a Debian user has it: the token's module registered in the
// NSS database that Chromium and the bridge share. The card holds a
// certificate issued by a CA (the SoftHSM2 fixture token "chain").
class CardEndToEnd : public BrowserEndToEnd {
  protected:
    std::map<std::string, std::string> cardEnvironment() override {
        const fs::path tokens = home.path() / "tokens";
        fs::copy(fs::path(TAVRIN_SOFTHSM_TOKENS) / "chain", tokens, fs::copy_options::recursive);
        const std::string conf = (home.path() / "softhsm2.conf").string();
        tavrin::testing::write_file(conf, "directories.tokendir = " + tokens.string() +
                                              "\nobjectstore.backend = file\nlog.level = ERROR\n");
        std::map<std::string, std::string> environment{{"SOFTHSM2_CONF", conf}};
        std::string library = TAVRIN_SOFTHSM_MODULE;
        if (keypad()) {
            // The forwarding module over a copy of SoftHSM2 of its own, as a
            // reader with a keypad that takes two seconds for the PIN.
            const fs::path copy = home.path() / "libsofthsm2-copy.so";
            fs::copy_file(TAVRIN_SOFTHSM_MODULE, copy);
            environment = {{"TAVRIN_FORWARD_MODULE", copy.string()},
                           {"TAVRIN_FORWARD_SOFTHSM2_CONF", conf},
                           {"TAVRIN_FORWARD_FAKE", "pin-pad"},
                           {"TAVRIN_FORWARD_PAD_DELAY_MS", "2000"}};
            library = TAVRIN_FORWARDING_MODULE;
        }
        std::string command;
        for (const auto& [name, value] : environment)
            command += name + "='" + value + "' ";
        command += "modutil -force -dbdir sql:" + (home.path() / ".pki/nssdb").string() +
                   " -add 'Card reader' -libfile " + library + " >/dev/null 2>&1";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        return environment;
    }

    virtual bool keypad() const { return false; }

    // The id of the next prompt on screen that is not `previous`.
    std::string nextWindow(const std::string& previous) const {
        for (int i = 0; i < 600; ++i) {
            const std::string window = screen->waitForWindow();
            if (!window.empty() && window != previous) return window;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return {};
    }

    // Signs with the card's key through the page; `afterConfirmation`
    // answers what follows the confirmation. The reply.
    json signWithTheCard(const std::function<void(const std::string&)>& afterConfirmation,
                         const std::vector<std::uint8_t>& hash) {
        const std::string q = query({{"flow", "sign"},
                                     {"origin", kOrigin},
                                     {"certId", certificateIdOf("card")},
                                     {"hashAlg", "SHA-256"},
                                     {"scheme", "rsa-pkcs1"},
                                     {"hash", tavrin::testing::to_base64(hash)}});
        auto outcome = std::async(std::launch::async, [&] { return flow(q); });
        const std::string confirmation = screen->waitForWindow();
        if (confirmation.empty()) {
            ADD_FAILURE() << "no confirmation dialog; the flow gave " << outcome.get();
            return json::object();
        }
        screen->screenshot(artefacts() / "card-confirmation.png");
        screen->answerPrompt(confirmation, {"key Return"});
        afterConfirmation(confirmation);
        return outcome.get()["reply"];
    }
};

TEST_P(CardEndToEnd, SignsWithACardOnceItsPinIsTyped) {
    const auto hash = tavrin::testing::sha256("document signed with a card in a real browser");
    const json reply = signWithTheCard(
        [&](const std::string& confirmation) {
            const std::string pin = nextWindow(confirmation);
            ASSERT_FALSE(pin.empty()) << "no PIN prompt after the confirmation";
            screen->screenshot(artefacts() / "card-pin.png");
            screen->answerPrompt(pin, {"type 1234", "key Return"});
        },
        hash);
    ASSERT_TRUE(reply.contains("result")) << reply;
    EXPECT_TRUE(signedBy("card", hash, reply["result"]["signatures"][0]));
}

class KeypadEndToEnd : public CardEndToEnd {
  protected:
    bool keypad() const override { return true; }
};

TEST_P(KeypadEndToEnd, SignsWithTheReadersKeypadWhileANoticeSaysSo) {
    const auto hash = tavrin::testing::sha256("document signed at a keypad in a real browser");
    const json reply = signWithTheCard(
        [&](const std::string& confirmation) {
            const std::string notice = nextWindow(confirmation);
            ASSERT_FALSE(notice.empty()) << "no notice after the confirmation";
            screen->screenshot(artefacts() / "keypad-notice.png");
            // It goes by itself once the reader has the PIN.
            EXPECT_TRUE(screen->waitForNoWindow());
        },
        hash);
    ASSERT_TRUE(reply.contains("result")) << reply;
    EXPECT_TRUE(signedBy("card", hash, reply["result"]["signatures"][0]));
}

// Chromium is the browser Debian users sign in; one browser is enough for
// what the card adds.
INSTANTIATE_TEST_SUITE_P(RealBrowsers, CardEndToEnd, ::testing::Values(BrowserKind::chromium),
                         nameOf);
INSTANTIATE_TEST_SUITE_P(RealBrowsers, KeypadEndToEnd, ::testing::Values(BrowserKind::chromium),
                         nameOf);

INSTANTIATE_TEST_SUITE_P(RealBrowsers, BrowserEndToEnd,
                         ::testing::Values(BrowserKind::chromium, BrowserKind::firefox), nameOf);

}  // namespace
}  // namespace tavrin::host
