// The bridge in real browsers: Debian's Chromium and Firefox ESR, headless,
// load the test extension (extension/), whose page talks to the real
// executable over native messaging. The host is registered only by the
// automatic connection of an earlier host run (or, for the installed package,
// by its system-wide manifests); identities are a real NSS database in the
// test's home; the prompts are real dialogs on a private X server, answered
// with xdotool, and every signature is checked with OpenSSL.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <future>

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

// Browsers by name: "Chromium" or "Firefox".
std::string nameOf(const ::testing::TestParamInfo<std::string>& info) {
    return info.param;
}

class BrowserEndToEnd : public ::testing::TestWithParam<std::string> {
  protected:
    tavrin::testing::TempDir home;
    testing::Xvfb screen;
    // The browser's, and so the host's that it starts; the browser itself is
    // headless and opens no window.
    std::map<std::string, std::string> environment;
    bool chromium = GetParam() == "Chromium";

    void SetUp() override {
        const char* executable = chromium ? testing::kChromium : testing::kFirefox;
        if (!fs::exists(executable))
            GTEST_SKIP() << executable << " is not installed (scripts/install-deps.sh installs it)";

        // The identities, copied so that the browser may open the database
        // for writing without touching the shared fixture.
        fs::copy(fs::path(TAVRIN_NSS_HOME) / ".pki", home.path() / ".pki",
                 fs::copy_options::recursive);
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
        }
        environment = {{"HOME", home.path().string()}, {"DISPLAY", screen.display()}};
    }

    // Browser logs and screenshots of this test.
    static fs::path artefacts() {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(test->test_suite_name()) + "." + test->name();
        std::replace(name.begin(), name.end(), '/', '_');
        return fs::path(TAVRIN_TEST_ARTIFACTS) / "e2e" / name;
    }

    // Starts the browser, opens the page with the flow `fields` name and
    // answers each prompt that follows with its actions (none: the prompt
    // must go by itself). What the page published, also appended to the
    // test's outcomes.log; fails the test when nothing came.
    json flow(std::initializer_list<std::pair<std::string, std::string>> fields,
              const std::vector<std::vector<std::string>>& prompts = {}) {
        std::string query;
        for (const auto& [name, value] : fields)
            query += (query.empty() ? "" : "&") + name + "=" + testing::percentEncoded(value);
        const fs::path logs = artefacts();
        fs::create_directories(logs);
        const testing::Flow run{home.path(), environment, logs / (GetParam() + ".log"), query};
        auto running = std::async(std::launch::async, [&] {
            return chromium ? testing::runInChromium(TAVRIN_E2E_EXTENSION, run)
                            : testing::runInFirefox(TAVRIN_E2E_FIREFOX_ADDON, run);
        });
        for (std::size_t i = 0; i < prompts.size(); ++i) {
            const fs::path picture = logs / ("prompt-" + std::to_string(i + 1) + ".png");
            EXPECT_TRUE(screen.handlePrompt(picture, prompts[i])) << "prompt " << i + 1;
        }
        const std::string outcome = running.get();
        std::ofstream(logs / "outcomes.log", std::ios::app) << query << "\n  " << outcome << "\n";
        EXPECT_NE(outcome, "") << "no outcome for " << query << "; logs in " << logs;
        return json::parse(outcome.empty() ? "{}" : outcome);
    }

    // Signs `hash` through the page with the listed certificate whose key is
    // `key` (on the token `token`, when given) and checks the signature
    // against that certificate; the page's outcome.
    json sign(const std::string& key, const std::string& token, const std::string& document,
              const std::vector<std::vector<std::string>>& prompts) {
        const auto hash = tavrin::testing::sha256(document);
        json outcome = flow({{"flow", "sign"},
                             {"origin", kOrigin},
                             {"key", key},
                             {"token", token},
                             {"hash", tavrin::testing::to_base64(hash)}},
                            prompts);
        const json signatures = outcome["reply"]["result"]["signatures"];
        EXPECT_TRUE(signatures.size() == 1 &&
                    tavrin::testing::verifies_with(
                        tavrin::testing::from_base64(outcome.value("der", "")), EVP_sha256(), hash,
                        tavrin::testing::from_base64(signatures[0].get<std::string>())))
            << outcome;
        return outcome;
    }
};

