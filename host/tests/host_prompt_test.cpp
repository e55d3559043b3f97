// The real executable and its prompts without a display: what loads the
// user-interface module (only a prompt does, judged from the process's own
// memory map while it runs) and what a prompt that cannot be shown answers.

#include <gtest/gtest.h>

#include <regex>

#include <nlohmann/json.hpp>

#include "support/host_process.h"
#include "support/temp_home.h"

namespace tavrin::host {
namespace {

using testing::HostRun;
using testing::HostSession;

constexpr const char* kExtension = "chrome-extension://jigokomhlkbkpcgkinakfomodbijdcpi/";
constexpr const char* kStatus = R"({"id":"s","method":"status","params":{}})";

std::string listing(const std::string& origin) {
    return R"({"id":"l","method":"listCertificates","params":{"origin":")" + origin +
           R"(","purpose":"sign"}})";
}

std::string errorCode(const std::string& reply) {
    const auto parsed = nlohmann::json::parse(reply, nullptr, false);
    if (!parsed.is_object()) return "<not a reply: " + reply + ">";
    return parsed.contains("error") ? parsed["error"]["code"].get<std::string>() : "<none>";
}

// Which of the files that matter are mapped into the running host.
struct Mapped {
    bool uiModule = false;
    bool qt = false;
};

Mapped mappedInto(pid_t pid) {
    const std::string maps = testing::readFile("/proc/" + std::to_string(pid) + "/maps");
    return {maps.find("libtavrin_bridge_ui.so") != std::string::npos,
            maps.find("libQt6") != std::string::npos};
}

class HostPromptTest : public ::testing::Test {
  protected:
    testing::TempHome home;

    // Runs the host (no display) through `talk`; returns its standard error.
    std::string converse(std::function<void(HostSession&)> talk) {
        HostRun run{{kExtension}, home.path(), {}};
        run.session = std::move(talk);
        const auto result = testing::runHost(run);
        EXPECT_EQ(result.exitStatus, 0);
        return result.err;
    }
};

TEST_F(HostPromptTest, AStatusOnlyHostNeverLoadsTheModuleOrQt) {
    Mapped mapped{true, true};
    converse([&](HostSession& host) {
        host.send(kStatus);
        ASSERT_EQ(errorCode(host.receive()), "<none>");
        mapped = mappedInto(host.pid());
    });
    EXPECT_FALSE(mapped.uiModule);
    EXPECT_FALSE(mapped.qt);
}

TEST_F(HostPromptTest, AServingHostWritesNoCoreFile) {
    std::string limits;
    converse([&](HostSession& host) {
        host.send(kStatus);
        ASSERT_EQ(errorCode(host.receive()), "<none>");
        limits = testing::readFile("/proc/" + std::to_string(host.pid()) + "/limits");
    });
    const auto line = limits.find("Max core file size");
    ASSERT_NE(line, std::string::npos) << limits;
    EXPECT_TRUE(std::regex_search(limits.substr(line, limits.find('\n', line) - line),
                                  std::regex("size +0 +0 ")))
        << limits;
}

TEST_F(HostPromptTest, AListingForAGrantedOriginNeverLoadsTheModuleOrQt) {
    testing::writeFile(home.path() / ".local/share/cz.tavrin.bridge/consent.json",
                       R"({"origins":{"https://granted.example.cz":)"
                       R"({"purposes":["sign"],"grantedAtUnix":1700000000}}})");
    Mapped mapped{true, true};
    converse([&](HostSession& host) {
        host.send(listing("https://granted.example.cz"));
        ASSERT_EQ(errorCode(host.receive()), "no_certificates");  // admitted; the store is empty
        mapped = mappedInto(host.pid());
    });
    EXPECT_FALSE(mapped.uiModule);
    EXPECT_FALSE(mapped.qt);
}

TEST_F(HostPromptTest, WithoutADisplayConsentIsRefusedAndTheHostServesOn) {
    Mapped mapped;
    std::string afterwards;
    const std::string err = converse([&](HostSession& host) {
        host.send(listing("https://new.example.cz"));
        ASSERT_EQ(errorCode(host.receive()), "consent_denied");
        mapped = mappedInto(host.pid());  // the prompt did load the module
        host.send(kStatus);
        afterwards = host.receive();
    });
    EXPECT_TRUE(mapped.uiModule);
    EXPECT_EQ(errorCode(afterwards), "<none>");
    EXPECT_EQ(err,
              "tavrin-bridge: the consent prompt could not be shown (no display: DISPLAY is not "
              "set); consent refused\n");
    EXPECT_FALSE(
        std::filesystem::exists(home.path() / ".local/share/cz.tavrin.bridge/consent.json"));
}

}  // namespace
}  // namespace tavrin::host
