#include "management_calls_model.h"

#include <cstdio>
#include <exception>

namespace tavrin::host::ui {
namespace {

void report(const char* what, const std::string& why) {
    std::fprintf(stderr, "tavrin-bridge: the window could not read %s (%s)\n", what, why.c_str());
}

// Runs `decode` on the fetched bytes; a failure of either is reported and
// answered with `fallback`.
template <typename T, typename Decode>
T decoded(const std::optional<std::string>& bytes, const char* what, T fallback, Decode decode) {
    if (!bytes) return fallback;
    try {
        return decode(*bytes);
    } catch (const std::exception& error) {
        report(what, error.what());
    } catch (...) {
        report(what, "unknown error");
    }
    return fallback;
}

// Moves the host's bytes into a string and gives them back to the host.
std::string taken(const TavrinUiManagementCalls& calls, TavrinUiBytes& bytes) {
    std::string text;
    if (bytes.data != nullptr) {
        try {
            text.assign(reinterpret_cast<const char*>(bytes.data), bytes.size);
        } catch (...) {
            calls.release(calls.context, &bytes);
            throw;
        }
        calls.release(calls.context, &bytes);
    }
    return text;
}

}  // namespace

std::optional<std::string> ManagementCallsModel::fetch(Call call, const char* what) {
    try {
        TavrinUiBytes bytes{nullptr, 0};
        const int32_t status = call(calls_.context, &bytes);
        std::string text = taken(calls_, bytes);
        if (status == 0) return text;
        report(what, text.empty() ? "unknown error" : text);
    } catch (const std::exception& error) {
        report(what, error.what());
    }
    return std::nullopt;
}

std::optional<HostStatus> ManagementCallsModel::status() {
    return decoded<std::optional<HostStatus>>(fetch(calls_.status, "the status"), "the status",
                                              std::nullopt, records::decodeStatus);
}

std::vector<ConsentGrant> ManagementCallsModel::grants() {
    return decoded<std::vector<ConsentGrant>>(fetch(calls_.grants, "the grants"), "the grants", {},
                                              records::decodeGrants);
}

std::optional<std::string> ManagementCallsModel::revoke(const std::string& origin) {
    try {
        TavrinUiBytes bytes{nullptr, 0};
        const int32_t status =
            calls_.revoke(calls_.context, {origin.data(), origin.size()}, &bytes);
        std::string failure = taken(calls_, bytes);
        if (status == 0) return std::nullopt;
        return failure.empty() ? std::string("neznámá chyba") : failure;
    } catch (const std::exception& error) {
        return std::string(error.what());
    }
}

BrowsersPresentation ManagementCallsModel::browsers() {
    return decoded<BrowsersPresentation>(
        fetch(calls_.browsers, "the browsers"), "the browsers", {},
        [this](const std::string& bytes) { return records::decodeBrowsers(bytes, kept_); });
}

BrowsersPresentation ManagementCallsModel::connect() {
    return decoded<BrowsersPresentation>(
        fetch(calls_.connect, "the browsers"), "the browsers", {},
        [this](const std::string& bytes) { return records::decodeBrowsers(bytes, kept_); });
}

ReadersAndCards ManagementCallsModel::readersAndCards() {
    return decoded<ReadersAndCards>(fetch(calls_.readers_and_cards, "the readers"), "the readers",
                                    {}, records::decodeReaders);
}

std::string ManagementCallsModel::diagnosticReport() {
    return fetch(calls_.diagnostic_report, "the diagnostic report").value_or(std::string());
}

}  // namespace tavrin::host::ui
