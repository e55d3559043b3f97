#pragma once
// A keychain platform layer that follows a script: identities with their
// certificate bytes and key sizes, statuses to return, and a signing call
// that fails on request. It records which operations ran, so tests can tell
// what the backend touched.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "backend/keychain/keychain_platform.h"

namespace tavrin::testing {

struct ScriptedIdentitySpec {
    Bytes der;
    keychain::Status certificate_status = keychain::kStatusSuccess;
    std::optional<std::int64_t> key_size_bits;
    keychain::Status private_key_status = keychain::kStatusSuccess;
};

struct KeychainScript {
    keychain::Status search_status = keychain::kStatusSuccess;
    std::vector<ScriptedIdentitySpec> identities;
    std::size_t foreign_items = 0;  // non-identity items returned before the identities
    std::map<keychain::Status, std::string> messages;
    int fail_signature_number = 0;  // 1-based call that fails; 0: none

    // What the backend asked for.
    std::vector<std::size_t> key_size_queries;    // identity index
    std::vector<std::size_t> private_key_copies;  // identity index
    std::vector<keychain::SignatureAlgorithm> signature_algorithms;
    int live_references = 0;  // identities, certificates and keys not yet released
};

class ScriptedKeychainPlatform final : public keychain::KeychainPlatform {
  public:
    explicit ScriptedKeychainPlatform(std::shared_ptr<KeychainScript> script)
        : script_(std::move(script)) {}

    keychain::SearchResult copy_matching_identities(
        const std::vector<std::shared_ptr<keychain::Keychain>>* search_list) override;
    keychain::Copied<keychain::Certificate> copy_certificate(
        const keychain::Identity& identity) override;
    Bytes certificate_data(const keychain::Certificate& certificate) override;
    std::optional<std::int64_t> public_key_size_bits(
        const keychain::Certificate& certificate) override;
    keychain::Copied<keychain::PrivateKey> copy_private_key(
        const keychain::Identity& identity) override;
    keychain::SignatureResult create_signature(const keychain::PrivateKey& key,
                                               keychain::SignatureAlgorithm algorithm,
                                               std::span<const std::uint8_t> digest) override;
    std::optional<std::string> error_message(keychain::Status status) override;
    std::string error_description(const keychain::SignatureError& error) override;

  private:
    std::shared_ptr<KeychainScript> script_;
};

}  // namespace tavrin::testing
