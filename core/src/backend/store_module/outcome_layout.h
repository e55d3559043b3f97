#pragma once
// The module's side of the store boundary: lays the backends' results out as
// the plain records of an outcome (store_abi.h), in storage the outcome owns
// until release_outcome() frees it.

#include <exception>
#include <new>
#include <string>
#include <string_view>

#include "backend/backend_error.h"
#include "backend/store_module/store_abi.h"
#include "backend/token_backend.h"

namespace tavrin::store {

void put_error(TavrinStoreOutcome* outcome, const BackendError& error);
void put_certificates(TavrinStoreOutcome* outcome, CertificateList list);
void put_signatures(TavrinStoreOutcome* outcome, SignatureList list);
void put_text(TavrinStoreOutcome* outcome, std::string text);
void release_outcome(TavrinStoreOutcome* outcome);

// The outcome of an error that could not be stored (memory ran out): a
// literal text, no storage.
void put_out_of_memory(TavrinStoreOutcome* outcome) noexcept;

// Clears `outcome`, runs `body`, and turns whatever it throws into an
// internal error naming `step`: nothing thrown leaves the module.
template <class F>
void guarded(TavrinStoreOutcome* outcome, const char* step, F&& body) noexcept {
    *outcome = TavrinStoreOutcome{};
    outcome->retries_left = -1;
    try {
        try {
            body();
        } catch (const std::bad_alloc&) {
            throw;
        } catch (const std::exception& error) {
            put_error(outcome, BackendError::internal(std::string(step) + ": " + error.what()));
        } catch (...) {
            put_error(outcome, BackendError::internal(std::string(step) + ": unknown exception"));
        }
    } catch (...) {
        put_out_of_memory(outcome);
    }
}

inline std::string_view view_of(TavrinStoreText text) {
    return text.size == 0 ? std::string_view() : std::string_view(text.data, text.size);
}

}  // namespace tavrin::store
