// The listing and signing flows end to end: a real consent store on a file in
// a temporary folder, a scripted backend and a scripted user.

#include <gtest/gtest.h>

#include <filesystem>

#include "dispatch/dispatcher.h"
#include "support/scripted_doubles.h"
#include "tests/support/temp_dir.h"

namespace tavrin {
namespace {

using nlohmann::json;
using testing::BackendScript;
using testing::InteractionScript;
using testing::ScriptedBackend;
using testing::ScriptedInteraction;

constexpr const char* kOrigin = "https://shop.example";

// The Keychain form; the PKCS#11 form, where the PIN prompt is the approval,
// is capi_pkcs11_tests' over a real token.
class KeychainFlow : public ::testing::Test {
  protected:
    using Form = Dispatcher<ScriptedBackend<false>, ScriptedInteraction>;

    void SetUp() override {
        certificates = {testing::fake_certificate("first"), testing::fake_certificate("second")};
        backend->listing = certificates;
        reopen();
    }

    void reopen() {
        auto store = ConsentStore::open(consent_path);
        ASSERT_TRUE(store) << store.error().message;
        dispatcher =
            std::make_unique<Form>(std::move(store).value(), ScriptedBackend<false>(backend),
                                   ScriptedInteraction(user), Backend::Keychain);
    }

    json ask(const std::string& request) { return json::parse(dispatcher->handle(request)); }

    json list(const std::string& purpose = "sign", const std::string& origin = kOrigin) {
        const json params = {{"origin", origin}, {"purpose", purpose}};
        return ask(json({{"id", "l"}, {"method", "listCertificates"}, {"params", params}}).dump());
    }

    json sign(const std::string& cert_id, const json& hashes, const std::string& origin = kOrigin) {
        const json params = {{"origin", origin},
                             {"certId", cert_id},
                             {"hashAlg", "SHA-256"},
                             {"scheme", "rsa-pkcs1"},
                             {"hashes", hashes}};
        return ask(json({{"id", "s"}, {"method", "sign"}, {"params", params}}).dump());
    }

    static json hashes(std::size_t n) { return std::vector<std::string>(n, "AAAA"); }

    static json error(const std::string& id, const std::string& code, const std::string& message) {
        return {{"id", id}, {"error", {{"code", code}, {"message", message}}}};
    }

    testing::TempDir dir;
    std::string consent_path = dir.file("consent.json");
    std::shared_ptr<BackendScript> backend = std::make_shared<BackendScript>();
    std::shared_ptr<InteractionScript> user = std::make_shared<InteractionScript>();
    std::vector<CertificateInfo> certificates;
    std::unique_ptr<Form> dispatcher;
};

TEST_F(KeychainFlow, ConsentIsAskedPerNewPurposeAndRemembered) {
    // Declined: nothing listed, nothing stored, asked again next time.
    user->consent_answer = false;
    EXPECT_EQ(list(), error("l", "consent_denied", "user declined the consent dialog"));
    EXPECT_TRUE(backend->list_calls.empty());
    EXPECT_FALSE(std::filesystem::exists(consent_path));
    user->consent_answer = true;

    const json listed = list("sign")["result"]["certificates"];
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0]["certId"], certificates[0].cert_id);
    EXPECT_EQ(listed[1]["certId"], certificates[1].cert_id);

    // The grant survives the process: a new dispatcher on the same file asks
    // nothing, and one granted purpose admits "any", passed on unexpanded.
    reopen();
    list("sign");
    list("any");
    EXPECT_EQ(backend->list_calls,
              (std::vector<Purpose>{Purpose::Sign, Purpose::Sign, Purpose::Any}));
    list("auth");
    list("auth");
    user->consent_answer = false;
    list("any", "https://other.example");
    EXPECT_EQ(user->prompts,
              (std::vector<std::string>{
                  "consent https://shop.example sign", "consent https://shop.example sign",
                  "consent https://shop.example auth", "consent https://other.example sign auth"}));

    backend->listing = BackendError::no_matching_certificates();
    EXPECT_EQ(list(), error("l", "no_certificates", "no certificates match the requested purpose"));
}

TEST_F(KeychainFlow, UnsavedGrantIsReportedAndKeptForThisProcess) {
    // The file cannot be read back under the lock: a folder stands in its place.
    std::filesystem::create_directory(consent_path);
    EXPECT_EQ(list(),
              error("l", "internal", "failed to persist consent: Is a directory (os error 21)"));
    EXPECT_TRUE(backend->list_calls.empty());
    EXPECT_TRUE(list().contains("result"));
    EXPECT_EQ(user->prompts.size(), 1u);
}

