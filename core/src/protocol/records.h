#pragma once
// The records of the request and reply protocol, in memory.

#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "common/bytes.h"
#include "protocol/build_info.h"
#include "protocol/enums.h"
#include "protocol/error_code.h"

namespace tavrin {

struct Request {
    std::string id;
    std::string method;
    nlohmann::json params;  // null when the request has no "params"
};

struct ListCertificatesParams {
    std::string origin;
    Purpose purpose;
};

struct SignParams {
    std::string origin;
    std::string cert_id;
    HashAlg hash_alg;
    Scheme scheme;
    std::vector<std::string> hashes;  // Base64 text, decoded by the signing flow
};

struct StatusResult {
    std::string_view version;
    std::string_view protocol_version;
    Platform platform;
    std::vector<Backend> backends;
    BuildInfo build_info;
};

struct CertificateInfo {
    std::string cert_id;
    Bytes der;
    std::vector<Bytes> chain;
    KeyAlgorithm key_algorithm;
    std::vector<CertPurpose> purposes;
    std::optional<std::string> token_label;
    Backend backend;
    std::string not_after;
    std::optional<bool> qualified;
};

struct ListCertificatesResult {
    std::vector<CertificateInfo> certificates;
};

struct SignResult {
    std::vector<std::string> signatures;  // Base64 text
};

struct ErrorBody {
    ErrorCode code;
    std::string message;
    std::optional<nlohmann::ordered_json> data;  // an object, or absent
};

struct ErrorResponse {
    std::string id;
    ErrorBody error;
};

template <class T>
struct SuccessResponse {
    std::string id;
    T result;
};

}  // namespace tavrin
