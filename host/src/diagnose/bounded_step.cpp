#include "diagnose/bounded_step.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tavrin::host {
namespace {

// Both ends close on exec; the child's copies are made by dup2.
bool makePipe(int ends[2]) {
    return ::pipe2(ends, O_CLOEXEC) == 0;
}

std::string lastLine(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    const auto newline = text.rfind('\n');
    return newline == std::string::npos ? text : text.substr(newline + 1);
}

}  // namespace

Result<std::string, std::string> runBoundedStep(const std::vector<std::string>& arguments,
                                                std::chrono::seconds bound) {
    int out[2];
    int err[2];
    if (!makePipe(out)) return fail(std::string("pipe: ") + std::strerror(errno));
    if (!makePipe(err)) {
        ::close(out[0]);
        ::close(out[1]);
        return fail(std::string("pipe: ") + std::strerror(errno));
    }
    // Argument 0 is the real path: the core finds the store module beside it.
    char self[4096];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    std::vector<std::string> argv = {
        length > 0 ? std::string(self, static_cast<std::size_t>(length)) : "tavrin-bridge"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<char*> pointers;
    for (std::string& argument : argv)
        pointers.push_back(argument.data());
    pointers.push_back(nullptr);

    const pid_t child = ::fork();
    if (child < 0) {
        for (const int fd : {out[0], out[1], err[0], err[1]})
            ::close(fd);
        return fail(std::string("fork: ") + std::strerror(errno));
    }
    if (child == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::dup2(err[1], STDERR_FILENO);
        const int null = ::open("/dev/null", O_RDONLY);
        if (null >= 0) ::dup2(null, STDIN_FILENO);
        ::execv("/proc/self/exe", pointers.data());
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);

    std::string output;
    std::string diagnostics;
    const auto deadline = std::chrono::steady_clock::now() + bound;
    bool timedOut = false;
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    int open = 2;
    while (open > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            timedOut = true;
            break;
        }
        const int ready = ::poll(fds, 2, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) break;
        for (pollfd& fd : fds) {
            if (fd.fd < 0 || fd.revents == 0) continue;
            char buffer[4096];
            const ssize_t got = ::read(fd.fd, buffer, sizeof buffer);
            if (got > 0) {
                (fd.fd == out[0] ? output : diagnostics).append(buffer, static_cast<size_t>(got));
            } else if (got == 0 || errno != EINTR) {
                ::close(fd.fd);
                fd.fd = -1;
                --open;
            }
        }
    }
    for (const pollfd& fd : fds)
        if (fd.fd >= 0) ::close(fd.fd);
    // A step that overran is ended whatever it is doing; its module cannot
    // be asked to stop.
    if (timedOut) ::kill(child, SIGKILL);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (timedOut) return fail("timed out after " + std::to_string(bound.count()) + " s");
    if (WIFSIGNALED(status))
        return fail("ended by signal " + std::to_string(WTERMSIG(status)) + " (" +
                    ::strsignal(WTERMSIG(status)) + ")");
    if (WIFEXITED(status) && WEXITSTATUS(status) != 0) {
        const std::string line = lastLine(diagnostics);
        return fail("exited with status " + std::to_string(WEXITSTATUS(status)) +
                    (line.empty() ? std::string() : ": " + line));
    }
    return output;
}

}  // namespace tavrin::host
