#include "backend/keychain/combined_keychain_platform.h"

#include <set>
#include <string>

namespace tavrin::keychain {
namespace {

// Each object a part handed out, with the part it belongs to.
template <class Base>
class Held final : public Base {
  public:
    Held(KeychainPlatform* owner, std::shared_ptr<Base> object)
        : part(owner), inner(std::move(object)) {}
    KeychainPlatform* const part;
    const std::shared_ptr<Base> inner;
};

template <class Base>
const Held<Base>& held(const Base& object) {
    return static_cast<const Held<Base>&>(object);
}

template <class Base>
Copied<Base> wrapped(KeychainPlatform* part, Copied<Base> copied) {
    if (!copied.ref) return {copied.status, nullptr};
    return {copied.status, std::make_shared<Held<Base>>(part, std::move(copied.ref))};
}

}  // namespace

CombinedKeychainPlatform::CombinedKeychainPlatform(
    std::vector<std::unique_ptr<KeychainPlatform>> parts)
    : parts_(std::move(parts)) {}

CombinedKeychainPlatform::~CombinedKeychainPlatform() = default;

SearchResult CombinedKeychainPlatform::copy_matching_identities(
    const std::vector<std::shared_ptr<Keychain>>* search_list) {
    SearchResult result;
    // (Strings, not byte vectors: GCC 12 warns falsely about comparing those
    // in a set at -O3.)
    std::set<std::string> seen;
    for (const auto& part : parts_) {
        SearchResult found = part->copy_matching_identities(search_list);
        // A part that fails leaves the others' identities listed; its status
        // is kept when nothing at all is found.
        if (found.status != kStatusSuccess && found.status != kStatusItemNotFound &&
            result.status == kStatusSuccess) {
            result.status = found.status;
        }
        for (auto& item : found.items) {
            auto identity = std::dynamic_pointer_cast<Identity>(item);
            if (!identity) continue;
            const auto certificate = part->copy_certificate(*identity);
            if (certificate.ref) {
                const Bytes der = part->certificate_data(*certificate.ref);
                if (!seen.emplace(der.begin(), der.end()).second) continue;
            }
            result.items.push_back(std::make_shared<Held<Identity>>(part.get(), identity));
        }
    }
    if (!result.items.empty()) {
        result.status = kStatusSuccess;
    } else if (result.status == kStatusSuccess) {
        result.status = kStatusItemNotFound;
    }
    return result;
}

Copied<Certificate> CombinedKeychainPlatform::copy_certificate(const Identity& identity) {
    const auto& h = held(identity);
    return wrapped(h.part, h.part->copy_certificate(*h.inner));
}

Bytes CombinedKeychainPlatform::certificate_data(const Certificate& certificate) {
    const auto& h = held(certificate);
    return h.part->certificate_data(*h.inner);
}

std::optional<std::int64_t> CombinedKeychainPlatform::public_key_size_bits(
    const Certificate& certificate) {
    const auto& h = held(certificate);
    return h.part->public_key_size_bits(*h.inner);
}

Copied<PrivateKey> CombinedKeychainPlatform::copy_private_key(const Identity& identity) {
    const auto& h = held(identity);
    return wrapped(h.part, h.part->copy_private_key(*h.inner));
}

SignatureResult CombinedKeychainPlatform::create_signature(const PrivateKey& key,
                                                           SignatureAlgorithm algorithm,
                                                           std::span<const std::uint8_t> digest) {
    const auto& h = held(key);
    SignatureResult made = h.part->create_signature(*h.inner, algorithm, digest);
    if (made.error) made.error = std::make_shared<Held<SignatureError>>(h.part, made.error);
    return made;
}

std::optional<std::string> CombinedKeychainPlatform::error_message(Status status) {
    // The parts' codes do not overlap (NSS's are negative, PKCS#11's are
    // not): the first part that knows the code names it.
    for (const auto& part : parts_)
        if (auto message = part->error_message(status)) return message;
    return std::nullopt;
}

std::string CombinedKeychainPlatform::error_description(const SignatureError& error) {
    const auto& h = held(error);
    return h.part->error_description(*h.inner);
}

StepNames CombinedKeychainPlatform::step_names(const Identity& identity) const {
    const auto& h = held(identity);
    return h.part->step_names(*h.inner);
}

std::optional<std::string> CombinedKeychainPlatform::token_label(const Certificate& certificate) {
    const auto& h = held(certificate);
    return h.part->token_label(*h.inner);
}

std::vector<Bytes> CombinedKeychainPlatform::issuer_chain(const Certificate& certificate) {
    const auto& h = held(certificate);
    return h.part->issuer_chain(*h.inner);
}

LoginNeed CombinedKeychainPlatform::login_need(const Identity& identity) {
    const auto& h = held(identity);
    return h.part->login_need(*h.inner);
}

std::optional<std::string> CombinedKeychainPlatform::key_refusal(const Identity& identity) {
    const auto& h = held(identity);
    return h.part->key_refusal(*h.inner);
}

LoginOutcome CombinedKeychainPlatform::login(const Identity& identity, const Pin* pin) {
    const auto& h = held(identity);
    return h.part->login(*h.inner, pin);
}

void CombinedKeychainPlatform::logout(const Identity& identity) {
    const auto& h = held(identity);
    h.part->logout(*h.inner);
}

std::size_t CombinedKeychainPlatform::readers_without_card() {
    std::size_t empty = 0;
    for (const auto& part : parts_)
        empty += part->readers_without_card();
    return empty;
}

TokenPresence CombinedKeychainPlatform::token_presence(const Identity& identity) {
    const auto& h = held(identity);
    return h.part->token_presence(*h.inner);
}

bool CombinedKeychainPlatform::token_went_away(Status status) {
    for (const auto& part : parts_)
        if (part->token_went_away(status)) return true;
    return false;
}

bool CombinedKeychainPlatform::token_went_away(const SignatureError& error) {
    const auto& h = held(error);
    return h.part->token_went_away(*h.inner);
}

}  // namespace tavrin::keychain
