#include "backend/store_module/outcome_reading.h"

#include <string>
#include <string_view>

#include "protocol/enums.h"

namespace tavrin::store {
namespace {

std::string text_of(TavrinStoreText text) {
    return text.size == 0 ? std::string() : std::string(text.data, text.size);
}

Bytes bytes_of(TavrinStoreBytes bytes) {
    return bytes.size == 0 ? Bytes() : Bytes(bytes.data, bytes.data + bytes.size);
}

BackendError broken(const std::string& what) {
    return BackendError::internal("identity-store module: " + what);
}

// The core's enumeration value `raw`, when it names one.
template <class E>
std::optional<E> enum_of(std::uint8_t raw) {
    if (raw >= WireNames<E>::names.size()) return std::nullopt;
    return static_cast<E>(raw);
}

Result<CertificateInfo, BackendError> certificate_of(const TavrinStoreCertificate& record) {
    CertificateInfo info;
    info.cert_id = text_of(record.cert_id);
    info.der = bytes_of(record.der);
    for (std::size_t i = 0; i < record.chain_count; ++i)
        info.chain.push_back(bytes_of(record.chain[i]));
    const auto key = enum_of<KeyAlgorithm>(record.key_algorithm);
    const auto backend = enum_of<Backend>(record.backend);
    if (!key || !backend) return fail(broken("certificate with an unknown key or backend"));
    info.key_algorithm = *key;
    info.backend = *backend;
    for (std::size_t i = 0; i < record.purpose_count; ++i) {
        const auto purpose = enum_of<CertPurpose>(record.purposes[i]);
        if (!purpose) return fail(broken("certificate with an unknown purpose"));
        info.purposes.push_back(*purpose);
    }
    if (record.has_token_label != 0) info.token_label = text_of(record.token_label);
    info.not_after = text_of(record.not_after);
    if (record.qualified >= 0) info.qualified = record.qualified != 0;
    return info;
}

}  // namespace

std::optional<BackendError> error_of(const TavrinStoreOutcome& outcome) {
    if (outcome.error_kind == TAVRIN_STORE_OK) return std::nullopt;
    using Kind = BackendError::Kind;
    // Checked before the cast: a value beyond the enumeration's has no kind.
    if (outcome.error_kind < 1 || outcome.error_kind > static_cast<int>(Kind::UserCancelled) + 1)
        return broken("unknown error kind " + std::to_string(outcome.error_kind));
    std::string text = text_of(outcome.error_text);
    switch (static_cast<Kind>(outcome.error_kind - 1)) {
        case Kind::NoReader:
            return BackendError::no_reader(std::move(text));
        case Kind::NoToken:
            return BackendError::no_token(std::move(text));
        case Kind::NoMatchingCertificates:
            return BackendError::no_matching_certificates();
        case Kind::UnknownCertificateId:
            return BackendError::unknown_certificate_id();
        case Kind::PinIncorrect:
            if (outcome.retries_left < 0 || outcome.retries_left > UINT32_MAX)
                return BackendError::pin_incorrect();
            return BackendError::pin_incorrect(static_cast<std::uint32_t>(outcome.retries_left));
        case Kind::PinBlocked:
            return BackendError::pin_blocked();
        case Kind::MechanismUnsupported:
            return BackendError::mechanism_unsupported(std::move(text));
        case Kind::MiddlewareMissing:
            return BackendError::middleware_missing(std::move(text));
        case Kind::Internal:
            return BackendError::internal(std::move(text));
        case Kind::UserCancelled:
            return BackendError::user_cancelled(std::move(text));
    }
    return broken("unknown error kind " + std::to_string(outcome.error_kind));
}

Result<CertificateList, BackendError> certificates_of(const TavrinStoreOutcome& outcome) {
    if (auto error = error_of(outcome)) return fail(std::move(*error));
    CertificateList list;
    list.reserve(outcome.certificate_count);
    for (std::size_t i = 0; i < outcome.certificate_count; ++i) {
        auto info = certificate_of(outcome.certificates[i]);
        if (!info) return fail(info.error());
        list.push_back(std::move(info).value());
    }
    return list;
}

Result<SignatureList, BackendError> signatures_of(const TavrinStoreOutcome& outcome) {
    if (auto error = error_of(outcome)) return fail(std::move(*error));
    SignatureList list;
    list.reserve(outcome.signature_count);
    for (std::size_t i = 0; i < outcome.signature_count; ++i)
        list.push_back(bytes_of(outcome.signatures[i]));
    return list;
}

Result<KeyApproval, BackendError> approval_of(const TavrinStoreOutcome& outcome) {
    if (auto error = error_of(outcome)) return fail(std::move(*error));
    if (outcome.approval > static_cast<std::uint8_t>(KeyApproval::InsertCard))
        return fail(broken("unknown key approval " + std::to_string(outcome.approval)));
    return static_cast<KeyApproval>(outcome.approval);
}

}  // namespace tavrin::store
