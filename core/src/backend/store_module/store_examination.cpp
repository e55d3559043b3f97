#include "backend/store_module/store_examination.h"

#include <filesystem>

#include <nlohmann/json.hpp>

#include "backend/examination/module_examination.h"
#include "backend/examination/registered_modules.h"
#include "backend/keychain/nss/nss_database_examination.h"
#include "backend/keychain/nss/nss_database_location.h"

namespace tavrin::store {
namespace {

using json = nlohmann::ordered_json;

json module_entries(const std::vector<examination::RegisteredModule>& modules) {
    json entries = json::array();
    for (const auto& module : modules) {
        json entry = {
            {"name", module.name}, {"library", module.library}, {"source", module.source}};
        if (module.trust_only) entry["trustOnly"] = true;
        if (!module.disabled.empty()) entry["disabled"] = module.disabled;
        entries.push_back(entry);
    }
    return entries;
}

json registrations() {
    const std::string database_dir = keychain::user_nss_database_dir();
    std::error_code ignored;
    json folders = json::array();
    for (const auto& folder : examination::p11kit_module_folders())
        folders.push_back({{"path", folder.path}, {"read", folder.read}});
    return {{"databaseDir", database_dir},
            {"databaseExists", std::filesystem::exists(database_dir + "/cert9.db", ignored)},
            {"databaseModules", module_entries(examination::database_modules(database_dir))},
            {"p11kitFolders", folders},
            {"p11kitModules", module_entries(examination::p11kit_modules())}};
}

// Token labels and certificate names come from outside: bytes that are not
// UTF-8 are replaced rather than refused.
std::string text(const json& document) {
    return document.dump(-1, ' ', false, json::error_handler_t::replace);
}

}  // namespace

std::string examine(std::string_view step, std::string_view argument) {
    if (step == "store") return text(registrations());
    if (step == "module") return text(examination::examine_module(std::string(argument)));
    if (step == "database") return text(keychain::examine_software_database(std::string(argument)));
    return text(json{{"error", "unknown step " + std::string(step)}});
}

}  // namespace tavrin::store
