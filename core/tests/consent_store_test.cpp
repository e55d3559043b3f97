#include "consent/consent_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"

namespace tavrin {
namespace {

namespace fs = std::filesystem;
using testing::list_tree;
using testing::read_file;
using testing::TempDir;
using testing::write_file;

constexpr CertPurpose kSignOnly[] = {CertPurpose::Sign};
constexpr CertPurpose kAuthOnly[] = {CertPurpose::Auth};
constexpr const char* kA = "https://a.example";

UnixClock fixed_clock(std::uint64_t seconds) {
    return [seconds]() -> Result<std::uint64_t, IoError> { return seconds; };
}

PurposeSet set_of(std::initializer_list<CertPurpose> purposes) {
    PurposeSet set;
    for (const CertPurpose p : purposes)
        set.insert(p);
    return set;
}

ConsentStore open_or_throw(const std::string& path, UnixClock clock = fixed_clock(1000)) {
    auto opened = ConsentStore::open(path, std::move(clock));
    if (!opened) throw std::runtime_error("open failed: " + opened.error().message);
    return std::move(opened).value();
}

std::set<std::string> names_in(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

// The management window's revoke: it rewrites the file in its own layout
// (keys sorted, " : " separators) with b.example alone left.
const std::string kWindowRevoke = R"({
  "origins" : {
    "https://b.example" : {
      "grantedAtUnix" : 1000,
      "purposes" : ["sign", "auth"]
    }
  }
})";

class ConsentStoreTest : public ::testing::Test {
  protected:
    TempDir dir_;
    std::string path_ = dir_.file("consent.json");
};

// --- opening ---------------------------------------------------------------

// The JSON itself (empty text, duplicate keys anywhere, trailing text, bad
// UTF-8) is the strict parser's own test; one duplicate origin shows the store
// reads through it, since a last-wins reading could bring a revoked grant back.
TEST_F(ConsentStoreTest, MalformedFileIsRefusedAndLeftUnchanged) {
    const auto grant = [](const std::string& body) {
        return R"({"origins": {"https://a": {)" + body + "}}}";
    };
    const struct {
        const char* name;
        std::string content;
        std::string message_part;
    } cases[] = {
        {"top level not an object", "[]", "the consent file must be an object, found array"},
        {"no origins", R"({"Origins": {}})", R"(missing key "origins")"},
        {"origins not an object", R"({"origins": []})",
         R"(key "origins" must be an object, found array)"},
        {"duplicate origin",
         R"({"origins": {"o": {"purposes": [], "grantedAtUnix": 1},
                         "o": {"purposes": [], "grantedAtUnix": 1}}})",
         R"(duplicate key "o" at line 2)"},
        {"grant not an object", R"({"origins": {"https://a": true}})",
         R"(origin "https://a" must be an object, found boolean)"},
        {"missing purposes", grant(R"("grantedAtUnix": 1)"),
         R"(missing key "purposes" in origin "https://a")"},
        {"missing time", grant(R"("purposes": [])"),
         R"(missing key "grantedAtUnix" in origin "https://a")"},
        {"purposes not an array", grant(R"("purposes": "sign", "grantedAtUnix": 1)"),
         R"(key "purposes" of origin "https://a" must be an array, found string)"},
        {"purpose any", grant(R"("purposes": ["any"], "grantedAtUnix": 1)"),
         R"(unknown variant "any" for entry 0 of key "purposes" of origin "https://a")"},
        {"purpose in another case", grant(R"("purposes": ["sign", "Sign"], "grantedAtUnix": 1)"),
         R"(unknown variant "Sign" for entry 1)"},
        {"purpose not a string", grant(R"("purposes": [1], "grantedAtUnix": 1)"),
         R"(entry 0 of key "purposes" of origin "https://a" must be a string, found number)"},
        {"negative time", grant(R"("purposes": [], "grantedAtUnix": -1)"),
         R"(key "grantedAtUnix" of origin "https://a" must be an unsigned integer, found -1)"},
        {"integral float time", grant(R"("purposes": [], "grantedAtUnix": 1.0)"),
         "must be an unsigned integer, found 1.0"},
        {"time beyond 64 bits", grant(R"("purposes": [], "grantedAtUnix": 18446744073709551616)"),
         "must be an unsigned integer, found 1.8446744073709552e+19"},
        {"time as a string", grant(R"("purposes": [], "grantedAtUnix": "1")"),
         "must be an unsigned integer, found string"},
    };
    for (const auto& c : cases) {
        write_file(path_, c.content);
        auto opened = ConsentStore::open(path_, fixed_clock(1));
        ASSERT_FALSE(opened.ok()) << c.name;
        EXPECT_EQ(opened.error().kind, IoErrorKind::InvalidData) << c.name;
        EXPECT_NE(opened.error().message.find(c.message_part), std::string::npos)
            << c.name << ": " << opened.error().message;
        EXPECT_EQ(read_file(path_), c.content) << c.name;
        EXPECT_EQ(names_in(dir_.path()), std::set<std::string>{"consent.json"}) << c.name;
    }
}

TEST_F(ConsentStoreTest, NonFilesAndFilesInPlaceOfFoldersAreRefused) {
    fs::create_directory(path_);
    auto as_directory = ConsentStore::open(path_);
    ASSERT_FALSE(as_directory.ok());
    EXPECT_EQ(as_directory.error().message, "Is a directory (os error 21)");
    fs::remove(path_);

    // A FIFO must not block the open waiting for a writer.
    ASSERT_EQ(::mkfifo(path_.c_str(), 0600), 0);
    auto as_fifo = ConsentStore::open(path_);
    ASSERT_FALSE(as_fifo.ok());
    EXPECT_NE(as_fifo.error().message.find("not a regular file"), std::string::npos);
    fs::remove(path_);

    // A regular file where a folder of the path should be.
    write_file(dir_.path() / "data", "not a folder");
    auto through_file = ConsentStore::open((dir_.path() / "data" / "consent.json").string());
    ASSERT_FALSE(through_file.ok());
    EXPECT_EQ(through_file.error().message, "Not a directory (os error 20)");
    EXPECT_EQ(read_file(dir_.path() / "data"), "not a folder");
}

TEST_F(ConsentStoreTest, AnswersFromTheFileItOpenedAndCreatesNothing) {
    const struct {
        const char* name;
        std::optional<std::string> content;  // none: no file
        bool sign;
        bool auth;
    } cases[] = {
        {"no file", std::nullopt, false, false},
        {"empty origins", R"({"origins": {}})", false, false},
        {"empty purposes",
         R"({"origins": {"https://a.example": {"purposes": [], "grantedAtUnix": 1}}})", false,
         false},
        {"one purpose",
         R"({"origins": {"https://a.example": {"purposes": ["auth"], "grantedAtUnix": 1}}})", false,
         true},
        {"other origin only",
         R"({"origins": {"https://b.example": {"purposes": ["sign"], "grantedAtUnix": 1}}})", false,
         false},
    };
    for (const auto& c : cases) {
        fs::remove(path_);
        if (c.content) write_file(path_, *c.content);
        auto store = open_or_throw(path_);
        EXPECT_EQ(store.has_grant(kA, CertPurpose::Sign), c.sign) << c.name;
        EXPECT_EQ(store.has_grant(kA, CertPurpose::Auth), c.auth) << c.name;
        EXPECT_FALSE(store.has_grant("", CertPurpose::Sign)) << c.name;
        EXPECT_EQ(names_in(dir_.path()).size(), c.content ? 1u : 0u) << c.name;
    }
}

// --- granting --------------------------------------------------------------

TEST_F(ConsentStoreTest, GrantsWidenTakeTheLatestTimeAndRewriteTheFileWhole) {
    // Extra keys of an existing file are dropped at the next write.
    write_file(path_, R"({"v": 1, "origins": {"https://c": {"purposes": ["auth"], "note": "x",
                         "grantedAtUnix": 3}}})");
    std::uint64_t now = 100;
    auto store = open_or_throw(path_, [&now]() -> Result<std::uint64_t, IoError> { return now; });
    ASSERT_TRUE(store.grant(kA, kSignOnly).ok());
    now = 200;
    ASSERT_TRUE(store.grant(kA, kAuthOnly).ok());
    ASSERT_TRUE(store.grant("https://e", {}).ok());  // no purpose still records the origin

    EXPECT_TRUE(store.has_grant(kA, CertPurpose::Sign));
    EXPECT_TRUE(store.has_grant(kA, CertPurpose::Auth));
    EXPECT_FALSE(store.has_grant("https://e", CertPurpose::Sign));
    EXPECT_EQ(read_file(path_),
              write_store_file({{kA, {set_of({CertPurpose::Sign, CertPurpose::Auth}), 200}},
                                {"https://c", {set_of({CertPurpose::Auth}), 3}},
                                {"https://e", {PurposeSet{}, 200}}}));
}

TEST_F(ConsentStoreTest, OriginsAreComparedByteForByte) {
    auto store = open_or_throw(path_);
    ASSERT_TRUE(store.grant(kA, kSignOnly).ok());
    ASSERT_TRUE(store.grant("https://a.example/", kAuthOnly).ok());
    for (const char* other : {"https://A.example", " https://a.example"}) {
        EXPECT_FALSE(store.has_grant(other, CertPurpose::Sign)) << other;
    }
    auto reopened = open_or_throw(path_);
    EXPECT_TRUE(reopened.has_grant(kA, CertPurpose::Sign));
    EXPECT_FALSE(reopened.has_grant(kA, CertPurpose::Auth));
    EXPECT_TRUE(reopened.has_grant("https://a.example/", CertPurpose::Auth));
    EXPECT_FALSE(reopened.has_grant("https://a.example/", CertPurpose::Sign));
}

TEST_F(ConsentStoreTest, FoldersAreMadeFilesAreTheOwnersAloneAndPlantedLinksAreNotFollowed) {
    const fs::path folder = dir_.path() / "data" / "b";
    const std::string path = (folder / "consent.json").string();
    const std::string victim = dir_.file("victim");
    write_file(victim, "untouched");
    const mode_t saved = ::umask(0);
    auto store = open_or_throw(path);
    const bool first = store.grant(kA, kSignOnly).ok();
    fs::create_symlink(victim, path + ".tmp");
    const bool second = store.grant("https://b.example", kSignOnly).ok();
    ::umask(saved);
    ASSERT_TRUE(first && second);

    const auto mode = [](const fs::path& p) {
        struct stat st {};
        return ::lstat(p.c_str(), &st) == 0 ? st.st_mode & 07777 : 0u;
    };
    EXPECT_EQ(mode(folder), 0700u);
    EXPECT_EQ(mode(path), 0600u);
    EXPECT_EQ(mode(path + ".lock"), 0600u);
    EXPECT_EQ(read_file(victim), "untouched");
    EXPECT_TRUE(open_or_throw(path).has_grant("https://b.example", CertPurpose::Sign));
    fs::remove(path + ".tmp");
    EXPECT_EQ(names_in(folder), (std::set<std::string>{"consent.json", "consent.json.lock"}));
}

TEST_F(ConsentStoreTest, LockHeldByAnotherProcessFailsTheGrantAfterTheWait) {
    int ready[2], release[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(release), 0);
    const pid_t holder = ::fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        const int fd = ::open((path_ + ".lock").c_str(), O_RDWR | O_CREAT, 0600);
        char byte = 0;
        if (fd < 0 || ::flock(fd, LOCK_EX) != 0 || ::write(ready[1], "x", 1) != 1) ::_exit(1);
        ::close(release[1]);
        ::_exit(::read(release[0], &byte, 1) < 0 ? 1 : 0);  // until the test lets go
    }
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);

    auto opened = ConsentStore::open(path_, fixed_clock(1), std::chrono::milliseconds(300));
    ASSERT_TRUE(opened);
    auto granted = opened.value().grant(kA, kSignOnly);
    ::close(release[1]);
    int status = 0;
    ::waitpid(holder, &status, 0);
    ASSERT_FALSE(granted.ok());
    EXPECT_EQ(granted.error().message,
              "could not take the lock " + path_ + ".lock within 300 ms: another process holds it");
    EXPECT_TRUE(opened.value().has_grant(kA, CertPurpose::Sign));
    EXPECT_FALSE(fs::exists(path_));
}

