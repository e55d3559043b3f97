#pragma once
// The identity store's cards and tokens, reached through the project's own
// PKCS#11 code: every slot with a token of every module of
// token_modules.h. An identity is a certificate whose CKA_ID a key on the
// same token shares (a public key, or a private key where no public one is
// stored). A listing never logs in: it makes one search and reads each
// object once (a certificate's value once more the first time).
//
// The modules are loaded on the first listing, never before. Each token
// keeps one read-only session, opened again when its card comes back.

#include <memory>
#include <string>
#include <vector>

#include "backend/keychain/keychain_platform.h"
#include "backend/keychain/tokens/token_modules.h"

namespace tavrin::keychain {

struct TokenSlot;

class TokenKeychainPlatform final : public KeychainPlatform {
  public:
    explicit TokenKeychainPlatform(TokenModuleSources sources);
    ~TokenKeychainPlatform() override;
    TokenKeychainPlatform(const TokenKeychainPlatform&) = delete;
    TokenKeychainPlatform& operator=(const TokenKeychainPlatform&) = delete;

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
    void load_modules();
    std::shared_ptr<TokenSlot> slot_for(const TokenModule& module, unsigned long slot_id);

    TokenModuleSources sources_;
    bool loaded_ = false;
    std::vector<TokenModule> modules_;
    // Every token slot seen, kept so that a token keeps its session.
    std::vector<std::shared_ptr<TokenSlot>> slots_;
    // The PIN of the login made by `login`, until `logout`: a key that wants
    // it for every signature gets it again. Null after a keypad login.
    const Pin* session_pin_ = nullptr;
};

}  // namespace tavrin::keychain