TEST_P(BrowserEndToEnd, StatusOverAOneShotMessage) {
    const json reply = flow({{"flow", "status"}})["reply"];
    EXPECT_EQ(reply["id"], "s") << reply;
    EXPECT_EQ(reply["result"]["backends"], json::array({"keychain"})) << reply;
}

// Which identity serves which purpose is the core's (nss_keychain_test). A
// granted origin is listed without asking: the confirmation must be the
// first prompt, or the flow would wait on the second.
TEST_P(BrowserEndToEnd, ListsForAGrantedOriginAndSignsOnceTheUserConfirms) {
    const json outcome = sign("ec-p256", "", "document signed in a real browser", {{"key Return"}});
    EXPECT_EQ(outcome["listed"],
              json::array({"ec-p256 keychain", "rsa2048 keychain", "rsa4096 keychain"}));
}

INSTANTIATE_TEST_SUITE_P(RealBrowsers, BrowserEndToEnd, ::testing::Values("Chromium", "Firefox"),
                         nameOf);

// A smart card as a Debian user has it: the token's module registered in the
// NSS database that Chromium and the bridge share. The card holds a
// certificate issued by a CA (the SoftHSM2 fixture token "chain"). Chromium
// is the browser Debian users sign in; one browser is enough for what the
// card adds.
class CardEndToEnd : public BrowserEndToEnd {
  protected:
    // Registers SoftHSM2 with the token as a card reader or, with `keypad`,
    // the forwarding module over a copy of SoftHSM2 of its own as a reader
    // with a keypad that takes two seconds for the PIN.
    void insertCard(bool keypad) {
        const fs::path tokens = home.path() / "tokens";
        fs::copy(fs::path(TAVRIN_SOFTHSM_TOKENS) / "chain", tokens, fs::copy_options::recursive);
        const std::string conf = (home.path() / "softhsm2.conf").string();
        tavrin::testing::write_file(conf, "directories.tokendir = " + tokens.string() +
                                              "\nobjectstore.backend = file\nlog.level = ERROR\n");
        std::map<std::string, std::string> card{{"SOFTHSM2_CONF", conf}};
        std::string library = TAVRIN_SOFTHSM_MODULE;
        if (keypad) {
            const fs::path copy = home.path() / "libsofthsm2-copy.so";
            fs::copy_file(TAVRIN_SOFTHSM_MODULE, copy);
            card = {{"TAVRIN_FORWARD_MODULE", copy.string()},
                    {"TAVRIN_FORWARD_SOFTHSM2_CONF", conf},
                    {"TAVRIN_FORWARD_FAKE", "pin-pad"},
                    {"TAVRIN_FORWARD_PAD_DELAY_MS", "2000"}};
            library = TAVRIN_FORWARDING_MODULE;
        }
        std::string command;
        for (const auto& [name, value] : card)
            command += name + "='" + value + "' ";
        command += "modutil -force -dbdir sql:" + (home.path() / ".pki/nssdb").string() +
                   " -add 'Card reader' -libfile " + library + " >/dev/null 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        environment.merge(card);
    }
};

TEST_P(CardEndToEnd, SignsWithACardOnceItsPinIsTyped) {
    insertCard(false);
    sign("rsa2048", "chain", "document signed with a card in a real browser",
         {{"key Return"}, {"type 1234", "key Return"}});
}

// The notice goes by itself once the reader has the PIN.
TEST_P(CardEndToEnd, SignsWithTheReadersKeypadWhileANoticeSaysSo) {
    insertCard(true);
    sign("rsa2048", "chain", "document signed at a keypad in a real browser", {{"key Return"}, {}});
}

INSTANTIATE_TEST_SUITE_P(RealBrowsers, CardEndToEnd, ::testing::Values("Chromium"), nameOf);

}  // namespace
}  // namespace tavrin::host
