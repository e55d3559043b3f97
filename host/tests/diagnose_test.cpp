// "tavrin-bridge diagnose" through the real executable in scratch homes: a
// SoftHSM2 card reached through p11-kit beside a registered module whose
// library is gone, an empty reader without the card service, a healthy
// home, the browsers' manifests, and a module that never initialises.

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <map>
#include <thread>

#include <nlohmann/json.hpp>

#include "support/forwarded_token.h"
#include "support/host_process.h"
#include "support/xvfb.h"
#include "tests/support/temp_dir.h"

namespace tavrin::host {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

struct Diagnosis {
    int exitStatus = -1;
    json report;
    std::string text;
    std::string err;
};

// The items of a section, by name.
std::map<std::string, json> items(const json& report, const std::string& section) {
    std::map<std::string, json> byName;
    for (const json& item : report["sections"][section]["items"])
        byName[item["name"].get<std::string>()] = item;
    return byName;
}

std::string problemsOf(const json& item) {
    std::string text;
    for (const json& problem : item.value("problems", json::array()))
        text += problem["problem"].get<std::string>() + " / " +
                problem["whatToDo"].get<std::string>() + "\n";
    return text;
}

class DiagnoseTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // The system's SoftHSM2 (registered with p11-kit) gets an empty token
        // folder of the home, so that it loads for any user.
        fs::create_directories(home.path() / "system-tokens");
        testing::write_file(home.path() / "system-softhsm2.conf",
                            "directories.tokendir = " + (home.path() / "system-tokens").string() +
                                "\nobjectstore.backend = file\nlog.level = ERROR\n");
        environment["SOFTHSM2_CONF"] = (home.path() / "system-softhsm2.conf").string();
        // No card service unless a test starts one.
        environment["PCSCLITE_CSOCK_NAME"] = (home.path() / "no-pcscd.comm").string();
    }

    void TearDown() override {
        stopService = true;
        if (service.joinable()) service.join();
        if (pcscd >= 0) ::close(pcscd);
    }

    // The fixture token "main" behind the forwarding module.
    void cardInForwardingModule() { environment.merge(testing::forwardedTokenIn(home.path())); }

    // A new NSS database with the modules appended to its module list, as
    // modutil leaves them (a library that is gone cannot be added by modutil
    // any more, but stays listed when its middleware is removed later).
    void databaseWithModules(const std::map<std::string, std::string>& modules) {
        const fs::path database = home.path() / ".pki/nssdb";
        fs::create_directories(database);
        run("certutil -N -d sql:" + database.string() + " --empty-password");
        std::string list = testing::read_file(database / "pkcs11.txt");
        for (const auto& [name, library] : modules)
            list += "\nlibrary=" + library + "\nname=\"" + name + "\"\n";
        testing::write_file(database / "pkcs11.txt", list);
    }

    // A socket that accepts connections where the card service would listen,
    // and closes each at once: a card module then finds no reader quickly
    // (one that waited for an answer would hold the module's step).
    void cardService() {
        const fs::path socketPath = home.path() / "pcscd.comm";
        pcscd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
        ASSERT_EQ(::bind(pcscd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ASSERT_EQ(::listen(pcscd, 8), 0);
        ::chmod(socketPath.c_str(), 0777);
        environment["PCSCLITE_CSOCK_NAME"] = socketPath.string();
        service = std::thread([this] {
            while (!stopService) {
                pollfd waiting{pcscd, POLLIN, 0};
                if (::poll(&waiting, 1, 100) != 1) continue;
                if (const int client = ::accept4(pcscd, nullptr, nullptr, SOCK_CLOEXEC);
                    client >= 0)
                    ::close(client);
            }
        });
    }

    // p11-kit reads a user's module folder only for users other than root.
    void runAsNobodyIfRoot() {
        if (::geteuid() != 0) return;
        run("chown -R 65534:65534 " + home.path().string());
        launcher = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
    }

    static void run(const std::string& command) {
        ASSERT_EQ(std::system((command + " >/dev/null 2>&1").c_str()), 0) << command;
    }

    Diagnosis diagnose(bool asJson = true) {
        testing::HostRun run{{"diagnose"}, home.path()};
        if (asJson) run.arguments.push_back("--json");
        run.environment = environment;
        run.launcher = launcher;
        const auto result = testing::runHost(run);
        Diagnosis diagnosis{result.exitStatus, json(), result.out, result.err};
        if (asJson) diagnosis.report = json::parse(result.out, nullptr, false);
        return diagnosis;
    }

    testing::TempDir home;
    std::map<std::string, std::string> environment;
    std::vector<std::string> launcher;
    int pcscd = -1;
    std::thread service;
    std::atomic<bool> stopService = false;
};

TEST_F(DiagnoseTest, ATokenThroughP11KitAndARegisteredModuleWhoseLibraryIsGone) {
    cardInForwardingModule();
    testing::write_file(home.path() / ".config/pkcs11/modules/test-card.module",
                        std::string("module: ") + TAVRIN_FORWARDING_MODULE + "\n");
    databaseWithModules({{"Gone card", "/opt/gone-middleware/libgone-pkcs11.so"}});
    runAsNobodyIfRoot();

    const Diagnosis diagnosis = diagnose();
    ASSERT_TRUE(diagnosis.report.is_object()) << diagnosis.text << diagnosis.err;
    EXPECT_EQ(diagnosis.exitStatus, 1);

    const auto store = items(diagnosis.report, "identityStore");
    ASSERT_TRUE(store.contains("module \"Gone card\"")) << diagnosis.text;
    const json& gone = store.at("module \"Gone card\"");
    EXPECT_EQ(gone["library"], "/opt/gone-middleware/libgone-pkcs11.so");
    EXPECT_EQ(gone["loads"], false);
    EXPECT_NE(gone["reason"].get<std::string>().find("No such file"), std::string::npos);
    EXPECT_NE(problemsOf(gone).find("modutil -dbdir sql:"), std::string::npos) << problemsOf(gone);
    ASSERT_TRUE(store.contains("module \"test-card\"")) << diagnosis.text;
    EXPECT_EQ(store.at("module \"test-card\"")["loads"], true);

    // The card: its label and identities, as a listing would show them.
    json token;
    for (const auto& [name, reader] : items(diagnosis.report, "readersAndCards"))
        for (const json& part : reader.value("items", json::array()))
            if (part["name"] == "token \"main\"") token = part;
    ASSERT_TRUE(token.is_object()) << diagnosis.report.dump(2);
    EXPECT_EQ(token["signingIdentities"], 3);
    for (const json& certificate : token["items"]) {
        EXPECT_FALSE(certificate["issuer"].get<std::string>().empty());
        EXPECT_FALSE(certificate["validUntil"].get<std::string>().empty());
        EXPECT_FALSE(certificate.contains("der"));
    }
}

// An empty reader (the module's slots are a reader's, the card comes much
// later) and no card service; the text form names both and what to do.
TEST_F(DiagnoseTest, AnEmptyReaderWithoutTheCardService) {
    cardInForwardingModule();
    environment["TAVRIN_FORWARD_FAKE"] = "late-card";
    environment["TAVRIN_FORWARD_CARD_AFTER_MS"] = "600000";
    databaseWithModules({{"Test reader", TAVRIN_FORWARDING_MODULE}});

    const Diagnosis diagnosis = diagnose(false);
    EXPECT_EQ(diagnosis.exitStatus, 1) << diagnosis.text;
    for (const std::string expected :
         {"* PC/SC service (pcscd)", "answers: no", "Install and start pcscd",
          "module: Test reader", "card present: no", "note: no card in this reader",
          "PROBLEM: no identity for signing was found"}) {
        EXPECT_NE(diagnosis.text.find(expected), std::string::npos) << expected << "\n"
                                                                    << diagnosis.text;
    }
}

// A software database with identities, a reachable display, a card service,
// a connected browser and a consent file as the bridge writes it: nothing to
// report.
TEST_F(DiagnoseTest, AHealthyHomeExitsZero) {
    fs::copy(fs::path(TAVRIN_NSS_HOME) / ".pki", home.path() / ".pki", fs::copy_options::recursive);
    cardService();
    testing::Xvfb screen;
    environment["DISPLAY"] = screen.display();
    fs::create_directories(home.path() / ".config/google-chrome");
    testing::HostRun install{{"install-native-messaging-host", "--browser", "chrome"}, home.path()};
    ASSERT_EQ(testing::runHost(install).exitStatus, 0);
    const fs::path consent = home.path() / ".local/share/cz.tavrin.bridge/consent.json";
    testing::write_file(consent, R"({"origins":{"https://podpis.example.cz":{"purposes":["sign"],)"
                                 R"("grantedAtUnix":1767225600}}})");
    fs::permissions(consent, fs::perms::owner_read | fs::perms::owner_write);

    const Diagnosis diagnosis = diagnose();
    ASSERT_TRUE(diagnosis.report.is_object()) << diagnosis.text << diagnosis.err;
    EXPECT_EQ(diagnosis.exitStatus, 0) << diagnosis.report.dump(2);
    EXPECT_EQ(diagnosis.report["problems"], 0);
    const json software = items(diagnosis.report, "softwareDatabase").at("software identities");
    // rsa2048 (both), rsa4096 (sign), p256 (auth); "nokey" has no key.
    EXPECT_EQ(software["signingIdentities"], 2);
    EXPECT_EQ(software["authenticationIdentities"], 2);
    EXPECT_EQ(items(diagnosis.report, "consentStore").at("consent.json")["origins"], 1);
    EXPECT_EQ(items(diagnosis.report, "consentStore").at("consent.json")["mode"], "0600");
    EXPECT_EQ(items(diagnosis.report, "browsers").at("Google Chrome (chrome)")["connected"], true);
}

TEST_F(DiagnoseTest, BrowsersPresentAbsentAndWithAStaleManifest) {
    const fs::path config = home.path() / ".config";
    // Chrome: present and connected by the installer.
    fs::create_directories(config / "google-chrome");
    testing::HostRun install{{"install-native-messaging-host", "--browser", "chrome"}, home.path()};
    ASSERT_EQ(testing::runHost(install).exitStatus, 0);
    // Chromium: present, never connected.
    fs::create_directories(config / "chromium");
    // Firefox: a manifest left by a copy of the program that is gone.
    testing::write_file(home.path() / ".mozilla/native-messaging-hosts/cz.tavrin.bridge.json",
                        R"({"name":"cz.tavrin.bridge","description":"old","type":"stdio",)"
                        R"("path":"/opt/old-bridge/tavrin-bridge",)"
                        R"("allowed_extensions":["bridge@tavrin.cz"]})");
    // Brave: a manifest that is not JSON.
    testing::write_file(
        config / "BraveSoftware/Brave-Browser/NativeMessagingHosts/cz.tavrin.bridge.json",
        "{ not json");

    const Diagnosis diagnosis = diagnose();
    ASSERT_TRUE(diagnosis.report.is_object()) << diagnosis.text << diagnosis.err;
    const auto browsers = items(diagnosis.report, "browsers");
    struct Case {
        std::string name;
        bool present;
        bool connected;
        std::string problem;  // a fragment of the problem line, or "" for none
    };
    for (const Case& c : std::vector<Case>{
             {"Google Chrome (chrome)", true, true, ""},
             {"Microsoft Edge (edge)", false, false, ""},
             {"Chromium (chromium)", true, false,
              "not connected / Run: tavrin-bridge install-native-messaging-host --browser "
              "chromium"},
             {"Mozilla Firefox (firefox)", true, false,
              "is stale: it starts /opt/old-bridge/tavrin-bridge, which does not exist"},
             {"Brave (brave)", true, false, "it is not valid JSON"},
         }) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(browsers.contains(c.name));
        const json& item = browsers.at(c.name);
        EXPECT_EQ(item["present"], c.present);
        EXPECT_EQ(item["connected"], c.connected);
        if (c.problem.empty()) {
            EXPECT_FALSE(item.contains("problems")) << problemsOf(item);
        } else {
            EXPECT_NE(problemsOf(item).find(c.problem), std::string::npos) << problemsOf(item);
        }
    }
    EXPECT_EQ(diagnosis.exitStatus, 1);
}

