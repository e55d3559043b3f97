#pragma once
// One identity store made of several: each part lists its identities, and
// every later call on an identity, its certificate, key or signature error
// goes to the part it came from. A certificate listed by an earlier part is
// not listed again by a later one.

#include <memory>
#include <vector>

#include "backend/keychain/keychain_platform.h"

namespace tavrin::keychain {

class CombinedKeychainPlatform final : public KeychainPlatform {
  public:
    explicit CombinedKeychainPlatform(std::vector<std::unique_ptr<KeychainPlatform>> parts);
    ~CombinedKeychainPlatform() override;

    SearchResult copy_matching_identities(
        const std::vector<std::shared_ptr<Keychain>>* search_list) override;
    Copied<Certificate> copy_certificate(const Identity& identity) override;
    Bytes certificate_data(const Certificate& certificate) override;
    std::optional<std::int64_t> public_key_size_bits(const Certificate& certificate) override;
    Copied<PrivateKey> copy_private_key(const Identity& identity) override;
    SignatureResult create_signature(const PrivateKey& key, SignatureAlgorithm algorithm,
                                     std::span<const std::uint8_t> digest) override;
    std::optional<std::string> error_message(Status status) override;
    std::string error_description(const SignatureError& error) override;

    StepNames step_names(const Identity& identity) const override;
    std::optional<std::string> token_label(const Certificate& certificate) override;
    std::vector<Bytes> issuer_chain(const Certificate& certificate) override;
    LoginNeed login_need(const Identity& identity) override;
    std::optional<std::string> key_refusal(const Identity& identity) override;
    LoginOutcome login(const Identity& identity, const Pin* pin) override;
    void logout(const Identity& identity) override;
    std::size_t readers_without_card() override;
    TokenPresence token_presence(const Identity& identity) override;
    bool token_went_away(Status status) override;
    bool token_went_away(const SignatureError& error) override;

  private:
    std::vector<std::unique_ptr<KeychainPlatform>> parts_;
};

}  // namespace tavrin::keychain
