// The real executable over pipes without a display: mode choice, the host
// loop, start-up failures, shutdown, the process's protection, and its
// prompts (only a prompt loads the user-interface module; without a display
// it refuses).

#include <gtest/gtest.h>

#include <sys/prctl.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <regex>

#include <nlohmann/json.hpp>

#include "support/host_process.h"
#include "tests/support/temp_dir.h"

namespace tavrin::host {
namespace {

namespace fs = std::filesystem;
using testing::frame;
using testing::HostSession;
using testing::runHost;
using testing::unframe;

constexpr const char* kOrigin = "chrome-extension://jigokomhlkbkpcgkinakfomodbijdcpi/";
constexpr const char* kStatus = R"({"id":"s","method":"status","params":{}})";
// Without a display the management window cannot open.
constexpr const char* kManagementLine =
    "tavrin-bridge: cannot show the management window: no display: DISPLAY is not set\n";
// The preview renders, then cannot write into a folder that does not exist
// (and does not make it).
constexpr const char* kPreviewLine =
    "render-preview: zápis selhal: /nonexistent/out.png: No such file or directory\n";

fs::path chromeManifest(const fs::path& home) {
    return home / ".config/google-chrome/NativeMessagingHosts/cz.tavrin.bridge.json";
}

std::string listing(const std::string& origin) {
    return R"({"id":"l","method":"listCertificates","params":{"origin":")" + origin +
           R"(","purpose":"sign"}})";
}

std::string errorCode(const std::string& reply) {
    const auto parsed = nlohmann::json::parse(reply, nullptr, false);
    if (!parsed.is_object()) return "<not a reply: " + reply + ">";
    return parsed.contains("error") ? parsed["error"]["code"].get<std::string>() : "<none>";
}

// The files mapped into the running host.
std::string mapsOf(pid_t pid) {
    return testing::read_file("/proc/" + std::to_string(pid) + "/maps");
}

class HostProcessTest : public ::testing::Test {
  protected:
    testing::TempDir home;
    // Runs the host with `input` on its standard input, then closed.
    testing::ProcessResult host(const std::string& input = "", bool closeStdoutEarly = false) {
        return runHost({{kOrigin},
                        home.path(),
                        [input](HostSession& host) { host.writeRaw(input); },
                        closeStdoutEarly});
    }
    // Runs the host through `talk`; returns its standard error.
    std::string converse(std::function<void(HostSession&)> talk) {
        const auto result = runHost({{kOrigin}, home.path(), std::move(talk)});
        EXPECT_EQ(result.exitStatus, 0);
        return result.err;
    }
};

TEST_F(HostProcessTest, ModeIsChosenFromTheArguments) {
    const struct {
        std::vector<std::string> arguments;
        int status;
        const char* err;
    } cases[] = {
        {{}, 1, kManagementLine},
        {{"--render-preview"}, 1, kManagementLine},
        {{"--render-preview", "/nonexistent/out.png"}, 1, kPreviewLine},
        {{"-v", "--render-preview", "/nonexistent/out.png"}, 1, kPreviewLine},
        {{kOrigin}, 0, ""},
        {{kOrigin, "install-native-messaging-host"}, 0, ""},
        {{"/path/to/manifest.json", "bridge@tavrin.cz"}, 0, ""},
    };
    for (const auto& c : cases) {
        const auto result = runHost({c.arguments, home.path(), {}});
        EXPECT_EQ(result.exitStatus, c.status) << ::testing::PrintToString(c.arguments);
        EXPECT_EQ(result.err, c.err) << ::testing::PrintToString(c.arguments);
        EXPECT_EQ(result.out, "") << ::testing::PrintToString(c.arguments);
    }
}

TEST_F(HostProcessTest, AnswersEachFrameInOrderAndEndsQuietlyInsideAPrefix) {
    const auto result = host(frame(R"({"id":"a","method":"status"})") +
                             frame(R"({"id":"b","method":"nope"})") + "\x10");
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.err, "");
    const auto replies = unframe(result.out);
    ASSERT_EQ(replies.size(), 2u) << result.out;
    EXPECT_EQ(replies[0].rfind(R"({"id":"a","result":{)", 0), 0u) << replies[0];
    EXPECT_EQ(replies[1],
              R"({"id":"b","error":{"code":"request_invalid","message":"unknown method: nope"}})");
}

