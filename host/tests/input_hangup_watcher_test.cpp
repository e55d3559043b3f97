// The hang-up watcher over real pipes and sockets: it tells when the writer
// has gone, leaves what is still to be read where it is, and says nothing
// while the writer stays.

#include "framing/input_hangup_watcher.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <string>
#include <thread>

namespace tavrin::host {
namespace {

using namespace std::chrono_literals;

// Two connected descriptors; [0] is watched, [1] is the writer's end.
struct Ends {
    int fds[2] = {-1, -1};
    ~Ends() {
        for (int fd : fds)
            if (fd >= 0) ::close(fd);
    }
    void closeWriter() {
        ::close(fds[1]);
        fds[1] = -1;
    }
};

TEST(InputHangupWatcher, TellsOnceTheWriterHasGoneAndLeavesPendingBytesUnread) {
    const struct {
        const char* name;
        bool socket;          // else a pipe
        bool shutDownWriter;  // a socket's writer may shut down instead of closing
        std::string pending;  // written before the writer goes
    } cases[] = {
        {"pipe", false, false, ""},
        {"pipe with a request still in it", false, false, "request"},
        {"socket closed", true, false, "request"},
        {"socket shut down for writing", true, true, "request"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Ends ends;
        ASSERT_EQ(c.socket ? ::socketpair(AF_UNIX, SOCK_STREAM, 0, ends.fds) : ::pipe(ends.fds), 0);
        std::promise<void> told;
        int calls = 0;
        {
            InputHangupWatcher watcher(ends.fds[0], [&] {
                if (++calls == 1) told.set_value();
            });
            ASSERT_EQ(::write(ends.fds[1], c.pending.data(), c.pending.size()),
                      static_cast<ssize_t>(c.pending.size()));
            if (c.shutDownWriter) {
                ASSERT_EQ(::shutdown(ends.fds[1], SHUT_WR), 0);
            } else {
                ends.closeWriter();
            }
            ASSERT_EQ(told.get_future().wait_for(60s), std::future_status::ready);
        }
        EXPECT_EQ(calls, 1);
        std::string left(c.pending.size() + 1, '\0');
        const ssize_t n = ::read(ends.fds[0], left.data(), left.size());
        ASSERT_GE(n, 0);
        left.resize(static_cast<std::size_t>(n));
        EXPECT_EQ(left, c.pending);
    }
}

TEST(InputHangupWatcher, BytesFromAWriterThatStaysWakeNobodyAndStoppingEndsTheWatch) {
    Ends ends;
    ASSERT_EQ(::pipe(ends.fds), 0);
    int calls = 0;
    {
        InputHangupWatcher watcher(ends.fds[0], [&] { ++calls; });
        ASSERT_EQ(::write(ends.fds[1], "request", 7), 7);
        // Time for a wrong wake-up to happen, not a measurement.
        std::this_thread::sleep_for(200ms);
    }
    EXPECT_EQ(calls, 0);
    char left[8] = {};
    EXPECT_EQ(::read(ends.fds[0], left, sizeof left), 7);
}

}  // namespace
}  // namespace tavrin::host
