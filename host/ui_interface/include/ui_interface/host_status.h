#pragma once
// The core's answer to "status" as the management window shows it; the host
// decodes it (management/host_status.h).

#include <optional>
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
    // Not part of the core's answer: the folder of the certificate database
    // the identity store reads, as the host computes it; empty when unknown.
    std::string certificateDatabase;

    friend bool operator==(const HostStatus&, const HostStatus&) = default;
};

}  // namespace tavrin::host
