// Signing with a smart card as a Linux user does it: a SoftHSM2 token whose
// module is registered in the user's NSS database, the real executable in
// host mode, the signature confirmed and the card's PIN typed into the real
// prompts on a private X server. Every signature is checked with OpenSSL.

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <map>
#include <thread>

#include <nlohmann/json.hpp>

#include <openssl/evp.h>

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

// Whether `signature` (Base64) signs `hash` with the key of the listed
// certificate `der` (Base64).
bool verifies(const json& der, const std::vector<std::uint8_t>& hash, const json& signature) {
    return testing::verifies_with(testing::from_base64(der), EVP_sha256(), hash,
                                  testing::from_base64(signature));
}

// A copy of the fixture token "main" in `home` and a SoftHSM2 configuration
// that finds it there; the configuration's path.
std::string copyMainToken(const fs::path& home) {
    const fs::path tokens = home / "tokens";
    fs::create_directories(tokens);
    fs::copy(fs::path(TAVRIN_SOFTHSM_TOKENS) / "main", tokens, fs::copy_options::recursive);
    const std::string conf = (home / "softhsm2.conf").string();
    testing::write_file(conf, "directories.tokendir = " + tokens.string() +
                                  "\nobjectstore.backend = file\nlog.level = ERROR\n");
    testing::write_file(
        home / ".local/share/cz.tavrin.bridge/consent.json",
        json{{"origins", {{kOrigin, {{"purposes", {"sign"}}, {"grantedAtUnix", 1767225600}}}}}}
            .dump(2));
    return conf;
}

class TokenSigningTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // The fixture token "main" and an NSS database with its module, as
        // modutil (or Debian's pkcs11-register) leaves them.
        softhsmConf = copyMainToken(home.path());
        fs::create_directories(home.path() / ".pki/nssdb");
        run("certutil -N -d " + database() + " --empty-password");
    }

    std::string database() const { return "sql:" + (home.path() / ".pki/nssdb").string(); }

    // Registers SoftHSM2's module in the database as it is, or, with
    // `fakes`, the forwarding module (over a copy of SoftHSM2 of its own)
    // that makes the token behave as the fakes say; the host's environment
    // follows.
    void registerModule(const std::string& fakes = "",
                        std::map<std::string, std::string> more = {}) {
        environment = {{"DISPLAY", screen.display()}};
        if (fakes.empty()) {
            environment["SOFTHSM2_CONF"] = softhsmConf;
            run("SOFTHSM2_CONF=" + softhsmConf + " modutil -force -dbdir " + database() +
                " -add 'Test card' -libfile " + TAVRIN_SOFTHSM_MODULE);
            return;
        }
        const fs::path copy = home.path() / "libsofthsm2-copy.so";
        fs::copy_file(TAVRIN_SOFTHSM_MODULE, copy, fs::copy_options::overwrite_existing);
        environment["TAVRIN_FORWARD_MODULE"] = copy.string();
        environment["TAVRIN_FORWARD_SOFTHSM2_CONF"] = softhsmConf;
        environment["TAVRIN_FORWARD_FAKE"] = fakes;
        environment.merge(more);
        std::string prefix;
        for (const auto& [name, value] : environment)
            prefix += name + "='" + value + "' ";
        run(prefix + "modutil -force -dbdir " + database() + " -add 'Test reader' -libfile " +
            TAVRIN_FORWARDING_MODULE);
    }

    static void run(const std::string& command) {
        ASSERT_EQ(std::system((command + " >/dev/null 2>&1").c_str()), 0) << command;
    }

    // Answers the next prompt with `actions`, photographed as `name`; with
    // no actions, waits for it to go by itself (a notice).
    void answer(HostSession& host, const std::string& name,
                const std::vector<std::string>& actions) {
        const std::string window = screen.waitForWindow();
        if (window.empty()) {
            ::kill(host.pid(), SIGKILL);
            FAIL() << "the " << name << " prompt did not appear";
        }
        screen.screenshot(fs::path(TAVRIN_TEST_ARTIFACTS) / (name + ".png"));
        if (!actions.empty()) screen.answerPrompt(window, actions);
        // The next prompt may follow at once: wait for this one to go.
        for (int i = 0; i < 300; ++i) {
            const std::string shown =
                screen.run("xdotool search --onlyvisible --name . 2>/dev/null");
            if (shown.find(window) == std::string::npos) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        FAIL() << "the " << name << " prompt stayed on screen";
    }

    json signRequest(const std::string& certId,
                     const std::vector<std::vector<std::uint8_t>>& hashes,
                     const std::string& scheme) {
        json encoded = json::array();
        for (const auto& hash : hashes)
            encoded.push_back(testing::to_base64(hash));
        return {{"id", "sign"},
                {"method", "sign"},
                {"params",
                 {{"origin", kOrigin},
                  {"certId", certId},
                  {"hashAlg", "SHA-256"},
                  {"scheme", scheme},
                  {"hashes", encoded}}}};
    }

    static void sendListing(HostSession& host, const std::string& purpose) {
        host.send(R"({"id":"l","method":"listCertificates","params":{"origin":")" +
                  std::string(kOrigin) + R"(","purpose":")" + purpose + R"("}})");
    }

    // Sends a listing and returns its reply parsed.
    json list(HostSession& host, const std::string& purpose = "any") {
        sendListing(host, purpose);
        return json::parse(host.receive(), nullptr, false);
    }

    // Runs a host in this home and environment for `session`; it must end
    // normally.
    void serve(const std::function<void(HostSession&)>& session) {
        testing::HostRun run{{"chrome-extension://jigokomhlkbkpcgkinakfomodbijdcpi/"}, home.path()};
        run.environment = environment;
        run.session = session;
        const auto result = testing::runHost(run);
        EXPECT_EQ(result.exitStatus, 0) << result.err;
    }

    testing::Xvfb screen;
    testing::TempDir home;
    std::string softhsmConf;
    std::map<std::string, std::string> environment;
};

