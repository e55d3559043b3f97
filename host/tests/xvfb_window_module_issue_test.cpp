// The management window names a token module of the user's database that
// does not load, with the loader's reason, on its status card.

#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "support/host_process.h"
#include "support/xvfb.h"
#include "tests/support/temp_dir.h"

namespace tavrin::host {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

TEST(ManagementWindow, NamesAModuleThatDoesNotLoadOnTheStatusCard) {
    const testing::Xvfb screen(true);
    testing::TempDir home;
    const fs::path database = home.path() / ".pki/nssdb";
    fs::create_directories(database);
    ASSERT_EQ(std::system(
                  ("certutil -N -d sql:" + database.string() + " --empty-password >/dev/null 2>&1")
                      .c_str()),
              0);
    // As a removed middleware leaves its registration behind.
    testing::write_file(
        database / "pkcs11.txt",
        testing::read_file(database / "pkcs11.txt") +
            "\nlibrary=/opt/gone-middleware/libgone-pkcs11.so\nname=\"Gone card\"\n");

    testing::HostRun run{{}, home.path()};
    run.environment = screen.environment();
    std::string status;
    run.session = [&](testing::HostSession& host) {
        const std::string window = screen.waitForWindow();
        if (window.empty()) {
            ::kill(host.pid(), SIGKILL);
            FAIL() << "the management window did not appear";
        }
        for (int i = 0; i < 50 && status.find("Gone card") == std::string::npos; ++i) {
            std::this_thread::sleep_for(200ms);
            status = screen.tree();
        }
        screen.screenshot(fs::path(TAVRIN_TEST_ARTIFACTS) / "management-window-module-issue.png");
        screen.answer(window, {"key ctrl+q"});
        if (!screen.waitForNoWindow()) ::kill(host.pid(), SIGKILL);
    };
    const auto result = testing::runHost(run);
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_NE(status.find("Modul Gone card se nenačetl"), std::string::npos) << status;
    EXPECT_NE(status.find("/opt/gone-middleware/libgone-pkcs11.so: cannot open shared object file"),
              std::string::npos)
        << status;
}

}  // namespace
}  // namespace tavrin::host
