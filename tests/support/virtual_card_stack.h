#pragma once
// A whole smart-card stack of its own for a test: a private pcscd with the
// vpcd reader driver on a free TCP port, and a CAC card emulated by
// tests/support/virtual_card from an NSS database made here, read by OpenSC
// as a real card. Nothing touches the system's pcscd: ours runs in a mount
// namespace where /run/pcscd is a folder of this stack, so its socket lies
// there and clients reach it through PCSCLITE_CSOCK_NAME (environment()).
// Without root it maps the user to root in a user namespace for the mounts.
//
// OpenSC needs no configuration of its own: p11-kit loads it by the module
// file that Debian's opensc-pkcs11 installs, and it finds the reader through
// the variable above.

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"

namespace tavrin::testing {

class VirtualCardStack {
  public:
    static constexpr const char* kPin = "1234";
    static constexpr const char* kHolder = "Jana Testova";  // OpenSC's token label
    static constexpr const char* kOpenScModule = "/usr/lib/x86_64-linux-gnu/opensc-pkcs11.so";

    // Why no stack can run here (a missing package, no namespaces), or nothing.
    static std::optional<std::string> unavailable(const std::filesystem::path& cardProgram);

    // Makes the card's database, starts pcscd and inserts the card; returns
    // once OpenSC sees it. Throws std::runtime_error naming the failed step.
    explicit VirtualCardStack(std::filesystem::path cardProgram);
    ~VirtualCardStack();
    VirtualCardStack(const VirtualCardStack&) = delete;
    VirtualCardStack& operator=(const VirtualCardStack&) = delete;

    // Each returns once OpenSC sees the change (throws when it never does).
    void pullCard();
    void insertCard();
    void stopService();   // pcscd ends; the card waits for its reader
    void startService();  // the same reader again, with the card if it is in

    // Polls OpenSC's view of the reader until it matches, for at most `limit`.
    bool waitUntilCardPresent(bool present, std::chrono::seconds limit = std::chrono::seconds(30));
    bool cardPresent();
    // What a client of this pcscd (the host, pkcs11-tool) needs set.
    std::map<std::string, std::string> environment() const;
    // The card's certificate, PEM.
    std::filesystem::path certificate() const { return folder_.path() / "card.pem"; }
    const std::filesystem::path& folder() const { return folder_.path(); }
    // Runs `command` through the shell with environment() set; its output.
    std::string clientOutput(const std::string& command) const;

  private:
    void makeCardDatabase();
    void startCard();
    void waitUntilReaderListed();

    std::filesystem::path cardProgram_;
    TempDir folder_;
    unsigned short port_ = 0;
    bool cardWanted_ = true;
    std::unique_ptr<Child> service_;
    std::unique_ptr<Child> card_;
};

}  // namespace tavrin::testing