TEST_F(TokenSigningTest, TheCardsPinIsAskedAfterTheConfirmationAndEverySignatureVerifies) {
    registerModule();
    serve([&](HostSession& host) {
        const json listed = list(host);
        ASSERT_TRUE(listed.contains("result")) << listed.dump();

        // RSA-2048 with a batch of 50, P-256 and brainpoolP256r1.
        const std::map<std::string, std::pair<std::string, std::size_t>> wanted{
            {"rsa2048", {"rsa-pkcs1", 50}},
            {"ec-p256", {"ecdsa", 1}},
            {"ec-brainpoolP256r1", {"ecdsa", 1}}};
        int signedWith = 0;
        std::string rsaId;
        for (const json& certificate : listed["result"]["certificates"]) {
            const auto entry = wanted.find(certificate["keyAlgorithm"].get<std::string>());
            if (certificate.value("tokenLabel", "") != "main" || entry == wanted.end()) continue;
            SCOPED_TRACE(entry->first);
            const auto& [scheme, count] = entry->second;
            std::vector<std::vector<std::uint8_t>> hashes;
            for (std::size_t i = 0; i < count; ++i)
                hashes.push_back(testing::sha256(entry->first + std::to_string(i)));
            host.send(signRequest(certificate["certId"], hashes, scheme).dump());
            answer(host, "token-confirmation-" + entry->first, {"key Return"});
            answer(host, "token-pin-" + entry->first, {"type 1234", "key Return"});
            const json reply = json::parse(host.receive(), nullptr, false);
            ASSERT_TRUE(reply.contains("result")) << reply.dump();
            const json& signatures = reply["result"]["signatures"];
            ASSERT_EQ(signatures.size(), count);
            for (std::size_t i = 0; i < count; ++i)
                EXPECT_TRUE(verifies(certificate["der"], hashes[i], signatures[i])) << i;
            ++signedWith;
            if (entry->first == "rsa2048") rsaId = certificate["certId"];
        }
        EXPECT_EQ(signedWith, 3);

        // A cancelled PIN prompt signs nothing.
        host.send(signRequest(rsaId, {testing::sha256("x")}, "rsa-pkcs1").dump());
        answer(host, "token-confirmation-cancel", {"key Return"});
        answer(host, "token-pin-cancel", {"key Escape"});
        const json cancelled = json::parse(host.receive(), nullptr, false);
        EXPECT_EQ(cancelled["error"]["code"], "user_cancelled");
        EXPECT_EQ(cancelled["error"]["message"], "user cancelled the PIN prompt");
    });
}