TEST_F(HostProcessTest, RequestLimitIsOneMebibyte) {
    // A status request padded to exactly 1048576 bytes is read and answered;
    // it exceeds the pipe's buffer, so it also arrives in pieces.
    const std::string head = R"({"id":"big","method":"status","pad":")";
    std::string request = head + std::string(1048576 - head.size() - 2, 'x') + "\"}";
    ASSERT_EQ(request.size(), 1048576u);
    auto result = host(frame(request));
    ASSERT_EQ(unframe(result.out).size(), 1u);
    EXPECT_EQ(unframe(result.out)[0].rfind(R"({"id":"big","result":{)", 0), 0u);

    // One byte more ends the connection without reading or answering it.
    request.insert(request.size() - 2, "x");
    result = host(frame(request) + frame(R"({"id":"after","method":"status"})"));
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out, "");
}

TEST_F(HostProcessTest, UnreadableConsentFileStopsTheHost) {
    testing::write_file(home.path() / ".local/share/cz.tavrin.bridge/consent.json", "{}");
    const auto result = host(frame(R"({"id":"s","method":"status"})"));
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(
        result.err,
        "tavrin-bridge: failed to initialize the identity store dispatcher (unreadable consent "
        "store?)\n");
    EXPECT_EQ(result.out, "");
    EXPECT_FALSE(fs::exists(chromeManifest(home.path())));  // no background work was started
}

TEST_F(HostProcessTest, ClosedInputStillConnectsTheBrowsersBeforeExit) {
    const auto result = host();
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out, "");
    const auto manifest = nlohmann::json::parse(testing::read_file(chromeManifest(home.path())));
    EXPECT_EQ(manifest["path"], fs::canonical(TAVRIN_BRIDGE_EXE).string());
}

TEST_F(HostProcessTest, AReaderThatGoesAwayEndsTheLoopWithoutACrash) {
    const auto result = host(
        frame(R"({"id":"1","method":"status"})") + frame(R"({"id":"2","method":"status"})"), true);
    EXPECT_EQ(result.signal, 0);
    EXPECT_EQ(result.exitStatus, 0);
}

TEST_F(HostProcessTest, AServingHostIsNotDumpableAndWritesNoCoreFile) {
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

TEST_F(HostProcessTest, OnlyAPromptLoadsTheModuleAndWithoutADisplayItRefusesAndServesOn) {
    const fs::path consent = home.path() / ".local/share/cz.tavrin.bridge/consent.json";
    const std::string granted = R"({"origins":{"https://granted.example.cz":)"
                                R"({"purposes":["sign"],"grantedAtUnix":1700000000}}})";
    testing::write_file(consent, granted);
    std::string beforePrompt, afterPrompt;
    std::string afterwards;
    const std::string err = converse([&](HostSession& host) {
        host.send(kStatus);
        ASSERT_EQ(errorCode(host.receive()), "<none>");
        host.send(listing("https://granted.example.cz"));
        ASSERT_EQ(errorCode(host.receive()), "no_certificates");  // admitted; the store is empty
        beforePrompt = mapsOf(host.pid());
        host.send(listing("https://new.example.cz"));
        ASSERT_EQ(errorCode(host.receive()), "consent_denied");
        afterPrompt = mapsOf(host.pid());
        host.send(kStatus);
        afterwards = host.receive();
    });
    ASSERT_NE(beforePrompt, "");
    EXPECT_EQ(beforePrompt.find("libtavrin_bridge_ui.so"), std::string::npos);
    EXPECT_EQ(beforePrompt.find("libQt6"), std::string::npos);
    EXPECT_NE(afterPrompt.find("libtavrin_bridge_ui.so"), std::string::npos);
    EXPECT_EQ(errorCode(afterwards), "<none>");
    EXPECT_EQ(err,
              "tavrin-bridge: the consent prompt could not be shown (no display: DISPLAY is not "
              "set); consent refused\n");
    EXPECT_EQ(testing::read_file(consent), granted);
}

// The desktop (the WebExtensions portal or xdg-native-messaging-proxy) starts
// the host for a confined Firefox the way Firefox does, with the manifest's
// path and the add-on ID, but from a process that is no browser, in a session
// of its own and with standard error a pipe: the host serves it the same and
// keeps the manifest the desktop reads.
TEST_F(HostProcessTest, StartedByTheDesktopForAConfinedFirefoxItServesTheSame) {
    const fs::path manifest = home.path() / ".mozilla/native-messaging-hosts/cz.tavrin.bridge.json";
    std::string reply;
    testing::HostRun run{
        {manifest.string(), "bridge@tavrin.cz"}, home.path(), [&](HostSession& host) {
            host.send(kStatus);
            reply = host.receive();
        }};
    run.launcher = {"setsid"};
    const auto result = runHost(run);
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.err, "");
    const auto status = nlohmann::json::parse(reply, nullptr, false);
    ASSERT_TRUE(status.is_object()) << reply;
    EXPECT_EQ(status["id"], "s");
    EXPECT_EQ(status["result"]["platform"], "linux");
    EXPECT_EQ(nlohmann::json::parse(testing::read_file(manifest))["allowed_extensions"],
              nlohmann::json({"bridge@tavrin.cz"}));
}