// --- several writers on one file -------------------------------------------

// What each store believes follows the file; that no grant or revoke is lost
// when they write is the host's fault test's (ConsentRace).
TEST_F(ConsentStoreTest, AStoreAnswersFromTheFileOtherWritersLeft) {
    auto reader = open_or_throw(path_, fixed_clock(1));
    auto writer = open_or_throw(path_, fixed_clock(2));
    EXPECT_FALSE(reader.has_grant(kA, CertPurpose::Sign));

    // The file appears, then is replaced by another writer.
    ASSERT_TRUE(writer.grant(kA, kSignOnly).ok());
    EXPECT_TRUE(reader.has_grant(kA, CertPurpose::Sign));
    ASSERT_TRUE(writer.grant("https://b.example", kAuthOnly).ok());
    EXPECT_TRUE(reader.has_grant("https://b.example", CertPurpose::Auth));

    // The window revokes a.example while both stores hold it.
    write_file(path_, kWindowRevoke);
    EXPECT_FALSE(reader.has_grant(kA, CertPurpose::Sign));
    EXPECT_TRUE(reader.has_grant("https://b.example", CertPurpose::Sign));
    EXPECT_FALSE(writer.has_grant(kA, CertPurpose::Sign));

    // The file goes away.
    fs::remove(path_);
    EXPECT_FALSE(reader.has_grant("https://b.example", CertPurpose::Auth));
}

