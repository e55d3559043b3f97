#pragma once
// Test doubles for the layers under the dispatcher: a token backend and a
// user interaction that follow a script and record what they were asked.
// Their state lives behind a shared pointer so that a test keeps its view of
// it after the double has been moved into a dispatcher.

#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "backend/certificate_id.h"
#include "backend/token_backend.h"
#include "protocol/records.h"

namespace tavrin::testing {

// A certificate record around made-up DER bytes.
inline CertificateInfo fake_certificate(const std::string& seed) {
    CertificateInfo info;
    info.der.assign(seed.begin(), seed.end());
    info.cert_id = certificate_id(info.der);
    info.key_algorithm = KeyAlgorithm::Rsa2048;
    info.purposes = {CertPurpose::Sign};
    info.backend = Backend::Keychain;
    info.not_after = "2030-01-01T00:00:00Z";
    return info;
}

struct BackendScript {
    Result<CertificateList, BackendError> listing = BackendError::no_matching_certificates();
    // When set, sign fails with it; otherwise each signature is "sig:" + hash.
    std::optional<BackendError> sign_error;
    // What a confirming backend says a key needs besides the confirmation;
    // with `approvals`, the answers of the first calls in order, then this.
    KeyApproval approval = KeyApproval::None;
    std::vector<KeyApproval> approvals;

    std::vector<Purpose> list_calls;
    struct SignCall {
        std::vector<Bytes> hashes;
        std::string pin;
    };
    std::vector<SignCall> sign_calls;
};

template <bool RequiresPin>
class ScriptedBackend {
  public:
    static constexpr bool requires_pin = RequiresPin;

    explicit ScriptedBackend(std::shared_ptr<BackendScript> script) : script_(std::move(script)) {}

    Result<CertificateList, BackendError> list_certificates(Purpose purpose) {
        script_->list_calls.push_back(purpose);
        return script_->listing;
    }

    // A backend approved by a confirmation may still have keys on a card.
    Result<KeyApproval, BackendError> key_approval(std::string_view /*cert_id*/) requires(
        !RequiresPin) {
        if (script_->approvals.empty()) return script_->approval;
        const KeyApproval next = script_->approvals.front();
        script_->approvals.erase(script_->approvals.begin());
        return next;
    }

    // The form for a key approved on the reader's keypad.
    Result<SignatureList, BackendError> sign(
        std::string_view cert_id, HashAlg hash_alg, Scheme scheme, const std::vector<Bytes>& hashes,
        const Pin& pin, const std::function<bool()>& login_returned) requires(!RequiresPin) {
        if (!login_returned()) return BackendError::user_cancelled("stopped after the login");
        return sign(cert_id, hash_alg, scheme, hashes, pin);
    }

    Result<SignatureList, BackendError> sign(std::string_view, HashAlg, Scheme,
                                             const std::vector<Bytes>& hashes, const Pin& pin) {
        script_->sign_calls.push_back({hashes, std::string(pin.view())});
        if (script_->sign_error) return *script_->sign_error;
        SignatureList out;
        for (const auto& hash : hashes) {
            Bytes signature{'s', 'i', 'g', ':'};
            signature.insert(signature.end(), hash.begin(), hash.end());
            out.push_back(std::move(signature));
        }
        return out;
    }

  private:
    std::shared_ptr<BackendScript> script_;
};

struct InteractionScript {
    bool consent_answer = true;
    std::optional<std::string> pin_answer = std::string("1234");
    bool confirm_answer = true;

    // Whether card-reader notices can be shown, and whether the user has
    // cancelled the open one.
    bool notices_shown = false;
    bool notice_cancelled = false;

    // Every prompt in order: "consent <origin> <purposes...>",
    // "pin <origin> <certId> <hash count>", "confirm <origin> <certId> <hash count>",
    // "wait <card|pad> <origin> <hash count>" and "end wait".
    std::vector<std::string> prompts;
};

class ScriptedInteraction {
  public:
    explicit ScriptedInteraction(std::shared_ptr<InteractionScript> script)
        : script_(std::move(script)) {}

    bool request_consent(std::string_view origin, std::span<const CertPurpose> purposes) {
        std::string prompt = "consent " + std::string(origin);
        for (const CertPurpose purpose : purposes)
            prompt += " " + std::string(wire_name(purpose));
        script_->prompts.push_back(prompt);
        return script_->consent_answer;
    }

    std::optional<Pin> request_pin(std::string_view origin, std::string_view cert_id,
                                   std::size_t hash_count) {
        record("pin", origin, cert_id, hash_count);
        if (!script_->pin_answer) return std::nullopt;
        return Pin(*script_->pin_answer);
    }

    bool request_sign_confirmation(std::string_view origin, std::string_view cert_id,
                                   std::size_t hash_count) {
        record("confirm", origin, cert_id, hash_count);
        return script_->confirm_answer;
    }

    void* begin_wait(WaitKind kind, std::string_view origin, std::size_t hash_count) {
        script_->prompts.push_back(std::string("wait ") +
                                   (kind == WaitKind::Card ? "card " : "pad ") +
                                   std::string(origin) + " " + std::to_string(hash_count));
        return script_->notices_shown ? script_.get() : nullptr;
    }
    bool wait_cancelled(void*) { return script_->notice_cancelled; }
    void end_wait(void*) { script_->prompts.push_back("end wait"); }

  private:
    void record(const char* kind, std::string_view origin, std::string_view cert_id,
                std::size_t hash_count) {
        script_->prompts.push_back(std::string(kind) + " " + std::string(origin) + " " +
                                   std::string(cert_id) + " " + std::to_string(hash_count));
    }

    std::shared_ptr<InteractionScript> script_;
};

}  // namespace tavrin::testing
