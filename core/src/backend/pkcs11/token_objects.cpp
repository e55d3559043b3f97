#include "backend/pkcs11/token_objects.h"

#include <array>
#include <vector>

namespace tavrin::pkcs11 {
namespace {

// Room for most certificates and identifiers in one read; a larger value
// costs a second call, never a failure.
constexpr std::size_t kCertificateRoom = 4096;
constexpr std::size_t kIdRoom = 64;

}  // namespace

Result<std::vector<TokenCertificate>, CertificateReadError> read_certificates(
    const Session& session) {
    using Step = CertificateReadError::Step;
    auto handles = find_by_class(session, CKO_CERTIFICATE);
    if (!handles) return CertificateReadError{Step::Search, handles.error()};
    constexpr std::array<AttributeRequest, 2> kRead{AttributeRequest{CKA_VALUE, kCertificateRoom},
                                                    AttributeRequest{CKA_ID, kIdRoom}};
    std::vector<TokenCertificate> certificates;
    certificates.reserve(handles.value().size());
    for (const CK_OBJECT_HANDLE handle : handles.value()) {
        auto attributes = read_attributes_at_once(session, handle, kRead);
        if (!attributes) return CertificateReadError{Step::Read, attributes.error()};
        auto& values = attributes.value();
        const auto value = values.find(CKA_VALUE);
        if (value == values.end()) continue;
        TokenCertificate certificate{handle, std::move(value->second), {}};
        if (const auto id = values.find(CKA_ID); id != values.end())
            certificate.id = std::move(id->second);
        certificates.push_back(std::move(certificate));
    }
    return certificates;
}

Result<KeysById, Pkcs11Error> read_keys(const Session& session, CK_OBJECT_CLASS key_class,
                                        std::span<const AttributeRequest> also) {
    auto handles = find_by_class(session, key_class);
    if (!handles) return handles.error();
    std::vector<AttributeRequest> read{{CKA_ID, kIdRoom}};
    read.insert(read.end(), also.begin(), also.end());
    KeysById keys;
    for (const CK_OBJECT_HANDLE handle : handles.value()) {
        auto attributes = read_attributes_at_once(session, handle, read);
        if (!attributes) return attributes.error();
        Bytes id;
        if (const auto found = attributes.value().find(CKA_ID); found != attributes.value().end())
            id = found->second;
        keys.emplace(std::move(id), std::move(attributes).value());
    }
    return keys;
}

}  // namespace tavrin::pkcs11
