#include "ui_interface/management_records_json.h"

#include <nlohmann/json.hpp>

namespace tavrin::host::records {
namespace {

using nlohmann::json;

// Text the host could not vouch for (a path, a system's message) may hold
// bytes that are not UTF-8: they are replaced rather than failing the record.
std::string dump(const json& value) {
    return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

json parse(std::string_view text) {
    return json::parse(text.begin(), text.end());
}

template <typename T>
json optionalToJson(const std::optional<T>& value) {
    return value ? json(*value) : json(nullptr);
}

json issuesToJson(const std::vector<HostStatus::MiddlewareIssue>& issues) {
    json list = json::array();
    for (const auto& issue : issues)
        list.push_back({{"module", issue.module}, {"issue", issue.issue}});
    return list;
}

std::vector<HostStatus::MiddlewareIssue> issuesFromJson(const json& list) {
    std::vector<HostStatus::MiddlewareIssue> issues;
    for (const json& issue : list)
        issues.push_back(
            {issue.at("module").get<std::string>(), issue.at("issue").get<std::string>()});
    return issues;
}

std::string_view kept(KeptTexts& texts, const json& value) {
    return *texts.insert(value.get<std::string>()).first;
}

}  // namespace

std::string encodeStatus(const std::optional<HostStatus>& status) {
    if (!status) return dump(nullptr);
    json object = {{"version", status->version},
                   {"protocolVersion", status->protocolVersion},
                   {"platform", status->platform},
                   {"backends", status->backends},
                   {"middlewareIssues", issuesToJson(status->middlewareIssues)},
                   {"buildInfo", nullptr},
                   {"certificateDatabase", status->certificateDatabase}};
    if (status->buildInfo)
        object["buildInfo"] = {{"gitSha", status->buildInfo->gitSha},
                               {"date", status->buildInfo->date}};
    return dump(object);
}

std::optional<HostStatus> decodeStatus(std::string_view text) {
    const json object = parse(text);
    if (object.is_null()) return std::nullopt;
    HostStatus status;
    status.version = object.at("version").get<std::string>();
    status.protocolVersion = object.at("protocolVersion").get<std::string>();
    status.platform = object.at("platform").get<std::string>();
    status.backends = object.at("backends").get<std::vector<std::string>>();
    status.middlewareIssues = issuesFromJson(object.at("middlewareIssues"));
    if (const json& build = object.at("buildInfo"); !build.is_null())
        status.buildInfo = HostStatus::BuildInfo{build.at("gitSha").get<std::string>(),
                                                 build.at("date").get<std::string>()};
    status.certificateDatabase = object.at("certificateDatabase").get<std::string>();
    return status;
}

std::string encodeGrants(const std::vector<ConsentGrant>& grants) {
    json list = json::array();
    for (const ConsentGrant& grant : grants)
        list.push_back({{"origin", grant.origin},
                        {"purposes", grant.purposes},
                        {"grantedAtUnix", grant.grantedAtUnix}});
    return dump(list);
}

std::vector<ConsentGrant> decodeGrants(std::string_view text) {
    std::vector<ConsentGrant> grants;
    for (const json& grant : parse(text))
        grants.push_back({grant.at("origin").get<std::string>(),
                          grant.at("purposes").get<std::vector<std::string>>(),
                          grant.at("grantedAtUnix").get<std::uint64_t>()});
    return grants;
}

std::string encodeBrowsers(const BrowsersPresentation& browsers) {
    json rows = json::array();
    for (const BrowserRow& row : browsers.rows)
        rows.push_back({{"browser", static_cast<int>(row.browser)},
                        {"state", static_cast<int>(row.state)},
                        {"symbol", row.symbol},
                        {"symbolColour", static_cast<int>(row.symbolColour)},
                        {"displayName", row.displayName},
                        {"statusText", row.statusText},
                        {"manifestPath", row.manifestPath},
                        {"failureMessage", row.failureMessage},
                        {"note", row.note},
                        {"commands", row.commands}});
    json object = {{"rows", rows}, {"banner", nullptr}, {"advanced", nullptr}};
    if (const auto& banner = browsers.banner)
        object["banner"] = {{"symbol", banner->symbol},
                            {"colour", static_cast<int>(banner->colour)},
                            {"text", banner->text}};
    if (const auto& advanced = browsers.advanced)
        object["advanced"] = {{"title", advanced->title},
                              {"connectButton", advanced->connectButton},
                              {"pathLines", advanced->pathLines},
                              {"errorLines", advanced->errorLines}};
    return dump(object);
}

BrowsersPresentation decodeBrowsers(std::string_view text, KeptTexts& texts) {
    const json object = parse(text);
    BrowsersPresentation browsers;
    for (const json& row : object.at("rows"))
        browsers.rows.push_back(
            {static_cast<NativeMessagingBrowser>(row.at("browser").get<int>()),
             static_cast<BrowserRowState>(row.at("state").get<int>()),
             kept(texts, row.at("symbol")),
             static_cast<ColourRole>(row.at("symbolColour").get<int>()),
             row.at("displayName").get<std::string>(), row.at("statusText").get<std::string>(),
             row.at("manifestPath").get<std::string>(), row.at("failureMessage").get<std::string>(),
             row.at("note").get<std::string>(),
             row.at("commands").get<std::vector<std::string>>()});
    if (const json& banner = object.at("banner"); !banner.is_null())
        browsers.banner = Banner{kept(texts, banner.at("symbol")),
                                 static_cast<ColourRole>(banner.at("colour").get<int>()),
                                 kept(texts, banner.at("text"))};
    if (const json& advanced = object.at("advanced"); !advanced.is_null())
        browsers.advanced = AdvancedSection{
            kept(texts, advanced.at("title")), kept(texts, advanced.at("connectButton")),
            advanced.at("pathLines").get<std::vector<std::string>>(),
            advanced.at("errorLines").get<std::vector<std::string>>()};
    return browsers;
}

std::string encodeReaders(const ReadersAndCards& shown) {
    json readers = json::array();
    for (const auto& reader : shown.readers) {
        json card = nullptr;
        if (reader.card)
            card = {{"label", reader.card->label},
                    {"initialized", reader.card->initialized},
                    {"pinLocked", reader.card->pinLocked},
                    {"error", reader.card->error},
                    {"signingIdentities", reader.card->signingIdentities},
                    {"authenticationIdentities", reader.card->authenticationIdentities}};
        readers.push_back({{"name", reader.name},
                           {"module", reader.module},
                           {"pinPad", optionalToJson(reader.pinPad)},
                           {"card", card},
                           {"error", reader.error}});
    }
    return dump({{"examined", shown.examined},
                 {"cardServiceAnswers", optionalToJson(shown.cardServiceAnswers)},
                 {"readers", readers},
                 {"moduleIssues", issuesToJson(shown.moduleIssues)}});
}

ReadersAndCards decodeReaders(std::string_view text) {
    const json object = parse(text);
    ReadersAndCards shown;
    shown.examined = object.at("examined").get<bool>();
    if (const json& answers = object.at("cardServiceAnswers"); !answers.is_null())
        shown.cardServiceAnswers = answers.get<bool>();
    for (const json& entry : object.at("readers")) {
        ReadersAndCards::Reader reader;
        reader.name = entry.at("name").get<std::string>();
        reader.module = entry.at("module").get<std::string>();
        if (const json& pinPad = entry.at("pinPad"); !pinPad.is_null())
            reader.pinPad = pinPad.get<bool>();
        if (const json& card = entry.at("card"); !card.is_null())
            reader.card = ReadersAndCards::Card{card.at("label").get<std::string>(),
                                                card.at("initialized").get<bool>(),
                                                card.at("pinLocked").get<bool>(),
                                                card.at("error").get<std::string>(),
                                                card.at("signingIdentities").get<int>(),
                                                card.at("authenticationIdentities").get<int>()};
        reader.error = entry.at("error").get<std::string>();
        shown.readers.push_back(std::move(reader));
    }
    shown.moduleIssues = issuesFromJson(object.at("moduleIssues"));
    return shown;
}

}  // namespace tavrin::host::records
