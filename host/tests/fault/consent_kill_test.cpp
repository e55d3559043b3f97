// Grants persisted by processes that are killed (SIGKILL) at arbitrary
// moments: the consent file must always parse and hold a whole state, and a
// stale lock file or temporary file must never block a later grant.

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "tests/support/temp_dir.h"
#include "worker_process.h"

namespace tavrin::host::testing {
namespace {

namespace fs = std::filesystem;
using namespace tavrin::testing;

// The origins of the consent file; fails the test when it does not parse.
std::set<std::string> storedOrigins(const fs::path& file) {
    if (!fs::exists(file)) return {};
    const nlohmann::json document = nlohmann::json::parse(read_file(file), nullptr, false);
    EXPECT_FALSE(document.is_discarded()) << "consent.json does not parse:\n" << read_file(file);
    std::set<std::string> origins;
    if (document.is_object() && document.contains("origins")) {
        for (const auto& [origin, grant] : document["origins"].items())
            origins.insert(origin);
    }
    return origins;
}

// Identifies one version of the file: every replacement is a new inode.
using FileStamp = std::pair<ino_t, std::int64_t>;
FileStamp stampOf(const fs::path& file) {
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0) return {0, 0};
    return {info.st_ino, static_cast<std::int64_t>(info.st_mtim.tv_nsec)};
}

std::string originOf(int round, int index) {
    return "https://r" + std::to_string(round) + "-" + std::to_string(index) + ".example";
}

TEST(ConsentKill, KilledWritersLeaveWholeStatesAndNeverBlockTheNextGrant) {
    TempDir home;
    const fs::path folder = home.path() / "data";
    fs::create_directories(folder);
    const fs::path file = folder / "consent.json";

    constexpr int rounds = 150;
    constexpr int originsPerRound = 40;
    std::set<std::string> committed;
    int interruptedMidway = 0;
    for (int round = 0; round < rounds; ++round) {
        std::vector<std::string> args{"grant"};
        for (int i = 0; i < originsPerRound; ++i)
            args.push_back(originOf(round, i));
        const FileStamp before = stampOf(file);
        Child worker(consentWorker(file, home.path(), args, Stream::null));
        // Once the writer has replaced the file it is in its write loop;
        // kill it a little later, at a different point each round.
        for (int waited = 0; stampOf(file) == before && waited < 100000; ++waited) {
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        std::this_thread::sleep_for(std::chrono::microseconds((round * 7919) % 4000));
        worker.signal(SIGKILL);
        worker.wait();

        const std::set<std::string> stored = storedOrigins(file);
        ASSERT_FALSE(::testing::Test::HasFailure()) << "after round " << round;
        for (const std::string& origin : committed) {
            ASSERT_TRUE(stored.count(origin)) << origin << " lost in round " << round;
        }
        // This round's grants are persisted one after another: what landed is
        // a prefix of them.
        int landed = 0;
        while (landed < originsPerRound && stored.count(originOf(round, landed)))
            ++landed;
        EXPECT_EQ(stored.size(), committed.size() + static_cast<std::size_t>(landed))
            << "round " << round << " left grants out of order";
        for (int i = 0; i < landed; ++i)
            committed.insert(originOf(round, i));
        if (landed > 0 && landed < originsPerRound) ++interruptedMidway;
    }
    // The kills must have hit writers at work, not only after their last grant.
    EXPECT_GT(interruptedMidway, rounds / 2);
    std::printf("killed %d writers, %d in the middle of their grants, %zu grants kept\n", rounds,
                interruptedMidway, committed.size());

    // Whatever the last kill left beside the file, the next grant goes in.
    Child after(consentWorker(file, home.path(), {"grant", "https://after.example"}, Stream::pipe));
    const std::string printed = after.readOut();
    after.wait();
    EXPECT_EQ(after.exitStatus(), 0) << printed;
    std::set<std::string> expected = committed;
    expected.insert("https://after.example");
    EXPECT_EQ(storedOrigins(file), expected);
}

}  // namespace
}  // namespace tavrin::host::testing
