#pragma once
// The core's answer to "status" as the management window shows it. The
// record is header-only (the user-interface module receives it); decoding
// lives in the host.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tavrin::host {

struct HostStatus {
    struct MiddlewareIssue {
        std::string module;
        std::string issue;
        friend bool operator==(const MiddlewareIssue&, const MiddlewareIssue&) = default;
    };
    struct BuildInfo {
        std::string gitSha;
        std::string date;
        friend bool operator==(const BuildInfo&, const BuildInfo&) = default;
    };

    std::string version;
    std::string protocolVersion;
    std::string platform;
    std::vector<std::string> backends;
    std::vector<MiddlewareIssue> middlewareIssues;
    std::optional<BuildInfo> buildInfo;

    friend bool operator==(const HostStatus&, const HostStatus&) = default;

    // From the reply bytes: an object with an object "result", else nothing.
    // Text fields that are not strings become "?"; a "backends" that is not a
    // list of strings becomes empty; issues lacking "module" or "issue" are
    // skipped; "buildInfo" needs both "gitSha" and "date".
    static std::optional<HostStatus> decode(std::span<const std::uint8_t> reply);
};

}  // namespace tavrin::host
