// Signing with a smart card as a Linux user does it: a SoftHSM2 token whose
// module is registered in the user's NSS database, the real executable in
// host mode, the card inserted, the signature confirmed and the card's PIN
// typed in the real prompts on a private X server. Every signature is checked
// with OpenSSL.

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <map>

#include <nlohmann/json.hpp>

#include <openssl/evp.h>

#include "support/forwarded_token.h"
#include "support/host_process.h"
#include "support/xvfb.h"
#include "tests/support/signature_check.h"
#include "tests/support/temp_dir.h"

namespace tavrin::host {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using testing::HostSession;

constexpr const char* kOrigin = "https://podpis.example.cz";

class TokenSigningTest : public ::testing::Test {
  protected:
    // A copy of the fixture token "main" in the home, reached through the
    // forwarding module over a copy of SoftHSM2 of its own (the system's
    // SoftHSM2 module, which p11-kit loads too, sees no test token); the
    // fakes make the token behave as they say. The origin is granted.
    void SetUp() override {
        environment = testing::forwardedTokenIn(home.path());
        testing::write_file(
            home.path() / ".local/share/cz.tavrin.bridge/consent.json",
            json{{"origins",
                  {{kOrigin, {{"purposes", {"sign", "auth"}}, {"grantedAtUnix", 1767225600}}}}}}
                .dump());
    }

    // Registers the module in a new NSS database of the home, as modutil (or
    // Debian's pkcs11-register) leaves it; the host then shows its prompts
    // on this screen.
    void registerModule(std::map<std::string, std::string> fakes = {}) {
        environment.merge(fakes);
        std::string prefix;
        for (const auto& [name, value] : environment)
            prefix += name + "='" + value + "' ";
        const std::string database = "sql:" + (home.path() / ".pki/nssdb").string();
        fs::create_directories(home.path() / ".pki/nssdb");
        run("certutil -N -d " + database + " --empty-password");
        run(prefix + "modutil -force -dbdir " + database + " -add 'Test reader' -libfile " +
            TAVRIN_FORWARDING_MODULE);
        environment["DISPLAY"] = screen.display();
    }

    static void run(const std::string& command) {
        ASSERT_EQ(std::system((command + " >/dev/null 2>&1").c_str()), 0) << command;
    }

    // Answers the next prompt with `actions` (none: it goes by itself),
    // photographed as `name`.
    void answer(HostSession& host, const std::string& name,
                const std::vector<std::string>& actions) {
        if (screen.handlePrompt(fs::path(TAVRIN_TEST_ARTIFACTS) / (name + ".png"), actions)) return;
        ::kill(host.pid(), SIGKILL);  // it may wait on a prompt nobody sees
        FAIL() << "the " << name << " prompt did not appear or did not go";
    }

    static void sendListing(HostSession& host, const std::string& purpose) {
        host.send(R"({"id":"l","method":"listCertificates","params":{"origin":")" +
                  std::string(kOrigin) + R"(","purpose":")" + purpose + R"("}})");
    }

    // Runs a host in this home and environment (through `launcher`, if any)
    // for `session`; it must end normally.
    testing::ProcessResult serve(const std::function<void(HostSession&)>& session) {
        testing::HostRun run{{"chrome-extension://jigokomhlkbkpcgkinakfomodbijdcpi/"}, home.path()};
        run.environment = environment;
        run.session = session;
        run.launcher = launcher;
        const auto result = testing::runHost(run);
        EXPECT_EQ(result.exitStatus, 0) << result.err;
        return result;
    }

    testing::Xvfb screen;
    testing::TempDir home;
    std::map<std::string, std::string> environment;
    std::vector<std::string> launcher;
};

