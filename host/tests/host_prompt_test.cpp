// The real executable and its prompts without a display: what loads the
// user-interface module (only a prompt does, judged from the process's own
// memory map while it runs) and what a prompt that cannot be shown answers.

#include <gtest/gtest.h>

#include <sys/prctl.h>
#include <unistd.h>

#include <cstdlib>
#include <regex>

#include <nlohmann/json.hpp>

#include "support/host_process.h"
#include "tests/support/temp_dir.h"

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
    const std::string maps = testing::read_file("/proc/" + std::to_string(pid) + "/maps");
    return {maps.find("libtavrin_bridge_ui.so") != std::string::npos,
            maps.find("libQt6") != std::string::npos};
}

class HostPromptTest : public ::testing::Test {
  protected:
    testing::TempDir home;

    // Runs the host (no display) through `talk`; returns its standard error.
    std::string converse(std::function<void(HostSession&)> talk) {
        HostRun run{{kExtension}, home.path(), {}};
        run.session = std::move(talk);
        const auto result = testing::runHost(run);
        EXPECT_EQ(result.exitStatus, 0);
        return result.err;
    }
};

TEST_F(HostPromptTest, StatusAndAGrantedListingNeverLoadTheModuleOrQt) {
    testing::write_file(home.path() / ".local/share/cz.tavrin.bridge/consent.json",
                        R"({"origins":{"https://granted.example.cz":)"
                        R"({"purposes":["sign"],"grantedAtUnix":1700000000}}})");
    Mapped mapped{true, true};
    converse([&](HostSession& host) {
        host.send(kStatus);
        ASSERT_EQ(errorCode(host.receive()), "<none>");
        host.send(listing("https://granted.example.cz"));
        ASSERT_EQ(errorCode(host.receive()), "no_certificates");  // admitted; the store is empty
        mapped = mappedInto(host.pid());
    });
    EXPECT_FALSE(mapped.uiModule);
    EXPECT_FALSE(mapped.qt);
}

TEST_F(HostPromptTest, AServingHostIsNotDumpableAndWritesNoCoreFile) {
    // Only a dumpable process's memory (here: its environment) can be read by
    // a process of the same user that has no more capabilities than it has,
    // so host and reader both run without any. A root test drops them from
    // its bounding set, which the host inherits; the reader drops its own.
    const bool root = ::geteuid() == 0;
    for (int cap = 0; root && ::prctl(PR_CAPBSET_DROP, cap, 0, 0, 0) == 0; ++cap) {
    }
    std::string limits;
    int readStatus = 0;
    converse([&](HostSession& host) {
        host.send(kStatus);
        ASSERT_EQ(errorCode(host.receive()), "<none>");
        const std::string proc = "/proc/" + std::to_string(host.pid());
        limits = testing::read_file(proc + "/limits");
        readStatus = std::system(((root ? "setpriv --inh-caps=-all --bounding-set=-all " : "") +
                                  std::string("cat ") + proc + "/environ >/dev/null 2>&1")
                                     .c_str());
    });
    EXPECT_NE(readStatus, 0) << "another process read the host's memory";
    const auto line = limits.find("Max core file size");
    ASSERT_NE(line, std::string::npos) << limits;
    EXPECT_TRUE(std::regex_search(limits.substr(line, limits.find('\n', line) - line),
                                  std::regex("size +0 +0 ")))
        << limits;
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
