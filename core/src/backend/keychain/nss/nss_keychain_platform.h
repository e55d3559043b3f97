#pragma once
// The identity store on Linux: the user's NSS database (the store Chromium
// uses for client certificates) with every token module registered in it,
// plus the modules registered with p11-kit (through its proxy module), so
// that a smart card or USB token the browser sees is seen here too.
//
// Everything is opened read-only on the first search, never before, so that
// creating a dispatcher or answering "status" costs nothing. Without a
// database only the tokens are searched. NSS never asks the user anything
// itself: a token's login happens only in `login`, once, with the PIN the
// user typed.

#include <memory>
#include <string>

#include "backend/keychain/keychain_platform.h"

struct NSSInitContextStr;
struct PK11SlotInfoStr;

namespace tavrin::keychain {

class NssModules;
struct KeypadSession;

struct NssStoreLocation {
    std::string database_dir;  // holds cert9.db, key4.db and pkcs11.txt
    std::string proxy_module;  // p11-kit's proxy module; empty: none
};

class NssKeychainPlatform final : public KeychainPlatform {
  public:
    explicit NssKeychainPlatform(NssStoreLocation location);
    ~NssKeychainPlatform() override;
    NssKeychainPlatform(const NssKeychainPlatform&) = delete;
    NssKeychainPlatform& operator=(const NssKeychainPlatform&) = delete;

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

    StepNames step_names() const override;
    std::optional<std::string> token_label(const Certificate& certificate) override;
    std::vector<Bytes> issuer_chain(const Certificate& certificate) override;
    LoginNeed login_need(const Identity& identity) override;
    LoginOutcome login(const Identity& identity, const Pin* pin) override;
    void logout(const Identity& identity) override;
    std::size_t readers_without_card() override;
    TokenPresence token_presence(const Identity& identity) override;
    bool token_went_away(Status status) override;
    bool token_went_away(const SignatureError& error) override;

  private:
    Status open();

    NssStoreLocation location_;
    NSSInitContextStr* context_ = nullptr;
    std::unique_ptr<NssModules> modules_;
    // The PIN of the token logged in by `login`, until `logout`.
    const Pin* session_pin_ = nullptr;
    // The session of a login through a reader's keypad, until `logout`.
    std::unique_ptr<KeypadSession> keypad_session_;
};

// The user's database (user_nss_database_dir()) and this system's p11-kit proxy.
NssStoreLocation default_nss_store_location();

}  // namespace tavrin::keychain
