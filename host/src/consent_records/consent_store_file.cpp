#include "consent_records/consent_store_file.h"

#include <algorithm>
#include <cerrno>
#include <map>
#include <optional>

#include <nlohmann/json.hpp>

#include "platform/app_paths.h"
#include "common/file_replace.h"

namespace tavrin::host::ConsentStoreFile {
namespace {

// Far above any real consent file; keeps a planted huge file from being
// read into memory.
constexpr std::size_t maxFileBytes = 16 * 1024 * 1024;

// Mirrors of the file's two object levels. Both keys of each are required;
// other keys are ignored (and dropped when the host rewrites the file).
struct OriginGrant {
    std::vector<std::string> purposes;
    std::uint64_t grantedAtUnix = 0;
};

struct StoreFile {
    std::map<std::string, OriginGrant> origins;
};

std::optional<StoreFile> decode(const std::string& bytes) {
    // The JSON reader would take a NUL byte for the end of the text and let
    // anything follow it; the core refuses such a file, and so does the window.
    if (bytes.find('\0') != std::string::npos) return std::nullopt;
    const nlohmann::json json = nlohmann::json::parse(bytes, nullptr, false);
    if (!json.is_object()) return std::nullopt;
    const auto origins = json.find("origins");
    if (origins == json.end() || !origins->is_object()) return std::nullopt;

    StoreFile store;
    for (const auto& [origin, entry] : origins->items()) {
        if (!entry.is_object()) return std::nullopt;
        const auto purposes = entry.find("purposes");
        const auto granted = entry.find("grantedAtUnix");
        if (purposes == entry.end() || !purposes->is_array()) return std::nullopt;
        if (granted == entry.end() || !granted->is_number_unsigned()) return std::nullopt;
        OriginGrant grant;
        for (const auto& purpose : *purposes) {
            if (!purpose.is_string()) return std::nullopt;
            grant.purposes.push_back(purpose.get<std::string>());
        }
        grant.grantedAtUnix = granted->get<std::uint64_t>();
        store.origins.emplace(origin, std::move(grant));
    }
    return store;
}

std::string encode(const StoreFile& store) {
    // nlohmann's object keeps its members sorted, which gives the sorted
    // keys: "grantedAtUnix" before "purposes", origins in byte order.
    nlohmann::json origins = nlohmann::json::object();
    for (const auto& [origin, grant] : store.origins) {
        origins[origin] = {{"purposes", grant.purposes}, {"grantedAtUnix", grant.grantedAtUnix}};
    }
    return nlohmann::json{{"origins", std::move(origins)}}.dump(2) + "\n";
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
    auto bytes = readFileIfPresent(file, maxFileBytes);
    if (!bytes || !bytes.value()) return grants;
    const std::optional<StoreFile> store = decode(*bytes.value());
    if (!store) return grants;
    for (const auto& [origin, grant] : store->origins) {
        grants.push_back(ConsentGrant{origin, grant.purposes, grant.grantedAtUnix});
    }
    // The map is already in byte order; sorting states the contract.
    std::stable_sort(
        grants.begin(), grants.end(),
        [](const ConsentGrant& a, const ConsentGrant& b) { return a.origin < b.origin; });
    return grants;
}

Result<Unit, FileError> revoke(const std::string& origin) {
    return revoke(origin, url());
}

Result<Unit, FileError> revoke(const std::string& origin, const std::filesystem::path& file) {
    if (file.empty()) return FileError{"no home folder is known", 0};
    // The folder must exist for the lock file that sits beside the data.
    if (auto made = files::createDirectories(file.parent_path(), 0700); !made) return made;
    auto lock = files::FileLock::acquire(file.string() + ".lock");
    if (!lock) return std::move(lock).error();

    auto bytes = readFileIfPresent(file, maxFileBytes);
    if (!bytes) return std::move(bytes).error();
    StoreFile store;
    if (bytes.value()) {
        std::optional<StoreFile> decoded = decode(*bytes.value());
        if (!decoded) {
            return FileError{
                "the consent file " + file.string() + " cannot be parsed; it was left as it is",
                EINVAL};
        }
        store = std::move(*decoded);
    }
    store.origins.erase(origin);
    return files::replaceFile(file, encode(store), 0600);
}

}  // namespace tavrin::host::ConsentStoreFile
