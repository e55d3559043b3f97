// Which token modules the identity store loads: a library registered both
// in the user's NSS database and with p11-kit is loaded once (through
// p11-kit), and its tokens' identities are listed once.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>

#include "backend/keychain/keychain_backend.h"
#include "backend/keychain/tokens/token_modules.h"
#include "backend/keychain/user_keychain_platform.h"
#include "support/softhsm_token.h"

namespace tavrin {
namespace {

TEST(TokenModules, ALibraryRegisteredInTheDatabaseAndWithP11KitIsLoadedOnce) {
    const testing::SoftHsmTokens tokens{"main"};
    const testing::TempDir dir;
    const std::string db = "sql:" + dir.path().string();
    ASSERT_EQ(std::system(("certutil -N -d " + db + " --empty-password && modutil -force -dbdir " +
                           db + " -add 'SoftHSM in the database' -libfile " +
                           TAVRIN_SOFTHSM_MODULE + " >/dev/null 2>&1")
                              .c_str()),
              0);
    const std::string softhsm = std::filesystem::canonical(TAVRIN_SOFTHSM_MODULE).string();

    const auto modules = keychain::load_token_modules({dir.path().string(), true});
    int softhsm_modules = 0;
    for (const auto& module : modules) {
        std::error_code ignored;
        if (std::filesystem::canonical(module.library, ignored).string() == softhsm)
            ++softhsm_modules;
    }
    EXPECT_EQ(softhsm_modules, 1);
    // Without p11-kit the database's registration loads it.
    const auto database_only = keychain::load_token_modules({dir.path().string(), false});
    ASSERT_EQ(database_only.size(), 1u);
    EXPECT_EQ(database_only.front().name, "SoftHSM in the database");

    KeychainBackend backend(keychain::make_user_keychain_platform(dir.path().string(), true));
    auto listed = backend.list_certificates(Purpose::Any);
    ASSERT_TRUE(listed) << listed.error().display();
    std::set<std::string> ids;
    for (const auto& info : listed.value())
        EXPECT_TRUE(ids.insert(info.cert_id).second) << "twice: " << info.cert_id;
    EXPECT_EQ(ids.size(), 4u);  // rsa2048, rsa4096, p256, bp256 on "main"
}

}  // namespace
}  // namespace tavrin
