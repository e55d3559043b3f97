#pragma once
// The token modules this user's identity store would load: those named in
// the NSS database's module list (pkcs11.txt) and those registered with
// p11-kit through its module files. Read from the files alone: nothing is
// loaded here, so a module that hangs cannot stop this listing.

#include <filesystem>
#include <string>
#include <vector>

namespace tavrin::examination {

struct RegisteredModule {
    std::string name;
    std::string library;      // as the registration gives it, or resolved for p11-kit
    std::string source;       // the file that registers it
    bool trust_only = false;  // a p11-kit trust module: certificate authorities, no keys
    std::string disabled;     // why p11-kit leaves it out of this program, or empty
};

// The modules of `database_dir`/pkcs11.txt that name a library (NSS's own
// internal module names none). A missing file gives none.
std::vector<RegisteredModule> database_modules(const std::filesystem::path& database_dir);

// The module files p11-kit reads for this process: the system's folders and,
// unless the process runs as root, the user's ($XDG_CONFIG_HOME/pkcs11/modules
// or ~/.config/pkcs11/modules); a user's file replaces a system one of the
// same name. Relative libraries are resolved against p11-kit's module folder.
std::vector<RegisteredModule> p11kit_modules();

// The folders p11kit_modules() reads, in order, with whether each is read.
struct ModuleFolder {
    std::string path;
    bool read = true;
};
std::vector<ModuleFolder> p11kit_module_folders();

}  // namespace tavrin::examination
