// Frames over real pipes.

#include "framing/framing.h"

#include <gtest/gtest.h>

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "framing/file_handle_stream.h"

namespace tavrin::host {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes bytes(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

Bytes prefix(std::uint32_t n) {
    return {static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8),
            static_cast<std::uint8_t>(n >> 16), static_cast<std::uint8_t>(n >> 24)};
}

// Two connected descriptors; closed on destruction.
struct Channel {
    Channel() {
        if (pipe(fds) != 0) throw std::runtime_error("channel");
    }
    ~Channel() {
        closeReadEnd();
        closeWriteEnd();
    }
    int readEnd() const { return fds[0]; }
    int writeEnd() const { return fds[1]; }
    void closeReadEnd() {
        if (fds[0] >= 0) close(fds[0]);
        fds[0] = -1;
    }
    void closeWriteEnd() {
        if (fds[1] >= 0) close(fds[1]);
        fds[1] = -1;
    }
    void send(const Bytes& data) const {
        ASSERT_EQ(::write(fds[1], data.data(), data.size()), static_cast<ssize_t>(data.size()));
    }
    Bytes drain() {
        Bytes all;
        std::uint8_t chunk[65536];
        ssize_t n;
        while ((n = ::read(fds[0], chunk, sizeof chunk)) > 0)
            all.insert(all.end(), chunk, chunk + n);
        return all;
    }

    int fds[2] = {-1, -1};
};

TEST(Framing, InputLimitIsCheckedBeforeThePayloadIsRead) {
    const struct {
        Bytes prefixBytes;
        bool accepted;
    } cases[] = {
        {{0x00, 0x00, 0x10, 0x00}, true},   // 1048576
        {{0x01, 0x00, 0x10, 0x00}, false},  // 1048577
        {{0xff, 0xff, 0xff, 0xff}, false},
    };
    for (const auto& c : cases) {
        Channel channel;
        channel.send(c.prefixBytes);
        const std::uint32_t n = c.prefixBytes[0] | c.prefixBytes[1] << 8 | c.prefixBytes[2] << 16 |
                                static_cast<std::uint32_t>(c.prefixBytes[3]) << 24;
        const Bytes payload(c.accepted ? n : 16, 0x5a);
        // A writer thread: a 1 MiB payload does not fit in the pipe buffer.
        std::thread writer([&] {
            channel.send(payload);
            channel.closeWriteEnd();
        });
        FileHandleReader reader(channel.readEnd());
        auto message = Framing::readMessage(reader, Framing::maxRequestLength);
        if (c.accepted) {
            ASSERT_TRUE(message);
            EXPECT_EQ(message.value(), payload);
        } else {
            ASSERT_FALSE(message);
            EXPECT_EQ(message.error(), FramingError::tooLarge(n, 1048576));
        }
        writer.join();
        // A refused payload stays unread, right after the prefix.
        EXPECT_EQ(channel.drain(), c.accepted ? Bytes{} : payload);
    }
}

void ignoreSignal(int) {}

TEST(Framing, InterruptedReadsAreRetried) {
    struct sigaction action {};
    action.sa_handler = ignoreSignal;  // no SA_RESTART: read() fails with EINTR
    struct sigaction previous {};
    ASSERT_EQ(sigaction(SIGUSR1, &action, &previous), 0);

    Channel channel;
    std::atomic<bool> done{false};
    Result<Bytes, FramingError> message = FramingError::endOfStream();
    std::thread readerThread([&] {
        FileHandleReader reader(channel.readEnd());
        message = Framing::readMessage(reader, Framing::maxRequestLength);
        done = true;
    });
    for (int i = 0; i < 5; ++i) {
        pthread_kill(readerThread.native_handle(), SIGUSR1);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    channel.send({0x01, 0x00, 0x00, 0x00, '!'});
    readerThread.join();
    sigaction(SIGUSR1, &previous, nullptr);
    ASSERT_TRUE(message) << message.error().description();
    EXPECT_EQ(message.value(), bytes("!"));
}

TEST(Framing, OutputLimitIsCheckedBeforeAnythingIsWritten) {
    for (const std::size_t size : {std::size_t{0}, std::size_t{4194304}, std::size_t{4194305}}) {
        Channel channel;
        Bytes received;
        std::thread readerThread([&] { received = channel.drain(); });
        const Bytes message(size, 0x42);
        FileHandleWriter writer(channel.writeEnd());
        auto written = Framing::writeMessage(message, writer, Framing::maxReplyLength);
        channel.closeWriteEnd();
        readerThread.join();

        if (size <= Framing::maxReplyLength) {
            ASSERT_TRUE(written) << size;
            Bytes expected = prefix(static_cast<std::uint32_t>(size));
            expected.resize(4 + size, 0x42);  // the prefix, then the message
            EXPECT_TRUE(received == expected) << size;
        } else {
            ASSERT_FALSE(written);
            EXPECT_EQ(written.error(), FramingError::tooLarge(4194305, 4194304));
            EXPECT_TRUE(received.empty());
        }
    }
}

TEST(Framing, WriteToAClosedPipeIsReported) {
    const auto previous = signal(SIGPIPE, SIG_IGN);
    Channel channel;
    channel.closeReadEnd();
    FileHandleWriter writer(channel.writeEnd());
    auto written = Framing::writeMessage(bytes("{\"id\":1}"), writer, Framing::maxReplyLength);
    signal(SIGPIPE, previous);
    ASSERT_FALSE(written);
    EXPECT_EQ(written.error(), FramingError::writeFailed(EPIPE));
    EXPECT_EQ(written.error().description(), "write frame: Broken pipe");
}

}  // namespace
}  // namespace tavrin::host
