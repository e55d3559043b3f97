#pragma once
// The software part of the user's NSS database, for the diagnostic report:
// opened read-only without its module list (a token module that hangs must
// not stop this step), its identities summarised by purpose.

#include <string>

#include <nlohmann/json.hpp>

namespace tavrin::keychain {

// {"databaseDir", "exists", "opened", "reason"?, "passwordProtected",
//  "signing", "authentication", "certificates": [...]}
nlohmann::ordered_json examine_software_database(const std::string& database_dir);

}  // namespace tavrin::keychain
