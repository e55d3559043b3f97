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
#include "tests/support/child_process.h"

namespace tavrin::host {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes bytes(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

// A pipe whose ends close on destruction unless closed before.
struct Channel {
    Channel() { EXPECT_EQ(::pipe(fds), 0); }
    ~Channel() {
        closeEnd(0);
        closeEnd(1);
    }
    void closeEnd(int end) {
        if (fds[end] >= 0) ::close(fds[end]);
        fds[end] = -1;
    }

    int fds[2] = {-1, -1};
};

TEST(Framing, APayloadOverTheLimitIsRefusedBeforeItIsRead) {
    Channel channel;
    testing::writeAll(channel.fds[1], std::string("\x01\x00\x10\x00", 4) + "payload");
    channel.closeEnd(1);
    FileHandleReader reader(channel.fds[0]);
    const auto message = Framing::readMessage(reader, Framing::maxRequestLength);
    ASSERT_FALSE(message);
    EXPECT_EQ(message.error(), FramingError::tooLarge(1048577, 1048576));
    EXPECT_EQ(testing::drain(channel.fds[0]), "payload");
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
        FileHandleReader reader(channel.fds[0]);
        message = Framing::readMessage(reader, Framing::maxRequestLength);
        done = true;
    });
    for (int i = 0; i < 5; ++i) {
        pthread_kill(readerThread.native_handle(), SIGUSR1);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    testing::writeAll(channel.fds[1], std::string("\x01\x00\x00\x00!", 5));
    readerThread.join();
    sigaction(SIGUSR1, &previous, nullptr);
    ASSERT_TRUE(message) << message.error().description();
    EXPECT_EQ(message.value(), bytes("!"));
}

TEST(Framing, OutputLimitIsCheckedBeforeAnythingIsWritten) {
    for (const std::size_t size : {std::size_t{0}, std::size_t{4194304}, std::size_t{4194305}}) {
        Channel channel;
        std::string received;
        std::thread readerThread([&] { received = testing::drain(channel.fds[0]); });
        FileHandleWriter writer(channel.fds[1]);
        auto written = Framing::writeMessage(Bytes(size, 'B'), writer, Framing::maxReplyLength);
        channel.closeEnd(1);
        readerThread.join();

        if (size <= Framing::maxReplyLength) {
            ASSERT_TRUE(written) << size;
            EXPECT_TRUE(received == testing::frame(std::string(size, 'B'))) << size;
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
    channel.closeEnd(0);
    FileHandleWriter writer(channel.fds[1]);
    auto written = Framing::writeMessage(bytes("{\"id\":1}"), writer, Framing::maxReplyLength);
    signal(SIGPIPE, previous);
    ASSERT_FALSE(written);
    EXPECT_EQ(written.error(), FramingError::writeFailed(EPIPE));
    EXPECT_EQ(written.error().description(), "write frame: Broken pipe");
}

}  // namespace
}  // namespace tavrin::host
