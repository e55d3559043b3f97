// The management window's view of the consent file, through the core's C
// interface: listing order and tolerance, and revoking under the core's
// rules (the core's layout, atomic, refusing a file it cannot parse).

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "consent_records/consent_store_file.h"
#include "tests/support/temp_dir.h"

namespace tavrin::host {
namespace {

namespace fs = std::filesystem;

class ConsentRecords : public ::testing::Test {
  protected:
    testing::TempDir home;
    fs::path file = home.path() / "data" / "consent.json";
};

TEST_F(ConsentRecords, ListsSortedByByteOrderKeepingPurposesAsStored) {
    testing::write_file(file, R"({"origins":{
        "https://b.example": {"purposes": ["auth","sign","sign"], "grantedAtUnix": 30, "x": 1},
        "https://A.example": {"purposes": ["custom"], "grantedAtUnix": 10},
        "https://a.example": {"purposes": [], "grantedAtUnix": 18446744073709551615}},
        "version": 7})");
    const std::vector<ConsentGrant> expected = {
        {"https://A.example", {"custom"}, 10},
        {"https://a.example", {}, 18446744073709551615ull},
        {"https://b.example", {"auth", "sign", "sign"}, 30},
    };
    EXPECT_EQ(ConsentStoreFile::list(file), expected);
}

TEST_F(ConsentRecords, AnythingButAWellFormedFileListsAsEmpty) {
    using namespace std::string_literals;
    const std::string contents[] = {
        "",
        R"({"origins":{"https://a.example":{"purposes":["sign"],"grantedAtUnix":1}}})"s + '\0' +
            "x",
        "[]",
        R"({"origins":[]})",
        R"({"origins":{"https://a.example":{"purposes":["sign"]}}})",
        R"({"origins":{"https://a.example":{"purposes":["sign"],"grantedAtUnix":-1}}})",
        R"({"origins":{"https://a.example":{"purposes":[1],"grantedAtUnix":1}}})",
        "{\"origins\":{\"https://\xff.example\":{\"purposes\":[],\"grantedAtUnix\":1}}}",
    };
    for (const std::string& content : contents) {
        SCOPED_TRACE(content);
        testing::write_file(file, content);
        EXPECT_TRUE(ConsentStoreFile::list(file).empty());
    }
    fs::remove(file);
    fs::create_directories(file);  // a folder in the file's place
    EXPECT_TRUE(ConsentStoreFile::list(file).empty());
}

TEST_F(ConsentRecords, RevokeRemovesTheOriginAndRewritesInTheCoresLayout) {
    testing::write_file(file, R"({"origins":{
        "https://z.example": {"purposes": ["sign","auth"], "grantedAtUnix": 5},
        "https://keep.example": {"grantedAtUnix": 9, "purposes": ["custom","auth","auth"]},
        "https://Z.example": {"purposes": [], "grantedAtUnix": 1}}})");
    ASSERT_TRUE(ConsentStoreFile::revoke("https://z.example", file));
    // Purposes as stored, whatever their names; an origin that differs only
    // in case stays.
    EXPECT_EQ(testing::read_file(file), R"({
  "origins": {
    "https://Z.example": {
      "purposes": [],
      "grantedAtUnix": 1
    },
    "https://keep.example": {
      "purposes": [
        "custom",
        "auth",
        "auth"
      ],
      "grantedAtUnix": 9
    }
  }
})");
    // No temporary file is left beside it; the lock file stays.
    for (const auto& entry : fs::directory_iterator(file.parent_path())) {
        const std::string name = entry.path().filename().string();
        EXPECT_TRUE(name == "consent.json" || name == "consent.json.lock") << name;
    }
}

TEST_F(ConsentRecords, RevokeWithoutAFileCreatesAnEmptyStore) {
    ASSERT_TRUE(ConsentStoreFile::revoke("https://a.example", file));
    EXPECT_EQ(testing::read_file(file), "{\n  \"origins\": {}\n}");
}

TEST_F(ConsentRecords, RevokeFailuresNameTheCauseAndLeaveTheFileAsItIs) {
    const std::string broken = R"({"origins":{"https://a.example":{"purposes":["sign"]}}})";
    testing::write_file(file, broken);
    testing::write_file(home.path() / "blocked", "");  // a file where the folder should be
    for (const auto& [path, cause] :
         {std::pair{file, "cannot be parsed"},
          std::pair{home.path() / "blocked" / "consent.json", "Not a directory"}}) {
        const auto revoked = ConsentStoreFile::revoke("https://a.example", path);
        ASSERT_FALSE(revoked) << cause;
        EXPECT_NE(revoked.error().description.find(cause), std::string::npos)
            << revoked.error().description;
    }
    EXPECT_EQ(testing::read_file(file), broken);
}

}  // namespace
}  // namespace tavrin::host
