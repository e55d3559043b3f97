#include "dialogs/alert_texts.h"

#include <nlohmann/json.hpp>

namespace tavrin::host::AlertTexts {
namespace {

constexpr const char* kSign = "Podepsat";
constexpr const char* kCancel = "Zrušit";
// What follows the confirmation on Linux: no system prompt, but the PIN
// prompt when the key lies on a smart card or token.
constexpr const char* kSignNextStep =
    "Je-li klíč uložen na čipové kartě nebo tokenu, budete v dalším kroku požádáni o PIN.";

// "k podpisu 1 dokumentu", "k podpisu 3 dokumentů" (genitive).
const char* documentsGenitive(std::uint32_t count) {
    return count == 1 ? "dokumentu" : "dokumentů";
}

// "1 dokument", "2 dokumenty" … "4 dokumenty", "0 dokumentů", "5 dokumentů".
const char* documentsAccusative(std::uint32_t count) {
    if (count == 1) return "dokument";
    if (count >= 2 && count <= 4) return "dokumenty";
    return "dokumentů";
}

}  // namespace

std::string purposeSummary(std::string_view purposesJson) {
    // Only a document that is an array counts; a bare string or number does not.
    const auto parsed = nlohmann::json::parse(purposesJson, nullptr, false);
    if (parsed.is_discarded() || !parsed.is_array()) return {};
    std::string summary;
    for (const auto& element : parsed) {
        if (!element.is_string()) return {};
        const auto& name = element.get_ref<const std::string&>();
        if (!summary.empty()) summary += ", ";
        if (name == "sign") {
            summary += "podepisování";
        } else if (name == "auth") {
            summary += "přihlašování";
        } else {
            summary += name;
        }
    }
    return summary;
}

Alert consent(std::string_view origin, std::string_view purposesJson) {
    Alert alert;
    alert.messageText =
        "Povolit aplikaci " + std::string(origin) + " přístup k certifikátům v Tavrin Bridge?";
    const std::string summary = purposeSummary(purposesJson);
    if (!summary.empty()) alert.informativeText = "Účel: " + summary;
    alert.buttons = {"Povolit", "Odmítnout"};
    return alert;
}

Alert pin(std::string_view origin, std::uint32_t hashCount) {
    Alert alert;
    alert.messageText = "Zadejte PIN k podpisu " + std::to_string(hashCount) + " " +
                        documentsGenitive(hashCount) + " pro " + std::string(origin);
    alert.buttons = {kSign, kCancel};
    alert.secureField = SecureTextField{220, 24};
    return alert;
}

Alert signConfirmation(std::string_view origin, std::uint32_t hashCount) {
    Alert alert;
    alert.messageText = "Podepsat " + std::to_string(hashCount) + " " +
                        documentsAccusative(hashCount) + " pro " + std::string(origin) + "?";
    alert.informativeText = kSignNextStep;
    alert.buttons = {kSign, kCancel};
    return alert;
}

Alert pinPadNotice(std::string_view origin, std::uint32_t hashCount) {
    Alert alert;
    alert.messageText = "Zadejte PIN na klávesnici čtečky karet k podpisu " +
                        std::to_string(hashCount) + " " + documentsGenitive(hashCount) + " pro " +
                        std::string(origin);
    alert.informativeText = "Okno se zavře samo, jakmile čtečka PIN přijme.";
    return alert;
}

Alert insertCard(std::string_view origin, std::uint32_t hashCount) {
    Alert alert;
    alert.messageText = "Vložte kartu do čtečky";
    alert.informativeText =
        hashCount == 0 ? "Certifikáty z karty požaduje " + std::string(origin) + "."
                       : "Karta je potřeba k podpisu " + std::to_string(hashCount) + " " +
                             documentsGenitive(hashCount) + " pro " + std::string(origin) + ".";
    alert.buttons = {kCancel};
    return alert;
}

}  // namespace tavrin::host::AlertTexts
