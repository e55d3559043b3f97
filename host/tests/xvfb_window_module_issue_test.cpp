// The management window's status page for a home with a card and a token
// module that does not load: the status card names the module with the
// loader's reason, and the "Čtečky a karty" card shows the reader with its
// keypad, the card with its label and identities, and the same module; its
// button copies the diagnostic report.

#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <iterator>
#include <map>
#include <regex>
#include <thread>

#include "support/forwarded_token.h"
#include "support/host_process.h"
#include "support/xvfb.h"
#include "tests/support/temp_dir.h"

namespace tavrin::host {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

TEST(ManagementWindow, ShowsTheReadersTheirCardsAndAModuleThatDoesNotLoad) {
    const testing::Xvfb screen(true);
    testing::TempDir home;
    std::map<std::string, std::string> environment = screen.environment();

    // The fixture token "main" behind the forwarding module, which says the
    // reader has a keypad.
    environment.merge(testing::forwardedTokenIn(home.path()));
    environment["TAVRIN_FORWARD_FAKE"] = "pin-pad";
    // The system's SoftHSM2 (registered with p11-kit) sees an empty folder,
    // and there is no card service.
    fs::create_directories(home.path() / "system-tokens");
    testing::write_file(home.path() / "system-softhsm2.conf",
                        "directories.tokendir = " + (home.path() / "system-tokens").string() +
                            "\nobjectstore.backend = file\nlog.level = ERROR\n");
    environment["SOFTHSM2_CONF"] = (home.path() / "system-softhsm2.conf").string();
    environment["PCSCLITE_CSOCK_NAME"] = (home.path() / "no-pcscd.comm").string();

    const fs::path database = home.path() / ".pki/nssdb";
    fs::create_directories(database);
    ASSERT_EQ(std::system(
                  ("certutil -N -d sql:" + database.string() + " --empty-password >/dev/null 2>&1")
                      .c_str()),
              0);
    // The card's module, and one left behind by a removed middleware.
    testing::write_file(
        database / "pkcs11.txt",
        testing::read_file(database / "pkcs11.txt") + "\nlibrary=" + TAVRIN_FORWARDING_MODULE +
            "\nname=\"Test card\"\n"
            "\nlibrary=/opt/gone-middleware/libgone-pkcs11.so\nname=\"Gone card\"\n");

    testing::HostRun run{{}, home.path()};
    run.environment = environment;
    std::string page, afterCopy;
    run.session = [&](testing::HostSession& host) {
        const std::string window = screen.waitForWindow();
        if (window.empty()) {
            ::kill(host.pid(), SIGKILL);
            FAIL() << "the management window did not appear";
        }
        for (int i = 0; i < 50 && page.find("Kopírovat diagnostiku") == std::string::npos; ++i) {
            std::this_thread::sleep_for(200ms);
            page = screen.tree();
        }
        screen.screenshot(fs::path(TAVRIN_TEST_ARTIFACTS) / "management-window-readers.png");
        // From the tab bar, Tab reaches the status card's disclosure, then
        // the copy button.
        screen.answer(window, {"key Tab", "key Tab", "key space"});
        for (int i = 0; i < 50 && afterCopy.find("ve schránce") == std::string::npos; ++i) {
            std::this_thread::sleep_for(200ms);
            afterCopy = screen.tree();
        }
        screen.answer(window, {"key ctrl+q"});
        if (!screen.waitForNoWindow()) ::kill(host.pid(), SIGKILL);
    };
    const auto result = testing::runHost(run);
    EXPECT_EQ(result.exitStatus, 0) << result.err;

    // The status card, then the readers card.
    for (const std::string expected : {
             "/opt/gone-middleware/libgone-pkcs11.so: cannot open shared object file",
             "panel\tČTEČKY A KARTY",
             "label\tKarta vložena",
             "label\tKarta „main“ · identity pro podepisování: 3, pro přihlašování: 2",
             "label\tPIN se zadává na klávesnici čtečky",
             "label\tSlužba čipových karet (pcscd) neodpovídá",
             "push button\tKopírovat diagnostiku",
         }) {
        EXPECT_NE(page.find(expected), std::string::npos) << expected << "\n" << page;
    }
    // Once on each card.
    const std::regex gone("label\tModul „Gone card“ se nenačetl\t");
    EXPECT_EQ(
        std::distance(std::sregex_iterator(page.begin(), page.end(), gone), std::sregex_iterator()),
        2)
        << page;
    EXPECT_TRUE(std::regex_search(page, std::regex("label\tSoftHSM slot ID 0x[0-9a-f]+\t")))
        << page;
    EXPECT_NE(afterCopy.find("label\tDiagnostika je ve schránce"), std::string::npos) << afterCopy;
}

}  // namespace
}  // namespace tavrin::host
