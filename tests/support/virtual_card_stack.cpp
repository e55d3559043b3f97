#include "tests/support/virtual_card_stack.h"

#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace tavrin::testing {
namespace {

namespace fs = std::filesystem;

constexpr const char* kReader = "Tavrin virtual reader";
constexpr const char* kDriver = "/usr/lib/pcsc/drivers/serial/libifdvpcd.so";
constexpr const char* kDaemon = "/usr/sbin/pcscd";
constexpr const char* kNickname = "card-sign";

std::string quoted(const std::string& text) {
    return "'" + text + "'";
}

// Root gets its mount namespace directly; anyone else through a user
// namespace in which they are root.
std::vector<std::string> unshareCommand() {
    if (::geteuid() == 0) return {"unshare", "--mount"};
    return {"unshare", "--map-root-user", "--mount"};
}

std::string join(const std::vector<std::string>& words) {
    std::string line;
    for (const auto& word : words)
        line += word + " ";
    return line;
}

bool bindable(unsigned short port, int& fd) {
    fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    socklen_t size = sizeof address;
    return fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
           ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0 &&
           (port != 0 || ntohs(address.sin_port) != 0);
}

// vpcd listens on the configured port for its first slot and on the next one
// for a second slot: both must be free.
unsigned short freePortPair() {
    for (int attempt = 0; attempt < 50; ++attempt) {
        int first = -1;
        int second = -1;
        unsigned short port = 0;
        if (bindable(0, first)) {
            sockaddr_in address{};
            socklen_t size = sizeof address;
            ::getsockname(first, reinterpret_cast<sockaddr*>(&address), &size);
            port = ntohs(address.sin_port);
            if (port == 65535 || !bindable(static_cast<unsigned short>(port + 1), second)) port = 0;
        }
        ::close(first);
        if (second >= 0) ::close(second);
        if (port != 0) return port;
    }
    throw std::runtime_error("virtual card stack: no two free TCP ports next to each other");
}

template <typename Condition>
bool pollUntil(std::chrono::seconds limit, Condition condition) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return true;
}

}  // namespace

std::optional<std::string> VirtualCardStack::unavailable(const fs::path& cardProgram) {
    if (cardProgram.empty() || !fs::exists(cardProgram))
        return "the virtual card program was not built (libcacard-dev missing)";
    if (!fs::exists(kDaemon)) return "pcscd is not installed";
    if (!fs::exists(kDriver)) return "vpcd (vsmartcard-vpcd) is not installed";
    if (!fs::exists(kOpenScModule)) return "OpenSC's PKCS#11 module is not installed";
    if (std::system("command -v opensc-tool >/dev/null 2>&1") != 0)
        return "opensc is not installed";
    const std::string probe =
        join(unshareCommand()) + "sh -c 'mount -t tmpfs tmpfs /run' >/dev/null 2>&1";
    if (std::system(probe.c_str()) != 0)
        return "no mount namespace can be made here for a private pcscd";
    return std::nullopt;
}

VirtualCardStack::VirtualCardStack(fs::path cardProgram)
    : cardProgram_(std::move(cardProgram)), port_(freePortPair()) {
    makeCardDatabase();
    // The driver is loaded from our folder: the system's driver folder is
    // hidden from our pcscd, so that it never claims a real USB reader.
    fs::copy_file(kDriver, folder() / "libifdvpcd.so");
    fs::create_directories(folder() / "run");
    write_file(folder() / "reader.conf", std::string("FRIENDLYNAME \"") + kReader +
                                             "\"\nDEVICENAME /dev/null:" + std::to_string(port_) +
                                             "\nLIBPATH " + (folder() / "libifdvpcd.so").string() +
                                             "\nCHANNELID " + std::to_string(port_) + "\n");
    startService();
    startCard();
    if (!waitUntilCardPresent(true))
        throw std::runtime_error("virtual card stack: OpenSC never saw the card; see " +
                                 folder().string());
}

VirtualCardStack::~VirtualCardStack() {
    card_.reset();
    service_.reset();
}