TEST_F(ConsentStoreTest, UnparseableChangedFileIsNeitherBelievedNorOverwritten) {
    auto store = open_or_throw(path_);
    ASSERT_TRUE(store.grant(kA, kSignOnly).ok());
    const std::string broken = R"({"origins": {"https://a.example": {"purposes": ["sign"]}}})";
    write_file(path_, broken);

    EXPECT_TRUE(store.has_grant(kA, CertPurpose::Sign));

    auto granted = store.grant("https://b.example", kAuthOnly);
    ASSERT_FALSE(granted.ok());
    EXPECT_EQ(granted.error().kind, IoErrorKind::InvalidData);
    EXPECT_NE(granted.error().message.find(R"(missing key "grantedAtUnix")"), std::string::npos)
        << granted.error().message;
    EXPECT_EQ(read_file(path_), broken);
    EXPECT_TRUE(store.has_grant(kA, CertPurpose::Sign));
    EXPECT_TRUE(store.has_grant("https://b.example", CertPurpose::Auth));
    EXPECT_FALSE(fs::exists(path_ + ".tmp"));
}

// --- failures while persisting ---------------------------------------------

TEST(ConsentStorePersistFailure, GrantReturnsTheErrorKeepsTheGrantAndTouchesNoData) {
    const struct {
        const char* name;
        // Breaks the store's surroundings before it opens.
        std::function<void(const fs::path& folder)> sabotage;
        bool clock_fails;
        const char* origin;
        const char* message;
    } cases[] = {
        {"lock file is a symbolic link",
         [](const fs::path& folder) {
             fs::remove(folder / "consent.json.lock");
             fs::create_symlink(folder / "elsewhere", folder / "consent.json.lock");
         },
         false, "https://new.example", "Too many levels of symbolic links (os error 40)"},
        {"lock file is a folder",
         [](const fs::path& folder) {
             fs::remove(folder / "consent.json.lock");
             fs::create_directory(folder / "consent.json.lock");
         },
         false, "https://new.example", "Is a directory (os error 21)"},
        {"clock before 1970", [](const fs::path&) {}, true, "https://new.example",
         "system clock before 1970"},
        {"origin not UTF-8", [](const fs::path&) {}, false, "https://\xFF.example",
         "origin is not valid UTF-8"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        const fs::path folder = dir.path() / "data";
        const std::string path = (folder / "consent.json").string();
        ASSERT_TRUE(open_or_throw(path).grant("https://old.example", kSignOnly).ok()) << c.name;
        c.sabotage(folder);
        UnixClock clock = fixed_clock(5);
        if (c.clock_fails) {
            clock = []() -> Result<std::uint64_t, IoError> {
                return IoError::other("system clock before 1970");
            };
        }
        auto store = open_or_throw(path, clock);
        const std::string before = list_tree(dir.path());

        auto granted = store.grant(c.origin, kAuthOnly);
        ASSERT_FALSE(granted.ok()) << c.name;
        EXPECT_EQ(granted.error().message, c.message) << c.name;
        EXPECT_TRUE(store.has_grant(c.origin, CertPurpose::Auth)) << c.name;
        EXPECT_TRUE(store.has_grant("https://old.example", CertPurpose::Sign)) << c.name;
        EXPECT_EQ(list_tree(dir.path()), before) << c.name;
    }
}

// --- concurrency -------------------------------------------------------------

// Threads on one store (its own locking) and on a store of their own (the
// file lock between stores of one process). Writer processes on one file are
// the host's fault tests' (ConsentRace).
TEST_F(ConsentStoreTest, ConcurrentThreadsLoseNoGrant) {
    constexpr int kThreads = 4, kGrantsEach = 15;
    const auto origin = [](int t, int n) {
        return "https://w" + std::to_string(t) + "-" + std::to_string(n) + ".example";
    };
    std::atomic<int> failures{0};
    auto shared = open_or_throw(path_);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            std::optional<ConsentStore> own;
            if (t == 0) own.emplace(open_or_throw(path_));
            ConsentStore& store = own ? *own : shared;
            for (int n = 0; n < kGrantsEach; ++n) {
                if (!store.grant(origin(t, n), kSignOnly)) ++failures;
                if (!store.has_grant(origin(t, n), CertPurpose::Sign)) ++failures;
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(parse_store_file(read_file(path_)).value().size(),
              std::size_t{kThreads * kGrantsEach});
}

}  // namespace
}  // namespace tavrin
