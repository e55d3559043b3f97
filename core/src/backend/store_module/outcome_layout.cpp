#include "backend/store_module/outcome_layout.h"

#include <cstdint>
#include <vector>

namespace tavrin::store {
namespace {

// What an outcome's records point into.
struct Storage {
    std::string error_text;
    CertificateList certificates;
    std::vector<std::vector<TavrinStoreBytes>> chains;
    std::vector<std::vector<std::uint8_t>> purposes;
    std::vector<TavrinStoreCertificate> records;
    SignatureList signatures;
    std::vector<TavrinStoreBytes> signature_records;
    std::string text;
};

TavrinStoreText text_of(const std::string& text) {
    return {text.data(), text.size()};
}

TavrinStoreBytes bytes_of(const Bytes& bytes) {
    return {bytes.data(), bytes.size()};
}

Storage& storage_of(TavrinStoreOutcome* outcome) {
    if (outcome->owner == nullptr) outcome->owner = new Storage();
    return *static_cast<Storage*>(outcome->owner);
}

}  // namespace

void put_error(TavrinStoreOutcome* outcome, const BackendError& error) {
    Storage& storage = storage_of(outcome);
    storage.error_text = error.text();
    outcome->error_kind = static_cast<std::int32_t>(error.kind()) + 1;
    outcome->retries_left =
        error.retries_left() ? static_cast<std::int64_t>(*error.retries_left()) : -1;
    outcome->error_text = text_of(storage.error_text);
}

void put_out_of_memory(TavrinStoreOutcome* outcome) noexcept {
    static constexpr std::string_view text = "identity-store module: out of memory";
    outcome->error_kind = static_cast<std::int32_t>(BackendError::Kind::Internal) + 1;
    outcome->retries_left = -1;
    outcome->error_text = {text.data(), text.size()};
}

void put_certificates(TavrinStoreOutcome* outcome, CertificateList list) {
    Storage& storage = storage_of(outcome);
    storage.certificates = std::move(list);
    const std::size_t count = storage.certificates.size();
    storage.chains.resize(count);
    storage.purposes.resize(count);
    storage.records.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        const CertificateInfo& info = storage.certificates[i];
        for (const Bytes& issuer : info.chain)
            storage.chains[i].push_back(bytes_of(issuer));
        for (const CertPurpose purpose : info.purposes)
            storage.purposes[i].push_back(static_cast<std::uint8_t>(purpose));
        TavrinStoreCertificate& record = storage.records[i];
        record = TavrinStoreCertificate{};
        record.cert_id = text_of(info.cert_id);
        record.der = bytes_of(info.der);
        record.chain = storage.chains[i].data();
        record.chain_count = storage.chains[i].size();
        record.key_algorithm = static_cast<std::uint8_t>(info.key_algorithm);
        record.purposes = storage.purposes[i].data();
        record.purpose_count = storage.purposes[i].size();
        record.has_token_label = info.token_label.has_value() ? 1 : 0;
        if (info.token_label) record.token_label = text_of(*info.token_label);
        record.backend = static_cast<std::uint8_t>(info.backend);
        record.not_after = text_of(info.not_after);
        record.qualified = info.qualified ? (*info.qualified ? 1 : 0) : -1;
    }
    outcome->certificates = storage.records.data();
    outcome->certificate_count = count;
}

void put_signatures(TavrinStoreOutcome* outcome, SignatureList list) {
    Storage& storage = storage_of(outcome);
    storage.signatures = std::move(list);
    for (const Bytes& signature : storage.signatures)
        storage.signature_records.push_back(bytes_of(signature));
    outcome->signatures = storage.signature_records.data();
    outcome->signature_count = storage.signature_records.size();
}

void put_text(TavrinStoreOutcome* outcome, std::string text) {
    Storage& storage = storage_of(outcome);
    storage.text = std::move(text);
    outcome->text = text_of(storage.text);
}

void release_outcome(TavrinStoreOutcome* outcome) {
    if (outcome == nullptr) return;
    delete static_cast<Storage*>(outcome->owner);
    *outcome = TavrinStoreOutcome{};
}

}  // namespace tavrin::store