// A self-signed RSA-2048 signing certificate and its key in a new NSS
// database whose password is the card's PIN.
void VirtualCardStack::makeCardDatabase() {
    write_file(folder() / "openssl.cnf",
               std::string("[req]\ndistinguished_name = dn\nprompt = no\n[dn]\nCN = ") + kHolder +
                   "\n[ext]\nbasicConstraints = CA:FALSE\n"
                   "keyUsage = critical, digitalSignature, nonRepudiation\n"
                   "extendedKeyUsage = clientAuth\n");
    write_file(folder() / "pin", std::string(kPin) + "\n");
    fs::create_directories(folder() / "db");
    const std::string in = "cd " + quoted(folder().string()) + " && ";
    const std::vector<std::pair<std::string, std::string>> steps{
        {"making the card's certificate",
         "openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out card.pem -days 3650 "
         "-config openssl.cnf -extensions ext"},
        {"bundling the card's key",
         std::string("openssl pkcs12 -export -inkey key.pem -in card.pem -name ") + kNickname +
             " -passout pass:transfer -out card.p12"},
        {"making the card's NSS database", "certutil -N -d sql:db -f pin"},
        {"importing the card's key", "pk12util -i card.p12 -d sql:db -k pin -W transfer"}};
    for (const auto& [step, command] : steps) {
        if (std::system((in + command + " >>setup.log 2>&1").c_str()) != 0)
            throw std::runtime_error("virtual card stack: " + step +
                                     " failed: " + read_file(folder() / "setup.log"));
    }
    for (const char* name : {"key.pem", "card.p12", "pin"})
        fs::remove(folder() / name);
}

void VirtualCardStack::startCard() {
    ChildSpec spec{
        {cardProgram_.string(), (folder() / "db").string(), std::to_string(port_), kNickname}};
    spec.base = Environment::isolated;
    spec.out = spec.err = Stream::log;
    spec.log = folder() / "card.log";
    spec.dieWithUs = true;
    spec.grace = std::chrono::seconds(5);
    card_ = std::make_unique<Child>(spec);
}

void VirtualCardStack::startService() {
    if (service_) return;
    // In its own mount namespace pcscd finds an empty /run with our folder as
    // /run/pcscd (its socket and pid file), and no drivers but ours.
    ChildSpec spec{unshareCommand()};
    spec.argv.insert(spec.argv.end(),
                     {"sh", "-c",
                      std::string("mount -t tmpfs tmpfs /run && mkdir /run/pcscd && "
                                  "mount --bind \"$0\" /run/pcscd && "
                                  "mount -t tmpfs tmpfs /usr/lib/pcsc/drivers && exec ") +
                          kDaemon + " --foreground --config \"$1\"",
                      (folder() / "run").string(), (folder() / "reader.conf").string()});
    spec.base = Environment::isolated;
    spec.out = spec.err = Stream::log;
    spec.log = folder() / "pcscd.log";
    spec.ownGroup = true;
    spec.dieWithUs = true;
    spec.grace = std::chrono::seconds(5);
    service_ = std::make_unique<Child>(spec);
    waitUntilReaderListed();
    if (cardWanted_ && card_ && !waitUntilCardPresent(true))
        throw std::runtime_error("virtual card stack: the card did not come back with pcscd");
}

void VirtualCardStack::stopService() {
    service_.reset();  // SIGTERM to the group, then waits
    if (!pollUntil(std::chrono::seconds(30),
                   [&] { return !fs::exists(folder() / "run/pcscd.comm"); }))
        throw std::runtime_error("virtual card stack: pcscd left its socket behind");
}

void VirtualCardStack::waitUntilReaderListed() {
    if (!pollUntil(std::chrono::seconds(30), [&] {
            return clientOutput("opensc-tool --list-readers").find(kReader) != std::string::npos;
        }))
        throw std::runtime_error("virtual card stack: pcscd never listed its reader; see " +
                                 (folder() / "pcscd.log").string());
}

void VirtualCardStack::pullCard() {
    cardWanted_ = false;
    card_->signal(SIGUSR1);
    if (!waitUntilCardPresent(false))
        throw std::runtime_error("virtual card stack: the pulled card is still seen: " +
                                 clientOutput("opensc-tool --list-readers"));
}

void VirtualCardStack::insertCard() {
    cardWanted_ = true;
    card_->signal(SIGUSR2);
    if (!waitUntilCardPresent(true))
        throw std::runtime_error("virtual card stack: the inserted card is not seen: " +
                                 clientOutput("opensc-tool --list-readers"));
}

bool VirtualCardStack::cardPresent() {
    // "0    Yes             Tavrin virtual reader 00 00": the first slot.
    std::istringstream lines(clientOutput("opensc-tool --list-readers"));
    for (std::string line; std::getline(lines, line);) {
        if (line.find(std::string(kReader) + " 00 00") != std::string::npos)
            return line.find(" Yes ") != std::string::npos;
    }
    return false;
}

bool VirtualCardStack::waitUntilCardPresent(bool present, std::chrono::seconds limit) {
    return pollUntil(limit, [&] { return cardPresent() == present; });
}

std::map<std::string, std::string> VirtualCardStack::environment() const {
    return {{"PCSCLITE_CSOCK_NAME", (folder() / "run/pcscd.comm").string()}};
}

std::string VirtualCardStack::clientOutput(const std::string& command) const {
    std::string prefix;
    for (const auto& [name, value] : environment())
        prefix += name + "=" + quoted(value) + " ";
    return shellOutput(prefix + command + " 2>&1");
}

}  // namespace tavrin::testing
