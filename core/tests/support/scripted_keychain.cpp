#include "support/scripted_keychain.h"

namespace tavrin::testing {
namespace {

// Counts itself in the script while alive, so tests can see releases.
class Counted {
  public:
    explicit Counted(std::shared_ptr<KeychainScript> script) : script_(std::move(script)) {
        ++script_->live_references;
    }
    ~Counted() { --script_->live_references; }
    Counted(const Counted&) = delete;
    Counted& operator=(const Counted&) = delete;

  private:
    std::shared_ptr<KeychainScript> script_;
};

class ForeignItem final : public keychain::Item {};

// An identity, certificate or key: the index of its identity in the script.
template <class Base>
class Scripted final : public Base, Counted {
  public:
    Scripted(std::shared_ptr<KeychainScript> s, std::size_t i) : Counted(std::move(s)), index(i) {}
    const std::size_t index;
};
using ScriptedIdentity = Scripted<keychain::Identity>;
using ScriptedCertificate = Scripted<keychain::Certificate>;
using ScriptedKey = Scripted<keychain::PrivateKey>;

class ScriptedError final : public keychain::SignatureError {
  public:
    explicit ScriptedError(int n) : number(n) {}
    const int number;
};

}  // namespace

keychain::SearchResult ScriptedKeychainPlatform::copy_matching_identities(
    const std::vector<std::shared_ptr<keychain::Keychain>>*) {
    keychain::SearchResult result;
    result.status = script_->search_status;
    if (result.status != keychain::kStatusSuccess) return result;
    for (std::size_t i = 0; i < script_->foreign_items; ++i) {
        result.items.push_back(std::make_shared<ForeignItem>());
    }
    for (std::size_t i = 0; i < script_->identities.size(); ++i) {
        result.items.push_back(std::make_shared<ScriptedIdentity>(script_, i));
    }
    return result;
}

keychain::Copied<keychain::Certificate> ScriptedKeychainPlatform::copy_certificate(
    const keychain::Identity& identity) {
    const auto index = static_cast<const ScriptedIdentity&>(identity).index;
    const auto status = script_->identities[index].certificate_status;
    if (status != keychain::kStatusSuccess) return {status, nullptr};
    return {status, std::make_shared<ScriptedCertificate>(script_, index)};
}

Bytes ScriptedKeychainPlatform::certificate_data(const keychain::Certificate& certificate) {
    return script_->identities[static_cast<const ScriptedCertificate&>(certificate).index].der;
}

std::optional<std::int64_t> ScriptedKeychainPlatform::public_key_size_bits(
    const keychain::Certificate& certificate) {
    const auto index = static_cast<const ScriptedCertificate&>(certificate).index;
    script_->key_size_queries.push_back(index);
    return script_->identities[index].key_size_bits;
}

keychain::Copied<keychain::PrivateKey> ScriptedKeychainPlatform::copy_private_key(
    const keychain::Identity& identity) {
    const auto index = static_cast<const ScriptedIdentity&>(identity).index;
    script_->private_key_copies.push_back(index);
    const auto status = script_->identities[index].private_key_status;
    if (status != keychain::kStatusSuccess) return {status, nullptr};
    return {status, std::make_shared<ScriptedKey>(script_, index)};
}

keychain::SignatureResult ScriptedKeychainPlatform::create_signature(
    const keychain::PrivateKey&, keychain::SignatureAlgorithm algorithm,
    std::span<const std::uint8_t> digest) {
    script_->signature_algorithms.push_back(algorithm);
    const int number = static_cast<int>(script_->signature_algorithms.size());
    if (number == script_->fail_signature_number) {
        return {std::nullopt, std::make_shared<ScriptedError>(number), std::nullopt};
    }
    Bytes signature{'S'};
    signature.insert(signature.end(), digest.begin(), digest.end());
    return {std::move(signature), nullptr, std::nullopt};
}

std::optional<std::string> ScriptedKeychainPlatform::error_message(keychain::Status status) {
    const auto it = script_->messages.find(status);
    if (it == script_->messages.end()) return std::nullopt;
    return it->second;
}

std::string ScriptedKeychainPlatform::error_description(const keychain::SignatureError& error) {
    return "signature " + std::to_string(static_cast<const ScriptedError&>(error).number) +
           " refused";
}

}  // namespace tavrin::testing
