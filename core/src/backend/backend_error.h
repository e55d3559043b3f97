#pragma once
// The one error type of the token backends.

#include <cstdint>
#include <optional>
#include <string>

namespace tavrin {

class BackendError {
  public:
    enum class Kind : std::uint8_t {
        NoReader,
        NoToken,
        NoMatchingCertificates,
        UnknownCertificateId,
        PinIncorrect,
        PinBlocked,
        MechanismUnsupported,
        MiddlewareMissing,
        Internal,
        // The user cancelled at the device itself (a card reader's keypad),
        // or the device gave up waiting for the user.
        UserCancelled,
    };

    // `detail`, when given, names the step that found the reader or card
    // gone and the cause, after the kind's own text.
    static BackendError no_reader(std::string detail = {}) {
        return BackendError(Kind::NoReader, std::move(detail));
    }
    static BackendError no_token(std::string detail = {}) {
        return BackendError(Kind::NoToken, std::move(detail));
    }
    static BackendError no_matching_certificates() {
        return BackendError(Kind::NoMatchingCertificates);
    }
    static BackendError unknown_certificate_id() {
        return BackendError(Kind::UnknownCertificateId);
    }
    static BackendError pin_incorrect(std::optional<std::uint32_t> retries_left = std::nullopt) {
        BackendError e(Kind::PinIncorrect);
        e.retries_left_ = retries_left;
        return e;
    }
    static BackendError pin_blocked() { return BackendError(Kind::PinBlocked); }
    static BackendError mechanism_unsupported(std::string text) {
        return BackendError(Kind::MechanismUnsupported, std::move(text));
    }
    static BackendError middleware_missing(std::string hint) {
        return BackendError(Kind::MiddlewareMissing, std::move(hint));
    }
    static BackendError internal(std::string text) {
        return BackendError(Kind::Internal, std::move(text));
    }
    static BackendError user_cancelled(std::string text) {
        return BackendError(Kind::UserCancelled, std::move(text));
    }

    Kind kind() const { return kind_; }
    // The payload text of MechanismUnsupported, MiddlewareMissing, Internal
    // and UserCancelled; the optional detail of NoReader and NoToken.
    const std::string& text() const { return text_; }
    // Only PinIncorrect may carry a count.
    std::optional<std::uint32_t> retries_left() const { return retries_left_; }

    // The display text, e.g. "internal backend error: find certificates: ...".
    std::string display() const;

    friend bool operator==(const BackendError&, const BackendError&) = default;

  private:
    explicit BackendError(Kind kind, std::string text = {}) : kind_(kind), text_(std::move(text)) {}

    Kind kind_;
    std::string text_;
    std::optional<std::uint32_t> retries_left_;
};

}  // namespace tavrin
