// The C interface: a thin layer over the core. Every exported function
// catches everything at the boundary; an exception here means the process is
// out of memory or the core is broken, and the interface promises an abort.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <string_view>

#include <memory>
#include <variant>

#include "backend/store_module/store_loader.h"
#include "capi/ffi_user_interaction.h"
#include "consent/consent_store.h"
#include "consent/grant_records.h"
#include "dispatch/dispatcher.h"
#include "dispatch/stateless_router.h"
#include "protocol/utf8.h"
#include "tavrin_bridge.h"

#include <nlohmann/json.hpp>

// One dispatcher in one of its forms.
struct DispatcherHandle {
    using KeychainDispatcher =
        tavrin::Dispatcher<tavrin::store::LoadedKeychainBackend, tavrin::FfiUserInteraction>;
    using Pkcs11Dispatcher =
        tavrin::Dispatcher<tavrin::store::LoadedPkcs11Backend, tavrin::FfiUserInteraction>;
    std::variant<std::unique_ptr<KeychainDispatcher>, std::unique_ptr<Pkcs11Dispatcher>> dispatcher;
};

namespace {

[[noreturn]] void die(const char* function, const char* what) {
    std::fprintf(stderr, "tavrin-bridge: fatal error in %s: %s\n", function, what);
    std::abort();
}

template <class F>
auto guarded(const char* function, F&& body) noexcept -> decltype(body()) {
    try {
        return body();
    } catch (const std::exception& e) {
        die(function, e.what());
    } catch (...) {
        die(function, "unknown exception");
    }
}

std::string_view as_text(const uint8_t* bytes, size_t len) {
    if (len == 0) return {};
    return {reinterpret_cast<const char*>(bytes), len};
}

// Hands a reply to the caller in a buffer of exactly its length.
uint8_t* to_buffer(const std::string& reply, size_t* reply_len) {
    // malloc(0) may return NULL; a reply is never empty, but keep the promise anyway.
    auto* buffer = static_cast<uint8_t*>(std::malloc(reply.empty() ? 1 : reply.size()));
    if (buffer == nullptr) die("reply allocation", "out of memory");
    std::memcpy(buffer, reply.data(), reply.size());
    *reply_len = reply.size();
    return buffer;
}

// A malloc'd NUL-terminated copy for the caller.
char* to_c_string(const std::string& text) {
    auto* copy = static_cast<char*>(std::malloc(text.size() + 1));
    if (copy == nullptr) die("error text allocation", "out of memory");
    std::memcpy(copy, text.data(), text.size() + 1);
    return copy;
}

// The dispatcher over the first token of the module at `module_path`.
tavrin::Result<std::unique_ptr<DispatcherHandle>, std::string> create_pkcs11(
    std::string_view consent_store_path, const char* module_path,
    const TavrinBridgeCallbacks& callbacks) {
    using tavrin::fail;
    if (tavrin::first_invalid_utf8(consent_store_path)) {
        return fail(std::string("consent store path is not valid UTF-8"));
    }
    auto store = tavrin::ConsentStore::open(std::string(consent_store_path));
    if (!store) return fail("cannot open consent store: " + store.error().message);

    // The token is opened at once, so the identity-store module is loaded now.
    auto backend = tavrin::store::open_pkcs11(module_path);
    if (!backend) return fail(std::move(backend).error());

    auto handle = std::make_unique<DispatcherHandle>();
    handle->dispatcher = std::make_unique<DispatcherHandle::Pkcs11Dispatcher>(
        std::move(store).value(), std::move(backend).value(), tavrin::FfiUserInteraction(callbacks),
        tavrin::Backend::Pkcs11);
    return handle;
}

}  // namespace

