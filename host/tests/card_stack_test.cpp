// A card that comes and goes on a real card stack: a private pcscd with
// vpcd's reader, an emulated CAC card in it, OpenSC reading it through
// p11-kit as on a user's machine, and the real executable over pipes;
// without a display (so a listing never waits for a card to be inserted)
// unless a case answers prompts on a private X server.

#include <gtest/gtest.h>

#include <signal.h>

#include <future>
#include <memory>
#include <thread>

#include <nlohmann/json.hpp>

#include <openssl/evp.h>

#include "support/host_process.h"
#include "support/xvfb.h"
#include "tests/support/signature_check.h"
#include "tests/support/temp_dir.h"
#include "tests/support/virtual_card_stack.h"

namespace tavrin::host {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using testing::HostSession;
using testing::VirtualCardStack;

constexpr const char* kOrigin = "https://podpis.example.cz";

class CardStackTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (auto why = VirtualCardStack::unavailable(TAVRIN_VIRTUAL_CARD_PROGRAM))
            GTEST_SKIP() << *why;
        testing::write_file(
            home.path() / ".local/share/cz.tavrin.bridge/consent.json",
            json{{"origins",
                  {{kOrigin, {{"purposes", {"sign", "auth"}}, {"grantedAtUnix", 1767225600}}}}}}
                .dump());
    }

    // The stack starts in each case, so that a case skipped for want of the
    // product's side costs nothing.
    void start() { stack = std::make_unique<VirtualCardStack>(TAVRIN_VIRTUAL_CARD_PROGRAM); }

    // Runs one host in the home, reaching the stack's pcscd, for `session`;
    // on the private screen once there is one.
    void serve(const std::function<void(HostSession&)>& session) {
        testing::HostRun run{{"chrome-extension://jigokomhlkbkpcgkinakfomodbijdcpi/"}, home.path()};
        run.environment = stack->environment();
        if (screen) run.environment["DISPLAY"] = screen->display();
        // A failing step of the stack fails the case; the host then ends.
        run.session = [&](HostSession& host) {
            try {
                session(host);
            } catch (const std::exception& error) {
                ADD_FAILURE() << error.what();
            }
        };
        const auto result = testing::runHost(run);
        EXPECT_EQ(result.exitStatus, 0) << result.err;
    }

    // Answers the next prompt with `actions`, photographed as `name`.
    void answer(HostSession& host, const std::string& name,
                const std::vector<std::string>& actions) {
        if (screen->handlePrompt(fs::path(TAVRIN_TEST_ARTIFACTS) / (name + ".png"), actions))
            return;
        ::kill(host.pid(), SIGKILL);  // it may wait on a prompt nobody sees
        FAIL() << "the " << name << " prompt did not appear or did not go";
    }

    // The card's certificates in a listing; the reply itself when it failed.
    static json cardCertificates(HostSession& host) {
        host.send(R"({"id":"l","method":"listCertificates","params":{"origin":")" +
                  std::string(kOrigin) + R"(","purpose":"sign"}})");
        const json reply = json::parse(host.receive(), nullptr, false);
        if (!reply.contains("result")) return reply;
        json found = json::array();
        for (const json& certificate : reply["result"]["certificates"])
            if (certificate.value("tokenLabel", "") == VirtualCardStack::kHolder)
                found.push_back(certificate);
        return found;
    }

    // A listing that found no certificate of the card.
    static bool withoutTheCard(const json& listed) {
        if (listed.is_array()) return listed.empty();
        return listed.is_object() && listed.contains("error") &&
               listed["error"].value("code", "") == "no_certificates";
    }

    // Lists until the card is (or is no longer) among the certificates; the
    // last listing. The card service reports a reader's change after its own
    // poll, so the first listing after a change may not show it yet.
    static json listUntil(HostSession& host, bool withCard) {
        json listed;
        for (int i = 0; i < 60; ++i) {
            listed = cardCertificates(host);
            if (withCard ? listed.size() == 1u && listed.is_array() : withoutTheCard(listed)) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
        }
        return listed;
    }

    // Asks for a signature of one hash with `certificate`; the hash.
    static std::vector<std::uint8_t> sendSignature(HostSession& host, const json& certificate) {
        return host.sendSign(kOrigin, certificate["certId"], {testing::sha256("card stack")})[0];
    }

    // Signs one hash with `certificate`: confirmed, the card's PIN typed
    // (prompts photographed as `name`-*), and the signature verified.
    void signsWithThePin(HostSession& host, const json& certificate, const std::string& name) {
        const auto hash = sendSignature(host, certificate);
        answer(host, name + "-confirmation", {"key Return"});
        answer(host, name + "-pin", {std::string("type ") + VirtualCardStack::kPin, "key Return"});
        const json reply = json::parse(host.receive(), nullptr, false);
        ASSERT_TRUE(reply.contains("result")) << reply.dump();
        EXPECT_TRUE(testing::verifies_with(testing::from_base64(certificate["der"]), EVP_sha256(),
                                           hash,
                                           testing::from_base64(reply["result"]["signatures"][0])));
    }

    testing::TempDir home;
    std::unique_ptr<VirtualCardStack> stack;
    std::unique_ptr<testing::Xvfb> screen;
};

TEST_F(CardStackTest, APulledCardLeavesTheListingAndANewHostFindsItAgain) {
    start();
    serve([&](HostSession& host) {
        EXPECT_EQ(cardCertificates(host).size(), 1u);
        stack->pullCard();
        // Without a display no card is asked for: the answer comes at once.
        const json after = listUntil(host, false);
        EXPECT_TRUE(withoutTheCard(after)) << after.dump();
    });
    stack->insertCard();
    serve([&](HostSession& host) { EXPECT_EQ(cardCertificates(host).size(), 1u); });
}

