#include "protocol/request_reader.h"

#include "protocol/json_fields.h"
#include "protocol/origin.h"
#include "protocol/strict_json.h"

namespace tavrin {

using namespace json_fields;

namespace {

// The origin is checked here, while decoding, so that no flow can prompt,
// grant or list for a text that only looks like an origin.
Result<std::string, std::string> required_origin(const json& params) {
    auto origin = required_string(params, "origin");
    if (!origin) return origin;
    if (auto problem = origin_problem(origin.value())) return fail(std::move(*problem));
    return origin;
}

}  // namespace

Result<Request, std::string> parse_request(std::string_view bytes) {
    auto parsed = parse_strict_json(bytes);
    if (!parsed) return std::move(parsed).error();
    json& root = parsed.value();
    if (!root.is_object()) return wrong_type("the request", "an object", root);

    auto id = required_string(root, "id");
    if (!id) return std::move(id).error();
    auto method = required_string(root, "method");
    if (!method) return std::move(method).error();

    Request request{std::move(id).value(), std::move(method).value(), nullptr};
    if (const auto it = root.find("params"); it != root.end()) request.params = std::move(*it);
    return request;
}

Result<ListCertificatesParams, std::string> decode_list_certificates_params(const json& params) {
    if (!params.is_object()) return wrong_type("params", "an object", params);
    auto origin = required_origin(params);
    if (!origin) return std::move(origin).error();
    auto purpose = required_enum<Purpose>(params, "purpose");
    if (!purpose) return std::move(purpose).error();
    return ListCertificatesParams{std::move(origin).value(), purpose.value()};
}

Result<SignParams, std::string> decode_sign_params(const json& params) {
    if (!params.is_object()) return wrong_type("params", "an object", params);
    auto origin = required_origin(params);
    if (!origin) return std::move(origin).error();
    auto cert_id = required_string(params, "certId");
    if (!cert_id) return std::move(cert_id).error();
    auto hash_alg = required_enum<HashAlg>(params, "hashAlg");
    if (!hash_alg) return std::move(hash_alg).error();
    auto scheme = required_enum<Scheme>(params, "scheme");
    if (!scheme) return std::move(scheme).error();

    const json* hashes = find(params, "hashes");
    if (hashes == nullptr) return missing("hashes");
    if (!hashes->is_array()) return wrong_type(key_name("hashes"), "an array", *hashes);
    std::vector<std::string> texts;
    texts.reserve(hashes->size());
    for (std::size_t i = 0; i < hashes->size(); ++i) {
        const json& entry = (*hashes)[i];
        if (!entry.is_string()) {
            return wrong_type("entry " + std::to_string(i) + " of key \"hashes\"", "a string",
                              entry);
        }
        texts.push_back(entry.get<std::string>());
    }
    return SignParams{std::move(origin).value(), std::move(cert_id).value(), hash_alg.value(),
                      scheme.value(), std::move(texts)};
}

}  // namespace tavrin