extern "C" {

DispatcherHandle* tavrin_bridge_create_keychain(const char* consent_store_path,
                                                const TavrinBridgeCallbacks* callbacks) {
    return guarded("tavrin_bridge_create_keychain", [&]() -> DispatcherHandle* {
        const std::string_view path(consent_store_path);
        if (tavrin::first_invalid_utf8(path)) return nullptr;
        auto store = tavrin::ConsentStore::open(std::string(path));
        if (!store) return nullptr;
        auto handle = std::make_unique<DispatcherHandle>();
        handle->dispatcher = std::make_unique<DispatcherHandle::KeychainDispatcher>(
            std::move(store).value(), tavrin::store::LoadedKeychainBackend(),
            tavrin::FfiUserInteraction(*callbacks), tavrin::Backend::Keychain);
        return handle.release();
    });
}

DispatcherHandle* tavrin_bridge_create_pkcs11(const char* consent_store_path,
                                              const char* module_path,
                                              const TavrinBridgeCallbacks* callbacks,
                                              char** error_text) {
    return guarded("tavrin_bridge_create_pkcs11", [&]() -> DispatcherHandle* {
        if (error_text != nullptr) *error_text = nullptr;
        auto created = create_pkcs11(consent_store_path, module_path, *callbacks);
        if (!created) {
            if (error_text != nullptr) *error_text = to_c_string(created.error());
            return nullptr;
        }
        return std::move(created).value().release();
    });
}

void tavrin_bridge_free_string(char* text) {
    std::free(text);
}

void tavrin_bridge_set_wait_callbacks(DispatcherHandle* handle,
                                      const TavrinBridgeWaitCallbacks* callbacks) {
    guarded("tavrin_bridge_set_wait_callbacks", [&] {
        if (handle == nullptr) die("tavrin_bridge_set_wait_callbacks", "no handle");
        std::visit(
            [&](auto& dispatcher) { dispatcher->interaction().set_wait_callbacks(callbacks); },
            handle->dispatcher);
    });
}

void tavrin_bridge_set_pin_entry(DispatcherHandle* handle, TavrinBridgePinEntry entry) {
    guarded("tavrin_bridge_set_pin_entry", [&] {
        if (handle == nullptr) die("tavrin_bridge_set_pin_entry", "no handle");
        std::visit([&](auto& dispatcher) { dispatcher->interaction().set_pin_entry(entry); },
                   handle->dispatcher);
    });
}

void tavrin_bridge_destroy(DispatcherHandle* handle) {
    guarded("tavrin_bridge_destroy", [&] { delete handle; });
}

uint8_t* tavrin_bridge_handle_request(DispatcherHandle* handle, const uint8_t* request,
                                      size_t request_len, size_t* reply_len) {
    return guarded("tavrin_bridge_handle_request", [&] {
        const std::string reply = std::visit(
            [&](auto& dispatcher) { return dispatcher->handle(as_text(request, request_len)); },
            handle->dispatcher);
        return to_buffer(reply, reply_len);
    });
}

uint8_t* tavrin_bridge_dispatch(const uint8_t* request, size_t request_len, size_t* reply_len) {
    return guarded("tavrin_bridge_dispatch", [&] {
        return to_buffer(tavrin::dispatch(as_text(request, request_len)), reply_len);
    });
}

char* tavrin_bridge_examine_store(const char* step, const char* argument) {
    return guarded("tavrin_bridge_examine_store", [&] {
        nlohmann::ordered_json answer;
        answer["storeModule"] = {{"path", tavrin::store::module_location()}};
        auto store = tavrin::store::functions();
        answer["storeModule"]["loaded"] = static_cast<bool>(store);
        if (!store) {
            answer["storeModule"]["reason"] = store.error();
        } else if (auto findings = tavrin::store::examine(step, argument)) {
            answer["findings"] = nlohmann::ordered_json::parse(findings.value(), nullptr, false);
        } else {
            answer["findings"] = {{"error", findings.error()}};
        }
        return to_c_string(
            answer.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace));
    });
}

int tavrin_bridge_request_needs_user(const uint8_t* request, size_t request_len) {
    return guarded("tavrin_bridge_request_needs_user",
                   [&] { return tavrin::may_need_user(as_text(request, request_len)) ? 1 : 0; });
}

char* tavrin_bridge_list_grants(const char* consent_store_path) {
    return guarded("tavrin_bridge_list_grants", [&] {
        nlohmann::ordered_json list = nlohmann::ordered_json::array();
        for (const auto& [origin, grant] : tavrin::list_grants(consent_store_path)) {
            list.push_back({{"origin", origin},
                            {"purposes", grant.purposes},
                            {"grantedAtUnix", grant.granted_at_unix}});
        }
        return to_c_string(
            list.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace));
    });
}

long long tavrin_bridge_count_grants(const char* consent_store_path, char** error_text) {
    return guarded("tavrin_bridge_count_grants", [&] {
        if (error_text != nullptr) *error_text = nullptr;
        auto counted = tavrin::count_grants(consent_store_path);
        if (counted) return static_cast<long long>(counted.value());
        if (error_text != nullptr) *error_text = to_c_string(counted.error().message);
        return -1LL;
    });
}

int tavrin_bridge_revoke_grant(const char* consent_store_path, const char* origin,
                               char** error_text) {
    return guarded("tavrin_bridge_revoke_grant", [&] {
        if (error_text != nullptr) *error_text = nullptr;
        auto revoked = tavrin::revoke_grant(consent_store_path, origin);
        if (revoked) return 0;
        if (error_text != nullptr) *error_text = to_c_string(revoked.error().message);
        return -1;
    });
}

void tavrin_bridge_free_buffer(uint8_t* buffer, size_t len) {
    if (buffer == nullptr || len == 0) return;
    std::free(buffer);
}

}  // extern "C"
