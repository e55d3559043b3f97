#include "consent/grant_records.h"

#include <utility>

#include "consent/consent_file_access.h"

namespace tavrin {

StoredGrantMap list_grants(const std::string& path) {
    auto content = consent_file::read(path);
    if (!content || !content.value()) return {};
    auto grants = parse_store_file_as_stored(content.value()->bytes);
    if (!grants) return {};
    return std::move(grants).value();
}

Result<std::size_t, IoError> count_grants(const std::string& path) {
    auto content = consent_file::read(path);
    if (!content) return std::move(content).error();
    if (!content.value()) return std::size_t{0};
    auto grants = parse_store_file(content.value()->bytes);
    if (!grants) return IoError::invalid_data(std::move(grants).error());
    return grants.value().size();
}

Result<Unit, IoError> revoke_grant(const std::string& path, std::string_view origin,
                                   std::chrono::milliseconds lock_wait) {
    auto lock = consent_file::lock(path, lock_wait);
    if (!lock) return std::move(lock).error();
    auto content = consent_file::read(path);
    if (!content) return std::move(content).error();
    StoredGrantMap grants;
    if (content.value()) {
        auto parsed = parse_store_file_as_stored(content.value()->bytes);
        if (!parsed) {
            return IoError::invalid_data("the consent file " + path + " cannot be parsed (" +
                                         parsed.error() + "); it was left as it is");
        }
        grants = std::move(parsed).value();
    }
    if (const auto found = grants.find(origin); found != grants.end()) grants.erase(found);
    return consent_file::replace(path, write_store_file(grants));
}

}  // namespace tavrin
