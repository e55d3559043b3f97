#pragma once
// Where the user's NSS database lies: the folder Chrome and Chromium keep
// their client certificates and token modules in (cert9.db, key4.db and
// pkcs11.txt). Plain path rules over the environment and one directory test;
// nothing here needs NSS, so the executable can name the folder without
// loading the identity store.

#include <string>

namespace tavrin::keychain {

// The inputs of the rule. `home` must be absolute; `xdg_data_home` is the
// value of XDG_DATA_HOME as set (empty when unset).
struct NssDatabaseHome {
    std::string home;
    std::string xdg_data_home;
};

// HOME/.pki/nssdb while HOME/.pki exists (the folder browsers used first and
// still use once it is there); otherwise XDG_DATA_HOME/pki/nssdb, with
// HOME/.local/share standing for XDG_DATA_HOME when it is unset or not an
// absolute path.
std::string nss_database_dir(const NssDatabaseHome& where);

// The rule for this process: HOME (or, when HOME is unset or not absolute,
// the home folder from the password database) and XDG_DATA_HOME.
std::string user_nss_database_dir();

}  // namespace tavrin::keychain