TEST_F(KeychainFlow, SignsAfterListingWithConfirmationAndACardsPin) {
    list();
    const std::string& id = certificates[1].cert_id;
    // The scripted backend signs as "sig:" + hash.
    EXPECT_EQ(sign(id, {"AAAA", "AQID"}),
              json({{"id", "s"}, {"result", {{"signatures", {"c2lnOgAAAA==", "c2lnOgECAw=="}}}}}));
    ASSERT_EQ(backend->sign_calls.size(), 1u);
    EXPECT_EQ(backend->sign_calls[0].pin, "");  // a confirmation passes an empty PIN
    EXPECT_EQ(backend->sign_calls[0].hashes, (std::vector<Bytes>{{0, 0, 0}, {1, 2, 3}}));

    // A key on a card asks its PIN after the confirmation.
    backend->approval = KeyApproval::TypedPin;
    EXPECT_TRUE(sign(id, hashes(2)).contains("result"));
    EXPECT_EQ(backend->sign_calls.at(1).pin, "1234");

    // Neither a cancelled PIN prompt nor a declined confirmation (which asks
    // no PIN) reaches the backend.
    user->pin_answer.reset();
    EXPECT_EQ(sign(id, hashes(1)), error("s", "user_cancelled", "user cancelled the PIN prompt"));
    user->confirm_answer = false;
    EXPECT_EQ(sign(id, hashes(1)),
              error("s", "user_cancelled", "user cancelled the signing confirmation"));
    EXPECT_EQ(backend->sign_calls.size(), 2u);
    const std::string shown = std::string(kOrigin) + " " + id;
    EXPECT_EQ(user->prompts,
              (std::vector<std::string>{"consent https://shop.example sign",
                                        "confirm " + shown + " 2", "confirm " + shown + " 2",
                                        "pin " + shown + " 2", "confirm " + shown + " 1",
                                        "pin " + shown + " 1", "confirm " + shown + " 1"}));
}

// A card pulled after the listing: the user is asked to put it back before
// any PIN is asked for it, and a withdrawn keypad login signs nothing.
TEST_F(KeychainFlow, APulledCardIsAskedForBeforeItsPin) {
    list();
    const std::string& id = certificates[0].cert_id;
    const std::string shown = std::string(kOrigin) + " " + id;
    // No notice can be shown: at once no_token, and no PIN prompt.
    backend->approvals = {KeyApproval::InsertCard};
    EXPECT_EQ(sign(id, hashes(1)), error("s", "no_token", "no token/card present"));
    // The card is back on the second look: then its PIN.
    user->notices_shown = true;
    backend->approvals = {KeyApproval::InsertCard, KeyApproval::InsertCard, KeyApproval::TypedPin};
    EXPECT_TRUE(sign(id, hashes(2)).contains("result"));
    // The user gives up waiting.
    backend->approval = KeyApproval::InsertCard;
    user->notice_cancelled = true;
    EXPECT_EQ(sign(id, hashes(1)), error("s", "no_token", "no token/card present"));
    // A keypad notice closed under the login (the page went away).
    backend->approval = KeyApproval::PinPad;
    EXPECT_EQ(sign(id, hashes(1)), error("s", "user_cancelled", "stopped after the login"));
    ASSERT_EQ(backend->sign_calls.size(), 1u);
    EXPECT_EQ(backend->sign_calls[0].pin, "1234");
    const std::string card = "wait card https://shop.example ";
    EXPECT_EQ(user->prompts,
              (std::vector<std::string>{
                  "consent https://shop.example sign", "confirm " + shown + " 1", card + "1",
                  "confirm " + shown + " 2", card + "2", "end wait", "pin " + shown + " 2",
                  "confirm " + shown + " 1", card + "1", "end wait", "confirm " + shown + " 1",
                  "wait pad https://shop.example 1", "end wait"}));
}

TEST_F(KeychainFlow, SignIsAdmittedOnlyForCertificatesListedToThatOrigin) {
    const std::string not_allowed =
        "certId was not returned to this origin by a prior listCertificates call";
    EXPECT_EQ(sign(certificates[0].cert_id, hashes(1)),
              error("s", "origin_not_allowed", not_allowed));
    EXPECT_TRUE(user->prompts.empty());

    list();
    for (const std::string other :
         {"https://shop.example:8443", "https://shop.example.", "https://other"}) {
        EXPECT_EQ(sign(certificates[0].cert_id, hashes(1), other),
                  error("s", "origin_not_allowed", not_allowed))
            << other;
    }
    EXPECT_EQ(sign(std::string(64, '0'), hashes(1)), error("s", "origin_not_allowed", not_allowed));
    EXPECT_EQ(user->prompts.size(), 1u);  // the listing's consent

    // A listing in a new process starts over: the index is not persisted.
    reopen();
    EXPECT_EQ(sign(certificates[0].cert_id, hashes(1)),
              error("s", "origin_not_allowed", not_allowed));
}

