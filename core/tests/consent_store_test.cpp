#include "consent/consent_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <limits>
#include <stdexcept>
#include <string>

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

// The management window's revoke: it rewrites the file in its own layout
// (keys sorted, " : " separators) with b.example alone left.
const std::string kWindowRevoke = R"({"origins" : {"https://b.example" : {"grantedAtUnix" : 1000, )"
                                  R"("purposes" : ["sign", "auth"]}}})";

class ConsentStoreTest : public ::testing::Test {
  protected:
    TempDir dir_;
    std::string path_ = dir_.file("consent.json");
};

// A folder in the file's place is the dispatcher's unsaved-grant test.
TEST_F(ConsentStoreTest, NonFilesAndFilesInPlaceOfFoldersAreRefused) {
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
}

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

TEST_F(ConsentStoreTest, FoldersAreMadeFilesAreTheOwnersAloneAndPlantedLinksAreNotFollowed) {
    const fs::path folder = dir_.path() / "data" / "b";
    const std::string path = (folder / "consent.json").string();
    const std::string victim = dir_.file("victim");
    const std::string untouched = R"({"origins": {}})";
    write_file(victim, untouched);
    const mode_t saved = ::umask(0);
    const bool first = open_or_throw(path).grant(kA, kSignOnly).ok();
    fs::remove(path);
    fs::create_symlink(victim, path);
    const bool second = open_or_throw(path).grant("https://b.example", kSignOnly).ok();
    ::umask(saved);
    ASSERT_TRUE(first && second);

    const auto mode = [](const fs::path& p) {
        struct stat st {};
        return ::lstat(p.c_str(), &st) == 0 ? st.st_mode & 07777 : 0u;
    };
    EXPECT_EQ(mode(folder), 0700u);
    EXPECT_EQ(mode(path), 0600u);
    EXPECT_EQ(mode(path + ".lock"), 0600u);
    EXPECT_EQ(read_file(victim), untouched);
    EXPECT_TRUE(open_or_throw(path).has_grant("https://b.example", CertPurpose::Sign));
    // The file and its lock, no temporary file left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 2);
}

TEST_F(ConsentStoreTest, LockHeldElsewhereFailsTheGrantAfterTheWait) {
    // The lock belongs to an open file, so one opened here conflicts as well.
    const int held = ::open((path_ + ".lock").c_str(), O_RDWR | O_CREAT, 0600);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    auto opened = ConsentStore::open(path_, fixed_clock(1), std::chrono::milliseconds(300));
    ASSERT_TRUE(opened);
    auto granted = opened.value().grant(kA, kSignOnly);
    ::close(held);
    ASSERT_FALSE(granted.ok());
    EXPECT_EQ(granted.error().message,
              "could not take the lock " + path_ + ".lock within 300 ms: another process holds it");
    EXPECT_TRUE(opened.value().has_grant(kA, CertPurpose::Sign));
    EXPECT_FALSE(fs::exists(path_));
}

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

// What the reader refuses is the file format's test (ParseStoreFile); here,
// what the store does with such a file once it runs. That it does not open on
// one is the C interface's creation-failure test.
TEST_F(ConsentStoreTest, UnparseableFileIsNeitherBelievedNorOverwritten) {
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
    EXPECT_EQ(list_tree(dir_.path()), "consent.json = " + broken + "\nconsent.json.lock = \n");
    EXPECT_TRUE(store.has_grant(kA, CertPurpose::Sign));
    EXPECT_TRUE(store.has_grant("https://b.example", CertPurpose::Auth));
}

TEST(ConsentStorePersistFailure, GrantReturnsTheErrorKeepsTheGrantAndTouchesNoData) {
    const UnixClock broken_clock = []() -> Result<std::uint64_t, IoError> {
        return IoError::other("system clock before 1970");
    };
    const struct {
        bool planted_lock;  // the lock file is a link to elsewhere
        UnixClock clock;
        const char* origin;
        const char* message;
    } cases[] = {
        {true, fixed_clock(5), "https://new.example",
         "Too many levels of symbolic links (os error 40)"},
        {false, broken_clock, "https://new.example", "system clock before 1970"},
        {false, fixed_clock(5), "https://\xFF.example", "origin is not valid UTF-8"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        TempDir dir;
        const std::string path = dir.file("consent.json");
        ASSERT_TRUE(open_or_throw(path).grant("https://old.example", kSignOnly).ok());
        if (c.planted_lock) {
            fs::remove(path + ".lock");
            fs::create_symlink(dir.path() / "elsewhere", path + ".lock");
        }
        auto store = open_or_throw(path, c.clock);
        const std::string before = list_tree(dir.path());

        auto granted = store.grant(c.origin, kAuthOnly);
        ASSERT_FALSE(granted.ok());
        EXPECT_EQ(granted.error().message, c.message);
        EXPECT_TRUE(store.has_grant(c.origin, CertPurpose::Auth));
        EXPECT_TRUE(store.has_grant("https://old.example", CertPurpose::Sign));
        EXPECT_EQ(list_tree(dir.path()), before);
    }
}

TEST(WriteStoreFile, WritesThePrettyLayoutWithoutTrailingNewline) {
    EXPECT_EQ(write_store_file(GrantMap{}), "{\n  \"origins\": {}\n}");
    // Purposes in a fixed order, origins in the map's.
    const GrantMap grants = {
        {"https://b.example", {set_of({CertPurpose::Auth, CertPurpose::Sign}), 1700000000}},
        {"https://a.example", {set_of({}), 0}}};
    EXPECT_EQ(write_store_file(grants),
              "{\n"
              "  \"origins\": {\n"
              "    \"https://a.example\": {\n"
              "      \"purposes\": [],\n"
              "      \"grantedAtUnix\": 0\n"
              "    },\n"
              "    \"https://b.example\": {\n"
              "      \"purposes\": [\n"
              "        \"sign\",\n"
              "        \"auth\"\n"
              "      ],\n"
              "      \"grantedAtUnix\": 1700000000\n"
              "    }\n"
              "  }\n"
              "}");
}

// That what was read is written so that it reads back the same is the
// consent file's fuzz target, over the seeds it replays in every run.
TEST(ParseStoreFile, AcceptsAnyValidLayout) {
    const struct {
        const char* text;
        GrantMap expected;
    } cases[] = {
        {R"({"origins": {"o": {"grantedAtUnix": 9, "purposes": ["auth", "sign", "auth"]}}})",
         {{"o", {set_of({CertPurpose::Sign, CertPurpose::Auth}), 9}}}},
        {R"({"origins": {"q\" b\\ t\t n\n": {"purposes": ["sign"], "grantedAtUnix": 7},
             "": {"purposes": [], "grantedAtUnix": 18446744073709551615},
             "https://\u00e9.example": {"purposes": [], "grantedAtUnix": 1}}})",
         {{"q\" b\\ t\t n\n", {set_of({CertPurpose::Sign}), 7}},
          {"", {set_of({}), std::numeric_limits<std::uint64_t>::max()}},
          {"https://\xC3\xA9.example", {set_of({}), 1}}}},
    };
    for (const auto& c : cases) {
        auto parsed = parse_store_file(c.text);
        ASSERT_TRUE(parsed.ok()) << parsed.error();
        EXPECT_EQ(parsed.value(), c.expected) << c.text;
    }
}

