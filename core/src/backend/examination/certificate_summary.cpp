#include "backend/examination/certificate_summary.h"

#include <memory>
#include <string>

#include <openssl/asn1.h>
#include <openssl/bio.h>
#include <openssl/x509.h>

#include "backend/x509/certificate_fields.h"
#include "protocol/enums.h"

namespace tavrin::examination {
namespace {

struct BioFree {
    void operator()(BIO* bio) const { BIO_free(bio); }
};
struct X509Free {
    void operator()(X509* cert) const { X509_free(cert); }
};

std::string bio_text(BIO* bio) {
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio, &data);
    return length > 0 ? std::string(data, static_cast<std::size_t>(length)) : std::string();
}

// RFC 2253 order and escaping, as people paste names into support requests.
std::string name_text(const X509_NAME* name) {
    std::unique_ptr<BIO, BioFree> bio(BIO_new(BIO_s_mem()));
    if (!bio || X509_NAME_print_ex(bio.get(), name, 0, XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB) < 0)
        return "?";
    return bio_text(bio.get());
}

std::string time_text(const ASN1_TIME* time) {
    std::unique_ptr<BIO, BioFree> bio(BIO_new(BIO_s_mem()));
    if (!bio || ASN1_TIME_print_ex(bio.get(), time, ASN1_DTFLGS_ISO8601) != 1) return "?";
    return bio_text(bio.get());
}

}  // namespace

nlohmann::ordered_json certificate_summary(std::span<const std::uint8_t> der) {
    nlohmann::ordered_json summary = nlohmann::ordered_json::object();
    const unsigned char* cursor = der.data();
    std::unique_ptr<X509, X509Free> cert(d2i_X509(nullptr, &cursor, static_cast<long>(der.size())));
    if (!cert) {
        summary["error"] = "not a readable X.509 certificate";
        return summary;
    }
    summary["subject"] = name_text(X509_get_subject_name(cert.get()));
    summary["issuer"] = name_text(X509_get_issuer_name(cert.get()));
    summary["notBefore"] = time_text(X509_get0_notBefore(cert.get()));
    summary["notAfter"] = time_text(X509_get0_notAfter(cert.get()));
    summary["expired"] = X509_cmp_current_time(X509_get0_notAfter(cert.get())) < 0;
    nlohmann::ordered_json purposes = nlohmann::ordered_json::array();
    // The listing's own reading of the purposes, so the counts match it.
    if (auto parsed = ParsedCertificate::parse(der)) {
        if (auto read = parsed.value().purposes()) {
            for (const CertPurpose purpose : read.value())
                purposes.push_back(purpose == CertPurpose::Sign ? "signing" : "authentication");
        }
    } else {
        summary["error"] = "refused by the listing: " + parsed.error().display();
    }
    summary["purposes"] = purposes;
    return summary;
}

nlohmann::ordered_json purpose_counts(const nlohmann::ordered_json& summaries) {
    int signing = 0;
    int authentication = 0;
    for (const auto& summary : summaries) {
        for (const auto& purpose : summary.value("purposes", nlohmann::ordered_json::array())) {
            if (purpose == "signing") ++signing;
            if (purpose == "authentication") ++authentication;
        }
    }
    return {{"signing", signing}, {"authentication", authentication}};
}

}  // namespace tavrin::examination
