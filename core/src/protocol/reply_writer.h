#pragma once
// Writing replies: compact JSON, members in declared order, optional members
// omitted, non-ASCII text written as UTF-8 and only the quotation mark, the
// backslash and control characters escaped.
//
// The strings written here come from parsed requests (valid UTF-8 by then)
// or from the core itself; a writer failure is a programming error and ends
// the process.

#include <string>

#include "protocol/records.h"

namespace tavrin {

std::string write_reply(const SuccessResponse<StatusResult>& reply);
std::string write_reply(const SuccessResponse<ListCertificatesResult>& reply);
std::string write_reply(const SuccessResponse<SignResult>& reply);
std::string write_reply(const ErrorResponse& reply);

// One certificate record as its JSON object (also used by tests and tools).
nlohmann::ordered_json certificate_json(const CertificateInfo& info);

}  // namespace tavrin