// Anything else the reader refuses, naming the problem: a last-wins reading of
// a duplicate origin could bring a revoked grant back.
TEST(ParseStoreFile, RefusesWhatIsNotAGrantTable) {
    const auto grant = [](const std::string& body) {
        return R"({"origins": {"https://a": {)" + body + "}}}";
    };
    const struct {
        std::string text;
        std::string error_part;
    } cases[] = {
        {"[]", "the consent file must be an object, found array"},
        {R"({"Origins": {}})", R"(missing key "origins")"},
        {R"({"origins": []})", R"(key "origins" must be an object, found array)"},
        {"{\"origins\": {\"o\": {\"purposes\": [], \"grantedAtUnix\": 1},\n"
         "\"o\": {\"purposes\": [], \"grantedAtUnix\": 1}}}",
         R"(duplicate key "o" at line 2)"},
        {R"({"origins": {"https://a": true}})",
         R"(origin "https://a" must be an object, found boolean)"},
        {grant(R"("grantedAtUnix": 1)"), R"(missing key "purposes" in origin "https://a")"},
        {grant(R"("purposes": [])"), R"(missing key "grantedAtUnix" in origin "https://a")"},
        {grant(R"("purposes": "sign", "grantedAtUnix": 1)"),
         R"(key "purposes" of origin "https://a" must be an array, found string)"},
        {grant(R"("purposes": ["any"], "grantedAtUnix": 1)"),
         R"(unknown variant "any" for entry 0 of key "purposes" of origin "https://a")"},
        {grant(R"("purposes": ["sign", "Sign"], "grantedAtUnix": 1)"),
         R"(unknown variant "Sign" for entry 1)"},
        {grant(R"("purposes": [1], "grantedAtUnix": 1)"),
         R"(entry 0 of key "purposes" of origin "https://a" must be a string, found number)"},
        {grant(R"("purposes": [], "grantedAtUnix": -1)"),
         R"(key "grantedAtUnix" of origin "https://a" must be an unsigned integer, found -1)"},
        {grant(R"("purposes": [], "grantedAtUnix": 1.0)"),
         "must be an unsigned integer, found 1.0"},
        {grant(R"("purposes": [], "grantedAtUnix": 18446744073709551616)"),
         "must be an unsigned integer, found 1.8446744073709552e+19"},
        {grant(R"("purposes": [], "grantedAtUnix": "1")"),
         "must be an unsigned integer, found string"},
    };
    for (const auto& c : cases) {
        const auto parsed = parse_store_file(c.text);
        ASSERT_FALSE(parsed.ok()) << c.text;
        EXPECT_NE(parsed.error().find(c.error_part), std::string::npos) << parsed.error();
    }
}

}  // namespace
}  // namespace tavrin

namespace tavrin {
namespace {

// The window reads the same file with the purposes as stored: names the
// store refuses, their order and repeats survive a revoke's rewrite.
TEST(ParseStoreFile, AsStoredKeepsWhatTheStoreRefusesAndWritesItBack) {
    const std::string text = R"({"origins":{"https://a.example":
        {"purposes":["custom","sign","sign"],"grantedAtUnix":7,"extra":true}}})";
    EXPECT_FALSE(parse_store_file(text));
    auto stored = parse_store_file_as_stored(text);
    ASSERT_TRUE(stored) << stored.error();
    const StoredGrantMap expected{{"https://a.example", {{"custom", "sign", "sign"}, 7}}};
    EXPECT_EQ(stored.value(), expected);
    auto again = parse_store_file_as_stored(write_store_file(stored.value()));
    ASSERT_TRUE(again);
    EXPECT_EQ(again.value(), expected);
    EXPECT_FALSE(parse_store_file_as_stored(
        R"({"origins":{"https://a.example":{"purposes":[1],"grantedAtUnix":7}}})"));
}

}  // namespace
}  // namespace tavrin
