#include "protocol/reply_writer.h"

#include <cstdio>
#include <cstdlib>
#include <exception>

#include "protocol/base64.h"
#include "protocol/reply_limits.h"

namespace tavrin {
namespace {

using nlohmann::ordered_json;

template <class E>
ordered_json wire(E value) {
    return ordered_json(std::string(wire_name(value)));
}

template <class E>
ordered_json wire_array(const std::vector<E>& values) {
    ordered_json out = ordered_json::array();
    for (const E v : values)
        out.push_back(wire(v));
    return out;
}

// Writing these documents cannot fail for valid UTF-8; if it ever does, the
// process stops with the record's fixed message.
std::string dump_or_die(const ordered_json& document, const char* what) {
    try {
        return document.dump(-1, ' ', false, ordered_json::error_handler_t::strict);
    } catch (const std::exception&) {
        std::fprintf(stderr, "tavrin-bridge: %s always serializes\n", what);
        std::abort();
    }
}

ordered_json envelope(const std::string& id, const char* member, ordered_json body) {
    ordered_json out = ordered_json::object();
    out["id"] = echoed(id);
    out[member] = std::move(body);
    return out;
}

}  // namespace

ordered_json certificate_json(const CertificateInfo& info) {
    ordered_json out = ordered_json::object();
    out["certId"] = info.cert_id;
    out["der"] = base64_encode(info.der);
    ordered_json chain = ordered_json::array();
    for (const auto& issuer : info.chain)
        chain.push_back(base64_encode(issuer));
    out["chain"] = std::move(chain);
    out["keyAlgorithm"] = wire(info.key_algorithm);
    out["purposes"] = wire_array(info.purposes);
    if (info.token_label) out["tokenLabel"] = *info.token_label;
    out["backend"] = wire(info.backend);
    out["notAfter"] = info.not_after;
    if (info.qualified) out["qualified"] = *info.qualified;
    return out;
}

std::string write_reply(const SuccessResponse<StatusResult>& reply) {
    const StatusResult& s = reply.result;
    ordered_json result = ordered_json::object();
    result["version"] = std::string(s.version);
    result["protocolVersion"] = std::string(s.protocol_version);
    result["platform"] = wire(s.platform);
    result["backends"] = wire_array(s.backends);
    ordered_json build = ordered_json::object();
    build["gitSha"] = std::string(s.build_info.git_sha);
    build["date"] = std::string(s.build_info.date);
    result["buildInfo"] = std::move(build);
    return dump_or_die(envelope(reply.id, "result", std::move(result)), "StatusResult");
}

std::string write_reply(const SuccessResponse<ListCertificatesResult>& reply) {
    ordered_json certificates = ordered_json::array();
    for (const auto& info : reply.result.certificates)
        certificates.push_back(certificate_json(info));
    ordered_json result = ordered_json::object();
    result["certificates"] = std::move(certificates);
    return dump_or_die(envelope(reply.id, "result", std::move(result)), "ListCertificatesResult");
}

std::string write_reply(const SuccessResponse<SignResult>& reply) {
    ordered_json result = ordered_json::object();
    result["signatures"] = reply.result.signatures;
    return dump_or_die(envelope(reply.id, "result", std::move(result)), "SignResult");
}

std::string write_reply(const ErrorResponse& reply) {
    ordered_json body = ordered_json::object();
    body["code"] = wire(reply.error.code);
    body["message"] = reply.error.message;
    if (reply.error.data) body["data"] = *reply.error.data;
    return dump_or_die(envelope(reply.id, "error", std::move(body)), "ErrorResponse");
}

}  // namespace tavrin
