// Eight processes grant through the core while the management window's
// revoke runs in this process: every grant and every revoke must survive,
// which needs both sides to merge under the same lock.

#include <deque>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "consent_records/consent_store_file.h"
#include "tests/support/temp_dir.h"
#include "worker_process.h"

namespace tavrin::host::testing {
namespace {

namespace fs = std::filesystem;
using namespace tavrin::testing;

std::set<std::string> listedOrigins(const fs::path& file) {
    std::set<std::string> origins;
    for (const ConsentGrant& grant : ConsentStoreFile::list(file))
        origins.insert(grant.origin);
    return origins;
}

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

    constexpr int writers = 8;
    constexpr int grantsEach = 25;
    std::set<std::string> granted;
    std::deque<Child> workers;
    for (int w = 0; w < writers; ++w) {
        std::vector<std::string> args{"grant"};
        for (int i = 0; i < grantsEach; ++i) {
            args.push_back("https://w" + std::to_string(w) + "-" + std::to_string(i) + ".example");
            granted.insert(args.back());
        }
        workers.emplace_back(consentWorker(file, home.path(), args, Stream::null));
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
    std::printf("%d of %d revokes ran between the workers' grants\n", interleaved, revokedCount);
    EXPECT_GT(interleaved, 0) << "the revokes never overlapped the grants";
}

}  // namespace
}  // namespace tavrin::host::testing
