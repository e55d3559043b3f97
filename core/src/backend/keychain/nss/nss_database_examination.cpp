#include "backend/keychain/nss/nss_database_examination.h"

#include <filesystem>
#include <span>

#include <cert.h>
#include <nss.h>
#include <pk11pub.h>
#include <prerror.h>

#include "backend/examination/certificate_summary.h"

namespace tavrin::keychain {

nlohmann::ordered_json examine_software_database(const std::string& database_dir) {
    nlohmann::ordered_json report = {{"databaseDir", database_dir}};
    std::error_code ignored;
    const bool exists = std::filesystem::exists(database_dir + "/cert9.db", ignored);
    report["exists"] = exists;
    if (!exists) return report;

    const std::string config = "sql:" + database_dir;
    NSSInitContext* context =
        NSS_InitContext(config.c_str(), "", "", "", nullptr,
                        NSS_INIT_READONLY | NSS_INIT_NOROOTINIT | NSS_INIT_NOMODDB);
    if (context == nullptr) {
        const PRErrorCode code = PORT_GetError();
        const char* text = PR_ErrorToString(code, PR_LANGUAGE_I_DEFAULT);
        report["opened"] = false;
        report["reason"] =
            text != nullptr && *text != '\0' ? text : "error code " + std::to_string(code);
        return report;
    }
    report["opened"] = true;
    PK11SlotInfo* slot = PK11_GetInternalKeySlot();
    // A database with a password hides its keys until a login, which this
    // report never makes: its identities then do not show.
    report["passwordProtected"] =
        slot != nullptr && PK11_NeedLogin(slot) && !PK11_NeedUserInit(slot);
    if (slot != nullptr) PK11_FreeSlot(slot);

    nlohmann::ordered_json identities = nlohmann::ordered_json::array();
    if (CERTCertList* list = PK11_ListCerts(PK11CertListUser, nullptr)) {
        for (CERTCertListNode* node = CERT_LIST_HEAD(list); !CERT_LIST_END(node, list);
             node = CERT_LIST_NEXT(node)) {
            const SECItem& der = node->cert->derCert;
            identities.push_back(
                examination::certificate_summary(std::span<const std::uint8_t>(der.data, der.len)));
        }
        CERT_DestroyCertList(list);
    }
    const auto counts = examination::purpose_counts(identities);
    report["signing"] = counts["signing"];
    report["authentication"] = counts["authentication"];
    report["certificates"] = identities;
    NSS_ShutdownContext(context);
    return report;
}

}  // namespace tavrin::keychain
