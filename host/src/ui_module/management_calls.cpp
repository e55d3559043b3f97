#include "ui_module/management_calls.h"

#include <cstring>
#include <exception>
#include <new>
#include <string>

#include "ui_interface/management_records_json.h"

namespace tavrin::host {
namespace {

ManagementModel& modelOf(void* context) {
    return *static_cast<ManagementModel*>(context);
}

// Host-allocated bytes, released by release() below.
void fill(TavrinUiBytes* out, const std::string& text) {
    out->data = nullptr;
    out->size = 0;
    if (text.empty()) return;
    out->data = new std::uint8_t[text.size()];
    std::memcpy(out->data, text.data(), text.size());
    out->size = text.size();
}

// Runs `answer` (the bytes to hand over) and reports what it throws as a
// failure with its text.
template <typename Answer>
int32_t answered(TavrinUiBytes* out, Answer answer) noexcept {
    try {
        fill(out, answer());
        return 0;
    } catch (const std::exception& error) {
        try {
            fill(out, error.what());
        } catch (...) {
        }
    } catch (...) {
    }
    return 1;
}

int32_t status(void* context, TavrinUiBytes* out) noexcept {
    return answered(out, [&] { return records::encodeStatus(modelOf(context).status()); });
}

int32_t grants(void* context, TavrinUiBytes* out) noexcept {
    return answered(out, [&] { return records::encodeGrants(modelOf(context).grants()); });
}

int32_t revoke(void* context, TavrinUiText origin, TavrinUiBytes* out) noexcept {
    bool revoked = false;
    const int32_t failed = answered(out, [&] {
        auto failure = modelOf(context).revoke(std::string(origin.data, origin.size));
        revoked = !failure;
        return failure.value_or(std::string());
    });
    return failed != 0 || !revoked ? 1 : 0;
}

int32_t browsers(void* context, TavrinUiBytes* out) noexcept {
    return answered(out, [&] { return records::encodeBrowsers(modelOf(context).browsers()); });
}

int32_t connect(void* context, TavrinUiBytes* out) noexcept {
    return answered(out, [&] { return records::encodeBrowsers(modelOf(context).connect()); });
}

int32_t readersAndCards(void* context, TavrinUiBytes* out) noexcept {
    return answered(out,
                    [&] { return records::encodeReaders(modelOf(context).readersAndCards()); });
}

int32_t diagnosticReport(void* context, TavrinUiBytes* out) noexcept {
    return answered(out, [&] { return modelOf(context).diagnosticReport(); });
}

void release(void*, TavrinUiBytes* bytes) noexcept {
    delete[] bytes->data;
    bytes->data = nullptr;
    bytes->size = 0;
}

}  // namespace

TavrinUiManagementCalls managementCalls(ManagementModel& model) {
    return {&model,  status,          grants,           revoke, browsers,
            connect, readersAndCards, diagnosticReport, release};
}

}  // namespace tavrin::host