TEST_F(CardStackTest, AListingWithoutTheCardServiceAnswersAndANewHostFindsTheCardAfterIt) {
    start();
    stack->stopService();
    serve([&](HostSession& host) {
        const json listed = cardCertificates(host);
        EXPECT_TRUE(withoutTheCard(listed)) << listed.dump();
    });
    stack->startService();
    serve([&](HostSession& host) { EXPECT_EQ(cardCertificates(host).size(), 1u); });
}

// pcscd goes away under a running host and comes back: the listings go on
// being answered, first without the card, then with it again.
TEST_F(CardStackTest, TheSameHostListsTheCardAgainAfterTheCardServiceRestarts) {
    start();
    serve([&](HostSession& host) {
        EXPECT_EQ(cardCertificates(host).size(), 1u);
        stack->stopService();
        const json stopped = listUntil(host, false);
        EXPECT_TRUE(withoutTheCard(stopped)) << stopped.dump();
        stack->startService();
        const json started = listUntil(host, true);
        EXPECT_TRUE(started.is_array() && started.size() == 1u) << started.dump();
    });
}

// The same process after the card came back: a listing while the card is
// out asks for it, goes on once it is back, and the card then signs.
TEST_F(CardStackTest, ACardPutBackWhileTheHostAsksForItIsListedAndSigns) {
    start();
    screen = std::make_unique<testing::Xvfb>();
    serve([&](HostSession& host) {
        ASSERT_EQ(cardCertificates(host).size(), 1u);
        stack->pullCard();
        // Past the card service's own poll of the reader.
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        auto asking = std::async(std::launch::async, [&] { return cardCertificates(host); });
        const std::string notice = screen->waitForWindow();
        ASSERT_FALSE(notice.empty()) << "no notice asked for the card";
        screen->screenshot(fs::path(TAVRIN_TEST_ARTIFACTS) / "card-back-insert-card.png");
        stack->insertCard();
        EXPECT_TRUE(screen->waitForNoWindow(std::chrono::seconds(30), notice));
        const json listed = asking.get();
        ASSERT_EQ(listed.size(), 1u) << listed.dump();
        signsWithThePin(host, listed[0], "card-back");
    });
}

// One host process while the card comes and goes: a signature with the card
// out asks for it before any PIN (cancelled: no_token); the card pulled while
// its PIN prompt is open answers no_token without trying the PIN; the card back
// signs with the certificate listed at the start.
TEST_F(CardStackTest, EverySignatureWithTheCardGoneAnswersNoTokenAndTheCardBackSigns) {
    start();
    screen = std::make_unique<testing::Xvfb>();
    serve([&](HostSession& host) {
        const json listed = cardCertificates(host);
        ASSERT_EQ(listed.size(), 1u) << listed.dump();
        stack->pullCard();
        sendSignature(host, listed[0]);
        answer(host, "card-out-confirmation", {"key Return"});
        answer(host, "card-out-insert-card", {"key Escape"});
        const json cancelled = json::parse(host.receive(), nullptr, false);
        EXPECT_EQ(cancelled["error"]["code"], "no_token") << cancelled.dump();

        stack->insertCard();
        sendSignature(host, listed[0]);
        answer(host, "card-in-confirmation", {"key Return"});
        ASSERT_FALSE(screen->waitForWindow().empty()) << "no PIN prompt";
        stack->pullCard();
        answer(host, "card-pulled-pin",
               {std::string("type ") + VirtualCardStack::kPin, "key Return"});
        const json pulled = json::parse(host.receive(), nullptr, false);
        EXPECT_EQ(pulled["error"]["code"], "no_token") << pulled.dump();
        EXPECT_NE(pulled["error"]["message"].get<std::string>().find("no PIN was tried"),
                  std::string::npos)
            << pulled.dump();

        stack->insertCard();
        signsWithThePin(host, listed[0], "card-in-again");
    });
}

// The fixture's card itself, through OpenSC's own tool: its PIN is the
// database's password, and a wrong one costs a try as on a real card.
TEST_F(CardStackTest, TheCardSignsWithItsPinAndCountsWrongOnes) {
    start();
    const std::string sign =
        std::string("pkcs11-tool --module ") + VirtualCardStack::kOpenScModule +
        " --login --sign --mechanism SHA256-RSA-PKCS --id 0001 -i " +
        stack->certificate().string() + " -o " + (stack->folder() / "signature-").string();
    const struct {
        std::string pin;
        std::string expected;
    } cases[] = {
        {"9999", "CKR_PIN_INCORRECT"}, {VirtualCardStack::kPin, "Using signature algorithm"},
        {"9999", "CKR_PIN_INCORRECT"}, {"9999", "CKR_PIN_INCORRECT"},
        {"9999", "CKR_PIN_LOCKED"},    {VirtualCardStack::kPin, "CKR_PIN_LOCKED"}};
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const std::string output =
            stack->clientOutput(sign + std::to_string(i) + " --pin " + cases[i].pin);
        EXPECT_NE(output.find(cases[i].expected), std::string::npos) << i << ": " << output;
    }
    const std::string folder = stack->folder().string();
    EXPECT_EQ(testing::shellOutput("cd '" + folder +
                                   "' && openssl x509 -pubkey -noout -in card.pem >key.pub && "
                                   "openssl dgst -sha256 -verify key.pub -signature signature-1 "
                                   "card.pem"),
              "Verified OK\n");
}

}  // namespace
}  // namespace tavrin::host
