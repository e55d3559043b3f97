#pragma once
// The request router bound to one backend, one consent store and one set of
// user prompts. Every request yields exactly one reply.
//
// Access rules enforced here:
//  - an origin sees certificates only once it holds a consent grant for one
//    of the requested purposes (asked for, and recorded, when it does not);
//  - an origin may sign only with a certificate this dispatcher listed to
//    that same origin (byte-exact), remembered only for its own lifetime;
//  - every signature needs a fresh user action: the PIN, or a confirmation;
//  - a signing request carries 1 to 50 hashes.

#include <chrono>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "backend/token_backend.h"
#include "consent/consent_store.h"
#include "dispatch/reply_serializers.h"
#include "dispatch/request_rules.h"
#include "dispatch/user_interaction.h"
#include "protocol/base64.h"
#include "protocol/reply_limits.h"
#include "protocol/reply_writer.h"
#include "protocol/request_reader.h"

namespace tavrin {

// Whether answering the request `bytes` may ask the user anything (a prompt
// or a card-reader notice): only the methods that reach the token do. A
// request that does not parse is answered with an error, without the user.
inline bool may_need_user(std::string_view bytes) {
    auto parsed = parse_request(bytes);
    if (!parsed) return false;
    const std::string& method = parsed.value().method;
    return method == "sign" || method == "listCertificates";
}

template <TokenBackend B, UserInteraction U>
class Dispatcher {
  public:
    Dispatcher(ConsentStore consent_store, B backend, U interaction, Backend backend_kind)
        : consent_store_(std::move(consent_store)),
          backend_(std::move(backend)),
          interaction_(std::move(interaction)),
          backend_kind_(backend_kind) {}

    Dispatcher(const Dispatcher&) = delete;
    Dispatcher& operator=(const Dispatcher&) = delete;

    std::string handle(std::string_view request_bytes) {
        auto parsed = parse_request(request_bytes);
        if (!parsed) return serialize_parse_error(parsed.error());
        const Request& request = parsed.value();
        return within_reply_limit(request.id, route(request));
    }

    B& backend() { return backend_; }
    U& interaction() { return interaction_; }
    ConsentStore& consent_store() { return consent_store_; }

  private:
    std::string route(const Request& request) {
        if (request.method == "sign") return sign(request);
        if (request.method == "listCertificates") return list_certificates(request);
        if (request.method == "status") return handle_status(request.id, {&backend_kind_, 1});
        return serialize_error(request.id, ErrorCode::RequestInvalid,
                               "unknown method: " + echoed(request.method));
    }

    std::string list_certificates(const Request& request) {
        auto decoded = decode_list_certificates_params(request.params);
        if (!decoded) {
            return serialize_error(request.id, ErrorCode::RequestInvalid,
                                   "invalid listCertificates params: " + decoded.error());
        }
        const ListCertificatesParams& params = decoded.value();
        const auto purposes = purposes_for(params.purpose);

        bool granted = false;
        for (const CertPurpose purpose : purposes) {
            if (consent_store_.has_grant(params.origin, purpose)) {
                granted = true;
                break;
            }
        }
        if (!granted) {
            if (!interaction_.request_consent(params.origin, purposes)) {
                return serialize_error(request.id, ErrorCode::ConsentDenied,
                                       "user declined the consent dialog");
            }
            auto saved = consent_store_.grant(params.origin, purposes);
            if (!saved) {
                return serialize_error(request.id, ErrorCode::Internal,
                                       "failed to persist consent: " + saved.error().message);
            }
        }

        auto listed = backend_.list_certificates(params.purpose);
        // Nothing listed while a reader stands empty: the user may still
        // have to insert the card.
        if constexpr (requires { backend_.readers_without_card(); } && ShowsWaitNotices<U>) {
            if (!listed && listed.error().kind() == BackendError::Kind::NoMatchingCertificates &&
                wait_for_card(params.origin)) {
                listed = backend_.list_certificates(params.purpose);
            }
        }
        if (!listed) return serialize_backend_error(request.id, listed.error());

        {
            std::lock_guard lock(origin_cert_index_mutex);
            auto& ids = origin_cert_index[params.origin];
            for (const auto& info : listed.value())
                ids.insert(info.cert_id);
        }
        return write_reply(SuccessResponse<ListCertificatesResult>{
            request.id, ListCertificatesResult{std::move(listed).value()}});
    }