TEST_F(KeychainFlow, RefusalsComeInOrderCountThenCertificateThenBase64) {
    EXPECT_EQ(ask(R"({"id":"x","method":"sign","params":{"origin":"https://o.example"}})"),
              error("x", "request_invalid", "invalid sign params: missing key \"certId\""));
    list();
    const std::string unknown(64, 'f');
    EXPECT_EQ(sign(certificates[0].cert_id, hashes(0)),
              error("s", "request_invalid", "hashes count 0 outside allowed range 1..=50"));
    EXPECT_EQ(sign(unknown, hashes(51)),
              error("s", "request_invalid", "hashes count 51 outside allowed range 1..=50"));
    EXPECT_EQ(sign(unknown, {"not base64!"})["error"]["code"], "origin_not_allowed");
    EXPECT_EQ(
        sign(certificates[0].cert_id, {"AAAA", "AA="}),
        error("s", "request_invalid", "invalid base64 in hashes: length 3 is not a multiple of 4"));
    EXPECT_EQ(user->prompts.size(), 1u);  // only the consent of the listing
    EXPECT_TRUE(sign(certificates[0].cert_id, hashes(50)).contains("result"));
    EXPECT_EQ(backend->sign_calls.at(0).hashes.size(), 50u);
}

TEST_F(KeychainFlow, OnlySerializedWebOriginsArePromptedOrStored) {
    for (const std::string origin :
         {"https://xn--bnka-5qa.cz", "https://a-b_c.example.co.uk:8443", "https://example.cz.",
          "https://192.168.1.10:65535", "https://[2001:db8::1]", "https://[::ffff:c000:280]:8443",
          "http://localhost", "http://127.0.0.1:8080", "http://[::1]:3000"}) {
        EXPECT_TRUE(list("sign", origin).contains("result")) << origin;
    }
    EXPECT_EQ(user->prompts.size(), 9u);

    const std::string invalid = "invalid listCertificates params: origin";
    const struct {
        std::string origin;
        std::string problem;
    } refused[] = {
        {"", " is empty"},
        {"https://banka.cz\n\n\n.evil.example", " contains a control character at byte offset 16"},
        {"https://Banka.cz", " contains an upper-case letter at byte offset 8"},
        {"https://b\xC3\xA1nka.cz",
         " contains a non-ASCII byte (internationalised names are written in punycode) at byte "
         "offset 9"},
        {"https://banka.cz evil", " contains white space at byte offset 16"},
        {"https://banka.cz/", " must not have a path, query or fragment"},
        {"https://user@banka.cz", " must not have user information"},
        {"null",
         R"( must begin with "https://" ("http://" only for localhost, 127.0.0.1 and [::1]))"},
        {"http://banka.cz",
         R"( uses "http://", which is accepted only for localhost, 127.0.0.1 and [::1])"},
        {"https://banka.cz:443", " must omit the scheme's default port 443"},
        {"http://localhost:80", " must omit the scheme's default port 80"},
        {"https://banka.cz:0", "'s port must be a number from 1 to 65535 without leading zeros"},
        {"https://banka.cz:065", "'s port must be a number from 1 to 65535 without leading zeros"},
        {"https://banka.cz:65536",
         "'s port must be a number from 1 to 65535 without leading zeros"},
        {"https://", " has no host"},
        {"https://a..cz", "'s host has an empty label"},
        {"https://1.2.3", "'s host is not an IPv4 address in dotted-quad form"},
        {"https://1.2.3.256", "'s host is not an IPv4 address in dotted-quad form"},
        {"https://[::1", "'s IPv6 address lacks its closing ']'"},
        {"https://[1:2:3]", "'s host is not a valid IPv6 address"},
        {"https://banka.cz\\evil",
         "'s host contains '\\'; a host name holds only a-z, 0-9, '-', '_' and '.'"},
        {"https://" + std::string(248, 'a'), " is 256 bytes long, more than 255"},
    };
    for (const auto& c : refused) {
        EXPECT_EQ(list("sign", c.origin), error("l", "request_invalid", invalid + c.problem))
            << c.origin;
        EXPECT_EQ(sign(certificates[0].cert_id, hashes(1), c.origin)["error"]["message"],
                  "invalid sign params: origin" + c.problem);
    }
    EXPECT_EQ(user->prompts.size(), 9u);  // nothing asked, so nothing stored
}

TEST_F(KeychainFlow, RepliesFitTheBrowsersOneMebibyteLimit) {
    // Request text repeated in a reply is shortened.
    const std::string long_text(400000, 'm');
    const std::string shortened = std::string(256, 'm') + "...[shortened from 400000 bytes]";
    EXPECT_EQ(ask(R"({"id":")" + long_text + R"(","method":")" + long_text + R"("})"),
              error(shortened, "request_invalid", "unknown method: " + shortened));

    // A listing whose reply is exactly 1 MiB is sent; one byte more is not.
    const auto listing = [&](const std::string& id) {
        return dispatcher->handle(R"({"id":")" + id +
                                  R"(","method":"listCertificates","params":{"origin":")" +
                                  kOrigin + R"(","purpose":"sign"}})");
    };
    backend->listing = CertificateList{testing::fake_certificate("abc")};
    const std::size_t overhead = listing("").size() - 4;  // "abc" is 4 Base64 characters
    const std::size_t der = 3 * ((kMaxReplyBytes - overhead - 100) / 4);
    backend->listing = CertificateList{testing::fake_certificate(std::string(der, 'x'))};
    const std::string id(kMaxReplyBytes - listing("").size(), 'i');
    EXPECT_EQ(listing(id).size(), kMaxReplyBytes);
    EXPECT_EQ(json::parse(listing(id + "i")),
              error(id + "i", "internal",
                    "reply of 1048577 bytes exceeds the 1048576-byte limit a browser accepts"));
}

}  // namespace
}  // namespace tavrin