TEST_F(TokenSigningTest, AnEmptyReaderAsksForTheCardAndListsOnceItIsIn) {
    registerModule("late-card", {{"TAVRIN_FORWARD_CARD_AFTER_MS", "4000"}});
    serve([&](HostSession& host) {
        sendListing(host, "sign");
        answer(host, "insert-card", {});  // closes by itself when the card is in
        const json listed = json::parse(host.receive(), nullptr, false);
        ASSERT_TRUE(listed.contains("result")) << listed.dump();
        EXPECT_EQ(listed["result"]["certificates"].size(), 3u);
    });
}

TEST_F(TokenSigningTest, CancellingTheCardNoticeAnswersNoCertificates) {
    registerModule("late-card", {{"TAVRIN_FORWARD_CARD_AFTER_MS", "600000"}});
    serve([&](HostSession& host) {
        sendListing(host, "sign");
        answer(host, "insert-card-cancelled", {"key Escape"});
        const json listed = json::parse(host.receive(), nullptr, false);
        EXPECT_EQ(listed["error"]["code"], "no_certificates") << listed.dump();
        // The host serves on.
        host.send(R"({"id":"s","method":"status"})");
        EXPECT_NE(host.receive().find(R"("result")"), std::string::npos);
    });
}

// A card whose module is registered with p11-kit alone, by a module file in
// the user's own configuration folder: no NSS database at all. p11-kit reads
// that folder only for users other than root, so as root the host runs as
// "nobody".
TEST(TokenThroughP11Kit, AModuleInTheUsersP11KitFolderIsListedWithoutAnyDatabase) {
    testing::TempDir home;
    const std::string conf = copyMainToken(home.path());
    // The forwarding module over a copy of SoftHSM2 of its own: the system's
    // SoftHSM2 module, which p11-kit loads too, sees no test token.
    const fs::path softhsm = home.path() / "libsofthsm2-copy.so";
    fs::copy_file(TAVRIN_SOFTHSM_MODULE, softhsm);
    testing::write_file(home.path() / ".config/pkcs11/modules/test-card.module",
                        std::string("module: ") + TAVRIN_FORWARDING_MODULE + "\n");

    testing::HostRun run{{"chrome-extension://jigokomhlkbkpcgkinakfomodbijdcpi/"}, home.path()};
    run.environment = {{"TAVRIN_FORWARD_MODULE", softhsm.string()},
                       {"TAVRIN_FORWARD_SOFTHSM2_CONF", conf}};
    if (::geteuid() == 0) {
        ASSERT_EQ(std::system(("chown -R 65534:65534 " + home.path().string()).c_str()), 0);
        run.launcher = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
    }
    std::string reply;
    run.session = [&](HostSession& host) {
        host.send(R"({"id":"l","method":"listCertificates","params":{"origin":")" +
                  std::string(kOrigin) + R"(","purpose":"sign"}})");
        reply = host.receive();
    };
    const auto result = testing::runHost(run);
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    const json listed = json::parse(reply, nullptr, false);
    ASSERT_TRUE(listed.contains("result")) << reply << "\n" << result.err;
    // main holds three identities for signing: rsa2048, rsa4096, bp256.
    ASSERT_EQ(listed["result"]["certificates"].size(), 3u);
    for (const json& certificate : listed["result"]["certificates"])
        EXPECT_EQ(certificate["tokenLabel"], "main");
}

}  // namespace
}  // namespace tavrin::host
