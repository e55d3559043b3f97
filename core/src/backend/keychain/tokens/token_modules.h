#pragma once
// The PKCS#11 modules through which the identity store reaches the user's
// cards and tokens: those registered in the user's NSS module database (read
// from its pkcs11.txt; NSS itself loads none of them) and those p11-kit is
// configured to give this program (p11-kit's module API, which honours
// "enable-in" and "disable-in"). A library reached both ways is loaded once,
// through p11-kit. A module that does not load or initialise is one line on
// standard error naming it and the cause; none of them stops the others.

#include <memory>
#include <string>
#include <vector>

#include "backend/pkcs11/pkcs11_module.h"

namespace tavrin::keychain {

struct TokenModuleSources {
    std::string database_dir;  // holds pkcs11.txt; empty or missing: none
    bool p11kit = true;        // also the modules registered with p11-kit
};

struct TokenModule {
    std::string name;     // as registered
    std::string library;  // the library's path
    std::shared_ptr<const pkcs11::Module> module;
    // A p11-kit trust module (certificate authorities, no keys): searched
    // for issuers only.
    bool trust_only = false;
};

// Database modules first, in the file's order, then p11-kit's.
std::vector<TokenModule> load_token_modules(const TokenModuleSources& sources);

}  // namespace tavrin::keychain
