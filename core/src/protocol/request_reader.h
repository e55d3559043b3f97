#pragma once
// Reading requests and their parameters from outside input.
//
// Every failure is a description for the reply's message: it names the key,
// the value or the position that is wrong.

#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "common/result.h"
#include "protocol/records.h"

namespace tavrin {

// The request envelope: an object with string "id" and "method" and an
// optional "params" of any type.
Result<Request, std::string> parse_request(std::string_view bytes);

Result<ListCertificatesParams, std::string> decode_list_certificates_params(
    const nlohmann::json& params);

Result<SignParams, std::string> decode_sign_params(const nlohmann::json& params);

}  // namespace tavrin
