// Consent persistence under faults: writers killed (SIGKILL) at arbitrary
// moments, eight granting processes racing the management window's revoke,
// and file systems that are full or read-only. Each writer is a
// consent_worker (see there) with HOME in a home without an identity
// database, so only the consent path is exercised.

#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "consent_records/consent_store_file.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"

namespace tavrin::host::testing {
namespace {

namespace fs = std::filesystem;
using namespace tavrin::testing;

// `consent_worker CONSENT_PATH args...` with our environment (the sanitizer
// settings reach it) but HOME replaced.
ChildSpec consentWorker(const fs::path& consentPath, const fs::path& home,
                        const std::vector<std::string>& args, Stream out = Stream::null) {
    ChildSpec spec{.argv = {TAVRIN_CONSENT_WORKER, consentPath.string()},
                   .env = {{"HOME", home.string()}}};
    spec.argv.insert(spec.argv.end(), args.begin(), args.end());
    spec.out = out;
    return spec;
}

// The origins the management window lists: none from a file that does not
// parse, so a torn file loses every grant kept so far.
std::set<std::string> listedOrigins(const fs::path& file) {
    std::set<std::string> origins;
    for (const ConsentGrant& grant : ConsentStoreFile::list(file))
        origins.insert(grant.origin);
    return origins;
}

// Identifies one version of the file: every replacement is a new inode.
std::pair<ino_t, std::int64_t> stampOf(const fs::path& file) {
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0) return {0, 0};
    return {info.st_ino, static_cast<std::int64_t>(info.st_mtim.tv_nsec)};
}

std::string originOf(int round, int index) {
    return "https://r" + std::to_string(round) + "-" + std::to_string(index) + ".example";
}

// The consent file must always parse and hold a whole state, and a stale
// lock file or temporary file must never block a later grant.
TEST(ConsentKill, KilledWritersLeaveWholeStatesAndNeverBlockTheNextGrant) {
    TempDir home;
    const fs::path file = home.path() / "data" / "consent.json";
    fs::create_directories(file.parent_path());

    constexpr int rounds = 150;
    constexpr int originsPerRound = 40;
    std::set<std::string> committed;
    int interruptedMidway = 0;
    for (int round = 0; round < rounds; ++round) {
        std::vector<std::string> args;
        for (int i = 0; i < originsPerRound; ++i)
            args.push_back(originOf(round, i));
        const auto before = stampOf(file);
        Child worker(consentWorker(file, home.path(), args));
        // Once the writer has replaced the file it is in its write loop;
        // kill it a little later, at a different point each round.
        for (int waited = 0; stampOf(file) == before && waited < 100000; ++waited) {
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        std::this_thread::sleep_for(std::chrono::microseconds((round * 7919) % 4000));
        worker.signal(SIGKILL);
        worker.wait();

        const std::set<std::string> stored = listedOrigins(file);
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

    Child after(consentWorker(file, home.path(), {"https://after.example"}, Stream::pipe));
    const std::string printed = after.readOut();
    after.wait();
    EXPECT_EQ(after.exitStatus(), 0) << printed;
    committed.insert("https://after.example");
    EXPECT_EQ(listedOrigins(file), committed);
}

// Every grant and every revoke must survive, which needs both sides to merge
// under the same lock.
TEST(ConsentRace, GrantsFromEightProcessesAndRevokesFromTheWindowAreAllKept) {
    TempDir home;
    const fs::path file = home.path() / "data" / "consent.json";
    constexpr int revokedCount = 60;
    std::string initial = R"({"origins":{)";
    for (int i = 0; i < revokedCount; ++i) {
        initial += (i ? "," : "") + std::string(R"("https://revoked-)") + std::to_string(i) +
                   R"(.example":{"purposes":["sign"],"grantedAtUnix":1})";
    }
    write_file(file, initial + "}}");

    std::set<std::string> granted;
    std::deque<Child> workers;
    for (int w = 0; w < 8; ++w) {
        std::vector<std::string> args;
        for (int i = 0; i < 25; ++i) {
            args.push_back("https://w" + std::to_string(w) + "-" + std::to_string(i) + ".example");
            granted.insert(args.back());
        }
        workers.emplace_back(consentWorker(file, home.path(), args));
    }

    // A revoke that found some but not all of the workers' grants ran
    // in the middle of their writing.
    int interleaved = 0;
    for (int i = 0; i < revokedCount; ++i) {
        const auto revoked =
            ConsentStoreFile::revoke("https://revoked-" + std::to_string(i) + ".example", file);
        ASSERT_TRUE(revoked) << revoked.error().description;
        std::size_t present = 0;
        for (const std::string& origin : listedOrigins(file))
            present += granted.count(origin);
        if (present > 0 && present < granted.size()) ++interleaved;
    }
    for (Child& worker : workers) {
        worker.wait();
        EXPECT_EQ(worker.exitStatus(), 0);
    }

    EXPECT_EQ(listedOrigins(file), granted) << read_file(file);
    EXPECT_GT(interleaved, 0) << "the revokes never overlapped the grants";
}

// A full and a read-only file system (small tmpfs mounts, so these need
// root): the grant gets the persistence error and the dispatcher goes on
// serving.
class ConsentFileSystem : public ::testing::TestWithParam<bool> {
  protected:
    void SetUp() override {
        fs::create_directories(folder_);
        if (::mount("tavrin-test", folder_.c_str(), "tmpfs", 0, "size=64k") != 0) {
            GTEST_SKIP() << "cannot mount a tmpfs here (" << std::strerror(errno)
                         << "); these tests need root";
        }
        mounted_ = true;
    }
    void TearDown() override {
        if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
    }

    TempDir home_;
    fs::path folder_ = home_.path() / "data";
    bool mounted_ = false;
};

TEST_P(ConsentFileSystem, RefusesTheGrantAndKeepsServing) {
    const bool readOnly = GetParam();
    if (readOnly) {
        ASSERT_EQ(::mount(nullptr, folder_.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0)
            << std::strerror(errno);
    } else {
        std::ofstream filler(folder_ / "filler", std::ios::binary);
        const std::string block(4096, 'x');
        while (filler.write(block.data(), block.size())) {
        }
    }
    Child worker(consentWorker(folder_ / "consent.json", home_.path(),
                               {"https://shop.example", "status"}, Stream::pipe));
    const std::string out = worker.readOut();
    worker.wait();
    const auto newline = out.find('\n');
    EXPECT_NE(out.find(R"({"id":"s","result")", newline), std::string::npos)
        << "the status after the grant was not answered:\n"
        << out;
    const auto grant = nlohmann::json::parse(out.substr(0, newline), nullptr, false);
    const std::string message =
        grant.is_object() ? grant.value("error", nlohmann::json::object()).value("message", "")
                          : "";
    EXPECT_EQ(message.rfind("failed to persist consent: ", 0), 0u) << out;
    EXPECT_NE(message.find(std::strerror(readOnly ? EROFS : ENOSPC)), std::string::npos) << out;
    EXPECT_FALSE(fs::exists(folder_ / "consent.json"));
}

INSTANTIATE_TEST_SUITE_P(FullOrReadOnly, ConsentFileSystem, ::testing::Bool());

}  // namespace
}  // namespace tavrin::host::testing