    std::string sign(const Request& request) {
        auto decoded = decode_sign_params(request.params);
        if (!decoded) {
            return serialize_error(request.id, ErrorCode::RequestInvalid,
                                   "invalid sign params: " + decoded.error());
        }
        const SignParams& params = decoded.value();

        const std::size_t count = params.hashes.size();
        if (count == 0 || count > kMaxHashesPerSign) {
            return serialize_error(
                request.id, ErrorCode::RequestInvalid,
                "hashes count " + std::to_string(count) +
                    " outside allowed range 1..=" + std::to_string(kMaxHashesPerSign));
        }

        if (!was_listed_to(params.origin, params.cert_id)) {
            return serialize_error(
                request.id, ErrorCode::OriginNotAllowed,
                "certId was not returned to this origin by a prior listCertificates call");
        }

        std::vector<Bytes> hashes;
        hashes.reserve(count);
        for (const auto& text : params.hashes) {
            auto bytes = base64_decode(text);
            if (!bytes) {
                return serialize_error(request.id, ErrorCode::RequestInvalid,
                                       "invalid base64 in hashes: " + bytes.error());
            }
            hashes.push_back(std::move(bytes).value());
        }

        // The PIN prompt is the approval for a token; otherwise the user
        // confirms, and the backend gets an empty PIN unless the key turns
        // out to need one.
        Pin pin;
        if constexpr (B::requires_pin) {
            auto entered = interaction_.request_pin(params.origin, params.cert_id, count);
            if (!entered) {
                return serialize_error(request.id, ErrorCode::UserCancelled,
                                       "user cancelled the PIN prompt");
            }
            pin = std::move(*entered);
        } else {
            if (!interaction_.request_sign_confirmation(params.origin, params.cert_id, count)) {
                return serialize_error(request.id, ErrorCode::UserCancelled,
                                       "user cancelled the signing confirmation");
            }
            // A store's key may still lie on a smart card that wants its PIN:
            // asked after the confirmation, once for the whole batch; on a
            // reader with its own keypad the user enters it there, told so
            // by a notice that stays until the login returns.
            if constexpr (requires { backend_.key_approval(params.cert_id); }) {
                auto approval = backend_.key_approval(params.cert_id);
                // The card with the key is out: the user is asked to put it
                // in before any PIN is asked for it.
                if (approval && approval.value() == KeyApproval::InsertCard) {
                    approval = wait_for_signing_card(params.origin, params.cert_id, count);
                }
                if (!approval) return serialize_backend_error(request.id, approval.error());
                if (approval.value() == KeyApproval::TypedPin) {
                    auto entered = interaction_.request_pin(params.origin, params.cert_id, count);
                    if (!entered) {
                        return serialize_error(request.id, ErrorCode::UserCancelled,
                                               "user cancelled the PIN prompt");
                    }
                    pin = std::move(*entered);
                } else if (approval.value() == KeyApproval::PinPad) {
                    WaitNotice notice(interaction_, WaitKind::PinPad, params.origin, count);
                    // A notice closed under the login (the page went away)
                    // withdraws the request: nothing is signed after it.
                    auto made = backend_.sign(params.cert_id, params.hash_alg, params.scheme,
                                              hashes, pin, [&notice] {
                                                  const bool go_on = !notice.cancelled();
                                                  notice.close();
                                                  return go_on;
                                              });
                    notice.close();
                    return signed_reply(request.id, std::move(made));
                }
            }
        }

        return signed_reply(
            request.id, backend_.sign(params.cert_id, params.hash_alg, params.scheme, hashes, pin));
    }