// The card goes into the reader while the host asks for it; the listing
// follows once it is in.
TEST_F(TokenSigningTest, TheCardsPinIsAskedAfterTheConfirmationAndEverySignatureVerifies) {
    registerModule(
        {{"TAVRIN_FORWARD_FAKE", "late-card"}, {"TAVRIN_FORWARD_CARD_AFTER_MS", "4000"}});
    serve([&](HostSession& host) {
        sendListing(host, "any");
        answer(host, "insert-card", {});  // goes by itself once the card is in
        const json listed = json::parse(host.receive(), nullptr, false);
        ASSERT_TRUE(listed.contains("result")) << listed.dump();

        // RSA-2048 with a batch of 50, P-256 and brainpoolP256r1.
        const std::map<std::string, std::pair<std::string, std::size_t>> wanted{
            {"rsa2048", {"rsa-pkcs1", 50}},
            {"ec-p256", {"ecdsa", 1}},
            {"ec-brainpoolP256r1", {"ecdsa", 1}}};
        int signedWith = 0;
        json request = {{"id", "sign"}, {"method", "sign"}};
        for (const json& certificate : listed["result"]["certificates"]) {
            const auto entry = wanted.find(certificate["keyAlgorithm"].get<std::string>());
            if (certificate.value("tokenLabel", "") != "main" || entry == wanted.end()) continue;
            SCOPED_TRACE(entry->first);
            const auto& [scheme, count] = entry->second;
            std::vector<std::vector<std::uint8_t>> hashes;
            json encoded = json::array();
            for (std::size_t i = 0; i < count; ++i) {
                hashes.push_back(testing::sha256(entry->first + std::to_string(i)));
                encoded.push_back(testing::to_base64(hashes.back()));
            }
            request["params"] = {{"origin", kOrigin},
                                 {"certId", certificate["certId"]},
                                 {"hashAlg", "SHA-256"},
                                 {"scheme", scheme},
                                 {"hashes", encoded}};
            host.send(request.dump());
            answer(host, "token-confirmation-" + entry->first, {"key Return"});
            answer(host, "token-pin-" + entry->first, {"type 1234", "key Return"});
            const json reply = json::parse(host.receive(), nullptr, false);
            ASSERT_TRUE(reply.contains("result")) << reply.dump();
            const json& signatures = reply["result"]["signatures"];
            ASSERT_EQ(signatures.size(), count);
            const auto der = testing::from_base64(certificate["der"]);
            for (std::size_t i = 0; i < count; ++i) {
                EXPECT_TRUE(testing::verifies_with(der, EVP_sha256(), hashes[i],
                                                   testing::from_base64(signatures[i])))
                    << i;
            }
            ++signedWith;
        }
        EXPECT_EQ(signedWith, 3);

        // A cancelled PIN prompt signs nothing (the last request again).
        host.send(request.dump());
        answer(host, "token-confirmation-cancel", {"key Return"});
        answer(host, "token-pin-cancel", {"key Escape"});
        EXPECT_EQ(json::parse(host.receive())["error"]["code"], "user_cancelled");
    });
}

// The card is pulled after the listing: the signature asks for it before its
// PIN and goes on once it is back, in the same host process, with the
// certificate listed before.
TEST_F(TokenSigningTest, APulledCardIsAskedForBeforeItsPinAndSignsOnceBack) {
    const fs::path card = home.path() / "card-in-reader";
    testing::write_file(card, "in");
    registerModule({{"TAVRIN_FORWARD_CARD_FILE", card.string()}});
    serve([&](HostSession& host) {
        sendListing(host, "sign");
        const json listed = json::parse(host.receive(), nullptr, false);
        ASSERT_TRUE(listed.contains("result")) << listed.dump();
        json certificate;
        for (const json& c : listed["result"]["certificates"])
            if (c["keyAlgorithm"] == "rsa2048") certificate = c;
        ASSERT_TRUE(certificate.is_object()) << listed.dump();

        fs::remove(card);
        const auto hash =
            host.sendSign(kOrigin, certificate["certId"], {testing::sha256("pulled")})[0];
        answer(host, "card-pulled-confirmation", {"key Return"});
        const std::string notice = screen.waitForWindow();
        ASSERT_FALSE(notice.empty()) << "no notice asked for the card";
        screen.screenshot(fs::path(TAVRIN_TEST_ARTIFACTS) / "card-pulled-insert.png");
        testing::write_file(card, "in");
        EXPECT_TRUE(screen.waitForNoWindow(std::chrono::seconds(30), notice));
        answer(host, "card-pulled-pin", {"type 1234", "key Return"});
        const json reply = json::parse(host.receive(), nullptr, false);
        ASSERT_TRUE(reply.contains("result")) << reply.dump();
        EXPECT_TRUE(testing::verifies_with(testing::from_base64(certificate["der"]), EVP_sha256(),
                                           hash,
                                           testing::from_base64(reply["result"]["signatures"][0])));
    });
}

