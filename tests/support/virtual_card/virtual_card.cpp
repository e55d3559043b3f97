// A CAC smart card emulated by libcacard from an NSS database, put into the
// reader of pcscd's vpcd driver over TCP, for tests of the whole card stack.
//
//   virtual_card NSS-FOLDER PORT NICKNAME [NICKNAME...]
//
// The card holds the certificates with these nicknames and their keys; its
// PIN is the database's password, so a wrong PIN is refused by the card as it
// would be by a real one. The card is inserted at start.
//
//   SIGUSR1   pulls the card: the connection to the reader is closed
//   SIGUSR2   puts it back: the card connects to the reader again, fresh
//   SIGTERM   ends the program
//
// Each change is written as one line to standard output ("inserted",
// "pulled") once done; errors go to standard error with the step that failed.
//
// The reader (vpcd) listens on PORT of 127.0.0.1; the card is its client.
// Every message either way is a 2-byte big-endian length and its bytes. From
// the reader, a 1-byte message is a control code (0 power off, 1 power on,
// 2 reset, 4 send the ATR; only the ATR gets an answer) and anything longer
// is a command APDU, answered with the response APDU. The reader asks for
// the ATR to learn whether a card is there; a closed connection is a card
// that was pulled.
//
// The PIN counts tries as a real card's does: three wrong ones in a row block
// it (a pull keeps the count); a right one starts the count again.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <libcacard.h>

