#include "consent_records/consent_store_file.h"

#include <memory>

#include <nlohmann/json.hpp>

#include "platform/app_paths.h"
#include "tavrin_bridge.h"

namespace tavrin::host::ConsentStoreFile {
namespace {

using CoreText = std::unique_ptr<char, decltype(&tavrin_bridge_free_string)>;

// One record of the core's listing; anything else in it is a broken core.
std::optional<ConsentGrant> grantOf(const nlohmann::json& record) {
    if (!record.is_object()) return std::nullopt;
    const auto origin = record.find("origin");
    const auto purposes = record.find("purposes");
    const auto granted = record.find("grantedAtUnix");
    if (origin == record.end() || !origin->is_string() || purposes == record.end() ||
        !purposes->is_array() || granted == record.end() || !granted->is_number_unsigned())
        return std::nullopt;
    ConsentGrant grant{origin->get<std::string>(), {}, granted->get<std::uint64_t>()};
    for (const auto& purpose : *purposes) {
        if (!purpose.is_string()) return std::nullopt;
        grant.purposes.push_back(purpose.get<std::string>());
    }
    return grant;
}

}  // namespace

std::filesystem::path url() {
    const std::filesystem::path folder = AppPaths::fromProcess().applicationDataDirectory();
    return folder.empty() ? folder : folder / "consent.json";
}

std::vector<ConsentGrant> list() {
    return list(url());
}

std::vector<ConsentGrant> list(const std::filesystem::path& file) {
    std::vector<ConsentGrant> grants;
    if (file.empty()) return grants;
    const CoreText listed(tavrin_bridge_list_grants(file.c_str()), &tavrin_bridge_free_string);
    const nlohmann::json records = nlohmann::json::parse(listed.get(), nullptr, false);
    if (!records.is_array()) return grants;
    for (const auto& record : records) {
        auto grant = grantOf(record);
        if (!grant) return {};
        grants.push_back(std::move(*grant));
    }
    return grants;
}

Result<Unit, FileError> revoke(const std::string& origin) {
    return revoke(origin, url());
}

Result<Unit, FileError> revoke(const std::string& origin, const std::filesystem::path& file) {
    if (file.empty()) return FileError{"no home folder is known", 0};
    // The core takes the origin as a C string: one with a NUL byte in it
    // would name another origin.
    if (origin.find('\0') != std::string::npos)
        return FileError{"the origin holds a NUL character", 0};
    char* why = nullptr;
    if (tavrin_bridge_revoke_grant(file.c_str(), origin.c_str(), &why) == 0) return Unit{};
    const CoreText text(why, &tavrin_bridge_free_string);
    return FileError{text ? std::string(text.get()) : std::string("the grant was not revoked"), 0};
}

}  // namespace tavrin::host::ConsentStoreFile