// An empty reader asks for the card; cancelling that notice answers no
// certificates, and the host serves on.
TEST_F(TokenSigningTest, CancellingTheCardNoticeAnswersNoCertificates) {
    registerModule(
        {{"TAVRIN_FORWARD_FAKE", "late-card"}, {"TAVRIN_FORWARD_CARD_AFTER_MS", "600000"}});
    serve([&](HostSession& host) {
        sendListing(host, "sign");
        answer(host, "insert-card-cancelled", {"key Escape"});
        const json listed = json::parse(host.receive(), nullptr, false);
        EXPECT_EQ(listed["error"]["code"], "no_certificates") << listed.dump();
        host.send(R"({"id":"s","method":"status"})");
        EXPECT_NE(host.receive().find(R"("result")"), std::string::npos);
    });
}

// The page goes away while a card-reader notice is shown (the browser closes
// the host's input): the notice goes and the host ends without a reply, also
// while the reader's keypad holds the login and the core call with it.
TEST_F(TokenSigningTest, APageThatGoesAwayTakesTheReaderNoticeWithIt) {
    registerModule();
    const struct {
        const char* name;
        const char* fake;
        const char* waitSetting;  // long enough never to end in the test
        bool signs;               // else a listing waits for the card
    } cases[] = {
        {"insert-card-abandoned", "late-card", "TAVRIN_FORWARD_CARD_AFTER_MS", false},
        {"pin-pad-abandoned", "pin-pad", "TAVRIN_FORWARD_PAD_DELAY_MS", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        environment["TAVRIN_FORWARD_FAKE"] = c.fake;
        environment[c.waitSetting] = "600000";
        bool shown = false, gone = false, ended = false;
        const auto result = serve([&](HostSession& host) {
            sendListing(host, "sign");
            if (c.signs) {
                const json listed = json::parse(host.receive(), nullptr, false);
                ASSERT_TRUE(listed.contains("result")) << listed.dump();
                const json& certificate = listed["result"]["certificates"][0];
                const std::string scheme =
                    certificate["keyAlgorithm"].get<std::string>().starts_with("rsa") ? "rsa-pkcs1"
                                                                                      : "ecdsa";
                host.sendSign(kOrigin, certificate["certId"], {testing::sha256("abandoned")},
                              scheme);
                answer(host, "token-confirmation-abandoned", {"key Return"});
            }
            const std::string notice = screen.waitForWindow();
            shown = !notice.empty();
            screen.screenshot(fs::path(TAVRIN_TEST_ARTIFACTS) / (std::string(c.name) + ".png"));
            ended = host.hangUp();
            gone = screen.waitForNoWindow(std::chrono::seconds(30), notice);
        });
        EXPECT_TRUE(shown);
        EXPECT_TRUE(ended) << "the host stayed after its input ended";
        EXPECT_TRUE(gone) << "the notice stayed after its page had gone";
        EXPECT_EQ(result.out, "");
        EXPECT_NE(result.err.find("the browser closed the connection"), std::string::npos)
            << result.err;
    }
}

// A card whose module is registered with p11-kit alone, by a module file in
// the user's own configuration folder: no NSS database at all. p11-kit reads
// that folder only for users other than root, so as root the host runs as
// "nobody".
TEST_F(TokenSigningTest, AModuleInTheUsersP11KitFolderIsListedWithoutAnyDatabase) {
    testing::write_file(home.path() / ".config/pkcs11/modules/test-card.module",
                        std::string("module: ") + TAVRIN_FORWARDING_MODULE + "\n");
    if (::geteuid() == 0) {
        run("chown -R 65534:65534 " + home.path().string());
        launcher = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
    }
    json listed;
    serve([&](HostSession& host) {
        sendListing(host, "sign");
        listed = json::parse(host.receive(), nullptr, false);
    });
    ASSERT_TRUE(listed.contains("result")) << listed.dump();
    // main holds three identities for signing: rsa2048, rsa4096, bp256.
    ASSERT_EQ(listed["result"]["certificates"].size(), 3u);
    for (const json& certificate : listed["result"]["certificates"])
        EXPECT_EQ(certificate["tokenLabel"], "main");
}

}  // namespace
}  // namespace tavrin::host
