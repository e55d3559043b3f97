#include "backend/keychain/user_keychain_platform.h"

#include <vector>

#include "backend/keychain/combined_keychain_platform.h"
#include "backend/keychain/nss/nss_database_location.h"
#include "backend/keychain/nss/nss_keychain_platform.h"
#include "backend/keychain/tokens/token_keychain_platform.h"

namespace tavrin::keychain {

std::unique_ptr<KeychainPlatform> make_user_keychain_platform(const std::string& database_dir,
                                                              bool p11kit_modules) {
    std::vector<std::unique_ptr<KeychainPlatform>> parts;
    parts.push_back(std::make_unique<NssKeychainPlatform>(NssStoreLocation{database_dir}));
    parts.push_back(
        std::make_unique<TokenKeychainPlatform>(TokenModuleSources{database_dir, p11kit_modules}));
    return std::make_unique<CombinedKeychainPlatform>(std::move(parts));
}

std::unique_ptr<KeychainPlatform> make_default_keychain_platform() {
    return make_user_keychain_platform(user_nss_database_dir());
}

}  // namespace tavrin::keychain