// A Chromium-based Flatpak starts what its manifest names inside its sandbox:
// the wrapper the installer wrote, which hands the bridge to flatpak-spawn
// (here a stand-in on PATH that checks what it is asked to run, then runs
// it). A status request goes the whole way and its reply comes back.
TEST_F(HostProcessTest, AFlatpakReachesTheHostThroughItsWrapperAndFlatpakSpawn) {
    const auto installed = runHost(
        {{"install-native-messaging-host", "--browser", "chromium-flatpak"}, home.path(), {}});
    ASSERT_EQ(installed.exitStatus, 0) << installed.err;
    const std::string wrapper =
        nlohmann::json::parse(testing::read_file(
            home.path() / ".var/app/org.chromium.Chromium/config/chromium/NativeMessagingHosts/"
                          "cz.tavrin.bridge.json"))["path"];

    const testing::TempDir bin;
    const fs::path spawn = bin.path() / "flatpak-spawn";
    testing::write_file(
        spawn,
        "#!/bin/sh\n"
        "[ \"$1\" = --host ] || { echo \"stand-in: not --host: $1\" >&2; exit 97; }\n"
        "shift\n"
        "printf '%s\\n' \"$@\" > \"$HOME/spawned\"\n"
        "exec \"$@\"\n");
    fs::permissions(spawn, fs::perms::owner_all);
    testing::Child browser({.argv = {wrapper, kOrigin, "--parent-window=0"},
                            .base = testing::Environment::isolated,
                            .env = {{"HOME", home.path().string()},
                                    {"PATH", bin.path().string() + ":" + std::getenv("PATH")}},
                            .in = testing::Stream::pipe,
                            .out = testing::Stream::pipe,
                            .err = testing::Stream::pipe});
    browser.send(frame(kStatus));
    const std::string reply = browser.receiveFrame().value_or("<no reply>");
    browser.closeIn();
    const std::string err = testing::drain(browser.err());
    ASSERT_TRUE(browser.wait(std::chrono::minutes(1)));
    EXPECT_EQ(browser.exitStatus(), 0) << err;
    EXPECT_EQ(err, "");
    EXPECT_EQ(nlohmann::json::parse(reply, nullptr, false)["result"]["platform"], "linux") << reply;
    EXPECT_EQ(testing::read_file(home.path() / "spawned"),
              fs::canonical(TAVRIN_BRIDGE_EXE).string() + "\n" + kOrigin + "\n--parent-window=0\n");
}

}  // namespace
}  // namespace tavrin::host
