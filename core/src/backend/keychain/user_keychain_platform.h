#pragma once
// The Linux identity store as the user has it: the software NSS database in
// `database_dir` and every card and token module registered in its
// pkcs11.txt or (unless `p11kit_modules` is false) with p11-kit, as one store
// whose software identities come first.

#include <memory>
#include <string>

#include "backend/keychain/keychain_platform.h"

namespace tavrin::keychain {

std::unique_ptr<KeychainPlatform> make_user_keychain_platform(const std::string& database_dir,
                                                              bool p11kit_modules = true);

}  // namespace tavrin::keychain
