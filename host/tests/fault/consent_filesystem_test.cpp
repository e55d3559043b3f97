// Grants on an application data folder that cannot take them: a full and a
// read-only file system (small tmpfs mounts, so these tests need root). The
// request gets the persistence error and the dispatcher goes on serving.

#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "tests/support/temp_dir.h"
#include "worker_process.h"

namespace tavrin::host::testing {
namespace {

namespace fs = std::filesystem;
using namespace tavrin::testing;

class ConsentFileSystem : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = home_.path() / "data";
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

    // The replies of a grant and of the status request that follows it.
    std::pair<nlohmann::json, nlohmann::json> grantThenStatus() {
        Child worker(consentWorker(folder_ / "consent.json", home_.path(),
                                   {"grant-then-status", "https://shop.example"}, Stream::pipe));
        const std::string out = worker.readOut();
        worker.wait();
        EXPECT_EQ(worker.exitStatus(), 0) << out;
        const auto newline = out.find('\n');
        return {nlohmann::json::parse(out.substr(0, newline), nullptr, false),
                nlohmann::json::parse(out.substr(newline + 1), nullptr, false)};
    }

    static void expectPersistFailure(const nlohmann::json& reply, const std::string& cause) {
        ASSERT_TRUE(reply.contains("error")) << reply.dump();
        const std::string message = reply["error"].value("message", "");
        EXPECT_EQ(message.rfind("failed to persist consent: ", 0), 0u) << message;
        EXPECT_NE(message.find(cause), std::string::npos) << message;
    }

    TempDir home_;
    fs::path folder_;
    bool mounted_ = false;
};

TEST_F(ConsentFileSystem, FullFileSystemRefusesTheGrantAndKeepsServing) {
    {
        std::ofstream filler(folder_ / "filler", std::ios::binary);
        const std::string block(4096, 'x');
        while (filler.write(block.data(), block.size())) {
        }
    }
    const auto [grant, status] = grantThenStatus();
    expectPersistFailure(grant, std::strerror(ENOSPC));
    EXPECT_TRUE(status.contains("result")) << status.dump();
    EXPECT_FALSE(fs::exists(folder_ / "consent.json"));
}

TEST_F(ConsentFileSystem, ReadOnlyFileSystemRefusesTheGrantAndKeepsServing) {
    ASSERT_EQ(::mount(nullptr, folder_.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0)
        << std::strerror(errno);
    const auto [grant, status] = grantThenStatus();
    expectPersistFailure(grant, std::strerror(EROFS));
    EXPECT_TRUE(status.contains("result")) << status.dump();
}

}  // namespace
}  // namespace tavrin::host::testing