// A module stuck in C_Initialize costs its step's bound and is named; the
// rest of the report is still written.
TEST_F(DiagnoseTest, AModuleThatNeverInitialisesIsCutOffAtItsBound) {
    cardInForwardingModule();
    environment["TAVRIN_FORWARD_FAKE"] = "hang-initialize";
    databaseWithModules({{"Stuck reader", TAVRIN_FORWARDING_MODULE}});

    const Diagnosis diagnosis = diagnose();
    ASSERT_TRUE(diagnosis.report.is_object()) << diagnosis.text << diagnosis.err;
    EXPECT_EQ(diagnosis.exitStatus, 1);
    const json stuck = items(diagnosis.report, "identityStore").at("module \"Stuck reader\"");
    EXPECT_NE(problemsOf(stuck).find("timed out after 10 s"), std::string::npos)
        << problemsOf(stuck);
    EXPECT_TRUE(items(diagnosis.report, "consentStore").contains("consent.json"));
}

TEST_F(DiagnoseTest, BadUsageExitsTwoWithOneLine) {
    testing::HostRun run{{"diagnose", "--verbose"}, home.path()};
    const auto result = testing::runHost(run);
    EXPECT_EQ(result.exitStatus, 2);
    EXPECT_EQ(result.err,
              "tavrin-bridge: unknown diagnose option '--verbose' (expected: --json)\n");
    EXPECT_EQ(result.out, "");
}

}  // namespace
}  // namespace tavrin::host
