#include "capi/ffi_user_interaction.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include <string.h>  // explicit_bzero

#include "protocol/utf8.h"

namespace tavrin {
namespace {

// A NUL-terminated copy, or nothing when the text holds a NUL byte.
std::optional<std::string> c_string(std::string_view text) {
    if (text.find('\0') != std::string_view::npos) return std::nullopt;
    return std::string(text);
}

std::uint32_t saturated(std::size_t count) {
    constexpr std::size_t kMax = std::numeric_limits<std::uint32_t>::max();
    return static_cast<std::uint32_t>(count > kMax ? kMax : count);
}

}  // namespace

bool FfiUserInteraction::request_consent(std::string_view origin,
                                         std::span<const CertPurpose> purposes) {
    const auto origin_c = c_string(origin);
    if (!origin_c) return false;
    std::string purposes_json = "[";
    for (std::size_t i = 0; i < purposes.size(); ++i) {
        if (i > 0) purposes_json += ',';
        purposes_json += '"';
        purposes_json += wire_name(purposes[i]);
        purposes_json += '"';
    }
    purposes_json += ']';
    return callbacks_.request_consent(origin_c->c_str(), purposes_json.c_str(),
                                      callbacks_.user_data) != 0;
}

std::optional<Pin> FfiUserInteraction::request_pin(std::string_view origin,
                                                   std::string_view cert_id,
                                                   std::size_t hash_count) {
    const auto origin_c = c_string(origin);
    const auto cert_id_c = c_string(cert_id);
    if (!origin_c || !cert_id_c) return std::nullopt;
    if (pin_entry_ != nullptr) {
        auto pin = Pin::filled(TAVRIN_BRIDGE_PIN_CAPACITY, [&](char* buffer, std::size_t capacity) {
            std::size_t length = 0;
            const std::int32_t entered =
                pin_entry_(origin_c->c_str(), cert_id_c->c_str(), saturated(hash_count), buffer,
                           capacity, &length, callbacks_.user_data);
            return entered == 1 ? std::optional<std::size_t>(length) : std::nullopt;
        });
        // Text from the host is UTF-8; what is not becomes U+FFFD, as for
        // request_pin, in a new PIN (the first is wiped as it goes).
        if (pin && first_invalid_utf8(pin->view())) return pin_from_host(pin->view());
        return pin;
    }
    char* entered = callbacks_.request_pin(origin_c->c_str(), cert_id_c->c_str(),
                                           saturated(hash_count), callbacks_.user_data);
    if (entered == nullptr) return std::nullopt;
    Pin pin = pin_from_host(entered);
    ::explicit_bzero(entered, std::strlen(entered));
    std::free(entered);
    return pin;
}

bool FfiUserInteraction::request_sign_confirmation(std::string_view origin,
                                                   std::string_view cert_id,
                                                   std::size_t hash_count) {
    const auto origin_c = c_string(origin);
    const auto cert_id_c = c_string(cert_id);
    if (!origin_c || !cert_id_c) return false;
    return callbacks_.request_sign_confirmation(origin_c->c_str(), cert_id_c->c_str(),
                                                saturated(hash_count), callbacks_.user_data) != 0;
}

void FfiUserInteraction::set_wait_callbacks(const TavrinBridgeWaitCallbacks* callbacks) {
    if (callbacks == nullptr) {
        waits_.reset();
    } else {
        waits_ = *callbacks;
    }
}

void* FfiUserInteraction::begin_wait(WaitKind kind, std::string_view origin,
                                     std::size_t hash_count) {
    const auto origin_c = c_string(origin);
    if (!waits_ || !origin_c) return nullptr;
    const std::int32_t code =
        kind == WaitKind::PinPad ? TAVRIN_BRIDGE_WAIT_PIN_PAD : TAVRIN_BRIDGE_WAIT_CARD;
    return waits_->open_wait(code, origin_c->c_str(), saturated(hash_count), waits_->user_data);
}

bool FfiUserInteraction::wait_cancelled(void* wait) {
    return waits_ && waits_->wait_cancelled(wait, waits_->user_data) != 0;
}

void FfiUserInteraction::end_wait(void* wait) {
    if (waits_) waits_->close_wait(wait, waits_->user_data);
}

Pin pin_from_host(std::string_view text) {
    std::string_view rest(text);
    // Each bad byte may become three: reserve for the worst case so that the
    // PIN never moves (and leaves a copy behind) while it is being built.
    Pin pin = Pin::with_capacity(3 * rest.size());
    while (!rest.empty()) {
        const auto bad = first_invalid_utf8(rest);
        const std::size_t good = bad.value_or(rest.size());
        for (std::size_t i = 0; i < good; ++i)
            pin.push_back(rest[i]);
        if (!bad) break;
        for (const char c : std::string_view("\xEF\xBF\xBD"))
            pin.push_back(c);
        rest.remove_prefix(good + 1);
    }
    return pin;
}

}  // namespace tavrin
