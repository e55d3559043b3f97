#include "management/host_status.h"

#include <nlohmann/json.hpp>

namespace tavrin::host {
namespace {

using nlohmann::json;

std::string textOr(const json& object, const char* key, const char* fallback) {
    const auto found = object.find(key);
    return found != object.end() && found->is_string() ? found->get<std::string>() : fallback;
}

std::vector<std::string> backendsOf(const json& result) {
    const auto found = result.find("backends");
    if (found == result.end() || !found->is_array()) return {};
    std::vector<std::string> names;
    for (const json& name : *found) {
        if (!name.is_string()) return {};
        names.push_back(name.get<std::string>());
    }
    return names;
}

std::vector<HostStatus::MiddlewareIssue> issuesOf(const json& result) {
    std::vector<HostStatus::MiddlewareIssue> issues;
    const auto found = result.find("middlewareIssues");
    if (found == result.end() || !found->is_array()) return issues;
    for (const json& entry : *found) {
        if (!entry.is_object()) continue;
        const auto module = entry.find("module");
        const auto issue = entry.find("issue");
        if (module == entry.end() || !module->is_string()) continue;
        if (issue == entry.end() || !issue->is_string()) continue;
        issues.push_back({module->get<std::string>(), issue->get<std::string>()});
    }
    return issues;
}

std::optional<HostStatus::BuildInfo> buildInfoOf(const json& result) {
    const auto found = result.find("buildInfo");
    if (found == result.end() || !found->is_object()) return std::nullopt;
    const auto sha = found->find("gitSha");
    const auto date = found->find("date");
    if (sha == found->end() || !sha->is_string()) return std::nullopt;
    if (date == found->end() || !date->is_string()) return std::nullopt;
    return HostStatus::BuildInfo{sha->get<std::string>(), date->get<std::string>()};
}

}  // namespace

std::optional<HostStatus> decodeHostStatus(std::span<const std::uint8_t> reply) {
    const json parsed = json::parse(reply.begin(), reply.end(), nullptr, false);
    if (!parsed.is_object()) return std::nullopt;
    const auto result = parsed.find("result");
    if (result == parsed.end() || !result->is_object()) return std::nullopt;

    HostStatus status;
    status.version = textOr(*result, "version", "?");
    status.protocolVersion = textOr(*result, "protocolVersion", "?");
    status.platform = textOr(*result, "platform", "?");
    status.backends = backendsOf(*result);
    status.middlewareIssues = issuesOf(*result);
    status.buildInfo = buildInfoOf(*result);
    return status;
}

}  // namespace tavrin::host
