#include "backend/examination/module_examination.h"

#include <array>
#include <set>

#include "backend/examination/certificate_summary.h"
#include "backend/pkcs11/attribute_read.h"
#include "backend/pkcs11/object_search.h"
#include "backend/pkcs11/pkcs11_error.h"
#include "backend/pkcs11/pkcs11_module.h"
#include "backend/pkcs11/pkcs11_session.h"

namespace tavrin::examination {
namespace {

using json = nlohmann::ordered_json;

// A fixed-width, blank-padded text field of the standard's structures.
template <std::size_t N>
std::string padded(const CK_UTF8CHAR (&field)[N]) {
    std::string text(reinterpret_cast<const char*>(field), N);
    const auto end = text.find_last_not_of(" \0", std::string::npos, 2);
    return end == std::string::npos ? std::string() : text.substr(0, end + 1);
}

// The CKA_IDs of the key objects visible in the session.
// (Strings, not byte vectors: GCC 12 warns falsely about comparing those in
// a set at -O3.)
std::set<std::string> key_ids(const pkcs11::Session& session) {
    std::set<std::string> ids;
    static constexpr std::array<CK_ATTRIBUTE_TYPE, 1> kId{CKA_ID};
    for (const CK_OBJECT_CLASS object_class : {CKO_PRIVATE_KEY, CKO_PUBLIC_KEY}) {
        auto keys = pkcs11::find_by_class(session, object_class);
        if (!keys) continue;
        for (const CK_OBJECT_HANDLE key : keys.value()) {
            auto read = pkcs11::read_attributes(session, key, kId);
            if (read && read.value().contains(CKA_ID)) {
                const Bytes& id = read.value().at(CKA_ID);
                ids.emplace(id.begin(), id.end());
            }
        }
    }
    return ids;
}

// The identities of the token, as far as it shows them without a login.
void examine_token(std::shared_ptr<const pkcs11::Module> module, CK_SLOT_ID slot, json& token) {
    auto session = pkcs11::Session::open(std::move(module), slot);
    if (!session) {
        token["error"] = "open a session: " + session.error().text();
        return;
    }
    auto certificates = pkcs11::find_by_class(session.value(), CKO_CERTIFICATE);
    if (!certificates) {
        token["error"] = "find certificates: " + certificates.error().text();
        return;
    }
    const std::set<std::string> keys = key_ids(session.value());
    static constexpr std::array<CK_ATTRIBUTE_TYPE, 2> kCertificate{CKA_VALUE, CKA_ID};
    json identities = json::array();
    int others = 0;
    for (const CK_OBJECT_HANDLE handle : certificates.value()) {
        auto read = pkcs11::read_attributes(session.value(), handle, kCertificate);
        if (!read || !read.value().contains(CKA_VALUE)) continue;
        const auto id = read.value().find(CKA_ID);
        if (id == read.value().end() || !keys.contains(std::string(id->second.begin(), id->second.end()))) {
            ++others;  // an issuer's certificate, or one whose key stays hidden
            continue;
        }
        identities.push_back(certificate_summary(read.value().at(CKA_VALUE)));
    }
    const json counts = purpose_counts(identities);
    token["signing"] = counts["signing"];
    token["authentication"] = counts["authentication"];
    token["otherCertificates"] = others;
    token["certificates"] = identities;
}

json examine_slot(const std::shared_ptr<const pkcs11::Module>& module, CK_SLOT_ID id) {
    const CK_FUNCTION_LIST& functions = module->functions();
    json slot = json::object();
    CK_SLOT_INFO info{};
    if (const CK_RV rv = functions.C_GetSlotInfo(id, &info); rv != CKR_OK) {
        slot["error"] = pkcs11::Pkcs11Error{"GetSlotInfo", rv}.text();
        return slot;
    }
    slot["description"] = padded(info.slotDescription);
    slot["manufacturer"] = padded(info.manufacturerID);
    slot["hardware"] = (info.flags & CKF_HW_SLOT) != 0;
    slot["removable"] = (info.flags & CKF_REMOVABLE_DEVICE) != 0;
    slot["tokenPresent"] = (info.flags & CKF_TOKEN_PRESENT) != 0;
    if ((info.flags & CKF_TOKEN_PRESENT) == 0) return slot;

    json token = json::object();
    CK_TOKEN_INFO token_info{};
    if (const CK_RV rv = functions.C_GetTokenInfo(id, &token_info); rv != CKR_OK) {
        token["error"] = pkcs11::Pkcs11Error{"GetTokenInfo", rv}.text();
        slot["token"] = token;
        return slot;
    }
    token["label"] = padded(token_info.label);
    token["model"] = padded(token_info.model);
    token["initialized"] = (token_info.flags & CKF_TOKEN_INITIALIZED) != 0;
    token["pinPad"] = (token_info.flags & CKF_PROTECTED_AUTHENTICATION_PATH) != 0;
    token["loginRequired"] = (token_info.flags & CKF_LOGIN_REQUIRED) != 0;
    token["pinLocked"] = (token_info.flags & CKF_USER_PIN_LOCKED) != 0;
    if ((token_info.flags & CKF_TOKEN_INITIALIZED) != 0) examine_token(module, id, token);
    slot["token"] = token;
    return slot;
}

}  // namespace

json examine_module(const std::string& library) {
    json report = {{"library", library}};
    auto module = pkcs11::Module::load(library);
    if (!module) {
        report["loaded"] = false;
        report["reason"] = module.error().text();
        return report;
    }
    report["loaded"] = true;
    CK_INFO info{};
    if (module.value()->functions().C_GetInfo(&info) == CKR_OK) {
        report["manufacturer"] = padded(info.manufacturerID);
        report["description"] = padded(info.libraryDescription);
    }
    json slots = json::array();
    if (auto ids = pkcs11::slot_list(*module.value(), false)) {
        for (const CK_SLOT_ID id : ids.value())
            slots.push_back(examine_slot(module.value(), id));
    } else {
        report["slotError"] = ids.error().text();
    }
    report["slots"] = slots;
    return report;
}

}  // namespace tavrin::examination