namespace {

constexpr const char* kReaderName = "Tavrin test reader";
constexpr std::size_t kMaxAtr = 33;              // ISO 7816-3
constexpr std::size_t kMaxResponse = 65536 + 2;  // extended length and status

void fail(const char* step, const std::string& cause) {
    std::fprintf(stderr, "virtual_card: %s: %s\n", step, cause.c_str());
    std::exit(1);
}

void announce(const char* state) {
    std::printf("%s\n", state);
    std::fflush(stdout);
}

bool readAll(int fd, unsigned char* buffer, std::size_t size) {
    while (size > 0) {
        const ssize_t got = ::read(fd, buffer, size);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        buffer += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

bool sendMessage(int fd, const unsigned char* bytes, std::size_t size) {
    std::vector<unsigned char> message{static_cast<unsigned char>(size >> 8),
                                       static_cast<unsigned char>(size & 0xff)};
    message.insert(message.end(), bytes, bytes + size);
    std::size_t sent = 0;
    while (sent < message.size()) {
        const ssize_t put = ::send(fd, message.data() + sent, message.size() - sent, MSG_NOSIGNAL);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        sent += static_cast<std::size_t>(put);
    }
    return true;
}

// The reader listens once pcscd has loaded the driver, which may be after
// we start: connecting is retried until it is there (or we are told
// otherwise through a signal, which the caller's poll sees).
int connectToReader(unsigned short port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) fail("socket", std::strerror(errno));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    // Each message goes out whole at once: no need to wait for more.
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
    ::close(fd);
    return -1;
}

class Card {
  public:
    explicit Card(VReader* reader) : reader_(reader) {}

    void insert() {
        // The card starts in libcacard's reader; after a pull it goes back.
        vcard_emul_force_card_insert(reader_);
        if (vreader_card_is_present(reader_) != VREADER_OK)
            fail("inserting the emulated card", "libcacard has no card in its reader");
        int length = sizeof atr_;
        if (vreader_power_on(reader_, atr_, &length) != VREADER_OK)
            fail("powering the emulated card on", "libcacard refused");
        atrLength_ = static_cast<std::size_t>(length);
    }
    // A pulled card forgets its login, as a real one loses power.
    void remove() { vcard_emul_force_card_remove(reader_); }

    // Answers one message from the reader; false when the reader is gone.
    bool serve(int fd) {
        unsigned char header[2];
        if (!readAll(fd, header, sizeof header)) return false;
        std::vector<unsigned char> message((header[0] << 8) | header[1]);
        if (!readAll(fd, message.data(), message.size())) return false;
        if (message.size() == 1) {
            int length = sizeof atr_;
            switch (message[0]) {
                case 0:
                    vreader_power_off(reader_);
                    return true;
                case 1:
                case 2:
                    vreader_power_on(reader_, atr_, &length);
                    return true;
                case 4:
                    return sendMessage(fd, atr_, atrLength_);
                default:
                    return true;
            }
        }
        const bool verify = message.size() > 5 && message[1] == 0x20;
        if (verify && triesLeft_ == 0) return sendStatus(fd, 0x6983);
        std::vector<unsigned char> response(kMaxResponse);
        int length = static_cast<int>(response.size());
        if (vreader_xfr_bytes(reader_, message.data(), static_cast<int>(message.size()),
                              response.data(), &length) != VREADER_OK ||
            length < 2)
            return sendStatus(fd, 0x6f00);  // no precise diagnosis
        if (verify)
            return answerVerify(fd, response[length - 2] == 0x90 && response[length - 1] == 0);
        return sendMessage(fd, response.data(), static_cast<std::size_t>(length));
    }

  private:
    static bool sendStatus(int fd, unsigned status) {
        const unsigned char bytes[] = {static_cast<unsigned char>(status >> 8),
                                       static_cast<unsigned char>(status & 0xff)};
        return sendMessage(fd, bytes, sizeof bytes);
    }

    // libcacard refuses a wrong PIN without a count of tries; a real card
    // counts down from three and then blocks the PIN, so this one does too.
    bool answerVerify(int fd, bool accepted) {
        if (accepted) {
            triesLeft_ = kTries;
            return sendStatus(fd, 0x9000);
        }
        --triesLeft_;
        return sendStatus(fd, triesLeft_ == 0 ? 0x6983 : 0x63c0 | triesLeft_);
    }

    static constexpr unsigned kTries = 3;
    VReader* reader_;
    unsigned triesLeft_ = kTries;
    unsigned char atr_[kMaxAtr] = {};
    std::size_t atrLength_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: virtual_card NSS-FOLDER PORT NICKNAME [NICKNAME...]\n");
        return 2;
    }
    const auto port = static_cast<unsigned short>(std::strtoul(argv[2], nullptr, 10));
    std::string options =
        std::string("use_hw=no db=\"sql:") + argv[1] + "\" soft=(," + kReaderName + ",CAC,";
    for (int i = 3; i < argc; ++i)
        options += std::string(",") + argv[i];
    options += ")";
    VCardEmulOptions* emulation = vcard_emul_options(options.c_str());
    if (emulation == nullptr) fail("reading the card options", options);
    if (vcard_emul_init(emulation) != VCARD_EMUL_OK)
        fail("opening the NSS database", std::string(argv[1]) + " or its certificates");
    VReader* reader = vreader_get_reader_by_name(kReaderName);
    if (reader == nullptr) fail("finding the emulated reader", kReaderName);
    Card card(reader);

    sigset_t signals;
    sigemptyset(&signals);
    for (const int number : {SIGUSR1, SIGUSR2, SIGTERM, SIGINT})
        sigaddset(&signals, number);
    sigprocmask(SIG_BLOCK, &signals, nullptr);
    const int signalFd = ::signalfd(-1, &signals, SFD_CLOEXEC);
    if (signalFd < 0) fail("signalfd", std::strerror(errno));

    bool wanted = true;  // the card should be in the reader
    int reader_fd = -1;
    for (;;) {
        if (wanted && reader_fd < 0) {
            reader_fd = connectToReader(port);
            if (reader_fd >= 0) {
                card.insert();
                announce("inserted");
            }
        }
        pollfd fds[2] = {{signalFd, POLLIN, 0}, {reader_fd, POLLIN, 0}};
        // Without a connection, poll again soon to retry connecting.
        if (::poll(fds, reader_fd >= 0 ? 2 : 1, reader_fd >= 0 || !wanted ? -1 : 100) < 0 &&
            errno != EINTR)
            fail("poll", std::strerror(errno));
        if (fds[0].revents & POLLIN) {
            signalfd_siginfo info{};
            if (::read(signalFd, &info, sizeof info) != sizeof info) continue;
            if (info.ssi_signo == SIGTERM || info.ssi_signo == SIGINT) break;
            const bool insert = info.ssi_signo == SIGUSR2;
            if (insert == wanted) continue;
            wanted = insert;
            if (!wanted) {
                if (reader_fd >= 0) ::close(reader_fd);
                reader_fd = -1;
                card.remove();
                announce("pulled");
            }
        }
        if (reader_fd >= 0 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) &&
            !card.serve(reader_fd)) {
            // The reader went away (pcscd stopped): wait for it to return.
            ::close(reader_fd);
            reader_fd = -1;
            card.remove();
        }
    }
    if (reader_fd >= 0) ::close(reader_fd);
    vcard_emul_finalize();
    return 0;
}
