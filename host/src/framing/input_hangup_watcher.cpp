#include "framing/input_hangup_watcher.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <utility>

namespace tavrin::host {

InputHangupWatcher::InputHangupWatcher(int handle, std::function<void()> onHangup)
    : handle_(handle), onHangup_(std::move(onHangup)) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        throw std::system_error(errno, std::generic_category(), "hang-up watcher: pipe");
    stopRead_ = fds[0];
    stopWrite_ = fds[1];
    thread_ = std::thread([this] { watch(); });
}

InputHangupWatcher::~InputHangupWatcher() {
    // Closing the write end makes the read end report a hang-up of its own.
    ::close(stopWrite_);
    thread_.join();
    ::close(stopRead_);
}

void InputHangupWatcher::watch() {
    for (;;) {
        // No POLLIN on the input: readable data must not wake this thread.
        pollfd entries[2] = {{handle_, POLLRDHUP, 0}, {stopRead_, POLLIN, 0}};
        if (::poll(entries, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (entries[1].revents != 0) return;
        // POLLNVAL: no input to watch (standard input was not open).
        if (entries[0].revents & POLLNVAL) return;
        if (entries[0].revents & (POLLHUP | POLLRDHUP | POLLERR)) {
            onHangup_();
            return;  // the state stays; poll() would report it again at once
        }
    }
}

}  // namespace tavrin::host