    static std::string signed_reply(const std::string& id,
                                    Result<SignatureList, BackendError> signed_hashes) {
        if (!signed_hashes) return serialize_backend_error(id, signed_hashes.error());
        SignResult result;
        result.signatures.reserve(signed_hashes.value().size());
        for (const auto& signature : signed_hashes.value()) {
            result.signatures.push_back(base64_encode(signature));
        }
        return write_reply(SuccessResponse<SignResult>{id, std::move(result)});
    }

    // A notice shown while the core waits for the user at the card reader;
    // closed at the latest when the object goes away, so that no notice
    // outlives its request.
    class WaitNotice {
      public:
        WaitNotice(U& interaction, WaitKind kind, std::string_view origin, std::size_t count)
            : interaction_(interaction) {
            if constexpr (ShowsWaitNotices<U>) {
                token_ = interaction_.begin_wait(kind, origin, count);
            }
        }
        ~WaitNotice() { close(); }
        WaitNotice(const WaitNotice&) = delete;
        WaitNotice& operator=(const WaitNotice&) = delete;

        bool shown() const { return token_ != nullptr; }
        bool cancelled() {
            if constexpr (ShowsWaitNotices<U>) {
                return token_ != nullptr && interaction_.wait_cancelled(token_);
            }
            return false;
        }
        void close() {
            if constexpr (ShowsWaitNotices<U>) {
                if (token_ != nullptr) interaction_.end_wait(std::exchange(token_, nullptr));
            }
        }

      private:
        U& interaction_;
        void* token_ = nullptr;
    };

    // Asks the user to insert a card while a reader stands empty, and waits
    // until one more reader holds a card (true), or until the user cancels,
    // no notice can be shown or the time is up (false).
    bool wait_for_card(std::string_view origin) {
        const std::size_t empty = backend_.readers_without_card();
        if (empty == 0) return false;
        return wait_with_card_notice(origin, 0,
                                     [&] { return backend_.readers_without_card() < empty; });
    }

    // Asks the user to put back the card that holds the key of `cert_id`
    // and waits until the key's approval is known again; NoToken when the
    // user cancels, no notice can be shown or the time is up.
    Result<KeyApproval, BackendError> wait_for_signing_card(std::string_view origin,
                                                            std::string_view cert_id,
                                                            std::size_t count) {
        Result<KeyApproval, BackendError> approval = KeyApproval::InsertCard;
        wait_with_card_notice(origin, count, [&] {
            approval = backend_.key_approval(cert_id);
            return !approval || approval.value() != KeyApproval::InsertCard;
        });
        if (approval && approval.value() == KeyApproval::InsertCard) {
            return BackendError::no_token();
        }
        return approval;
    }

    // Shows the card notice and polls `arrived` until it is true (true), or
    // until the user cancels, the notice cannot be shown or the time is up.
    template <class Arrived>
    bool wait_with_card_notice(std::string_view origin, std::size_t count, Arrived arrived) {
        WaitNotice notice(interaction_, WaitKind::Card, origin, count);
        if (!notice.shown()) return false;
        const auto deadline = std::chrono::steady_clock::now() + kCardWaitLimit;
        while (std::chrono::steady_clock::now() < deadline && !notice.cancelled()) {
            std::this_thread::sleep_for(kCardPollInterval);
            if (arrived()) return true;
        }
        return false;
    }

    static constexpr std::chrono::seconds kCardWaitLimit{120};
    static constexpr std::chrono::milliseconds kCardPollInterval{250};

    bool was_listed_to(std::string_view origin, std::string_view cert_id) {
        std::lock_guard lock(origin_cert_index_mutex);
        const auto entry = origin_cert_index.find(origin);
        return entry != origin_cert_index.end() && entry->second.contains(cert_id);
    }

    ConsentStore consent_store_;
    B backend_;
    U interaction_;
    Backend backend_kind_;

    // Origin to the certificate ids listed to it by this dispatcher.
    std::mutex origin_cert_index_mutex;
    std::map<std::string, std::set<std::string, std::less<>>, std::less<>> origin_cert_index;
};

}  // namespace tavrin
