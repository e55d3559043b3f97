#include "tests/support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace tavrin::testing {
namespace {

using Clock = std::chrono::steady_clock;

void closeFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

bool isolatedAway(const std::string& name) {
    return name == "HOME" || name.rfind("XDG_", 0) == 0 || name == "DISPLAY" ||
           name == "WAYLAND_DISPLAY" || name == "QT_QPA_PLATFORM";
}

std::vector<std::string> environmentOf(const ChildSpec& spec) {
    std::vector<std::string> entries;
    if (spec.base != Environment::empty) {
        for (char** e = environ; *e != nullptr; ++e) {
            const std::string entry(*e);
            const std::string name = entry.substr(0, entry.find('='));
            if (spec.env.count(name) != 0) continue;
            if (spec.base == Environment::isolated && isolatedAway(name)) continue;
            entries.push_back(entry);
        }
    }
    for (const auto& [name, value] : spec.env)
        entries.push_back(name + "=" + value);
    return entries;
}

// The length a frame at `at` declares, or nothing when its prefix is cut.
std::optional<std::size_t> declaredLength(const std::string& bytes, std::size_t at) {
    if (bytes.size() - at < 4) return std::nullopt;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data() + at);
    return p[0] | (p[1] << 8) | (p[2] << 16) | (std::size_t{p[3]} << 24);
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> out;
    for (std::string& s : strings)
        out.push_back(s.data());
    out.push_back(nullptr);
    return out;
}

}  // namespace

Child::Child(ChildSpec spec) : spec_(std::move(spec)) {
    // A child that stops reading must not end us with SIGPIPE.
    std::signal(SIGPIPE, SIG_IGN);
    std::vector<std::string> args = spec_.argv;
    if (spec_.dieWithUs) {
        // setpriv sets the parent-death signal and then becomes the program.
        args.insert(args.begin(), {"setpriv", "--pdeathsig", "KILL", "--"});
    }
    std::vector<std::string> env = environmentOf(spec_);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    std::vector<int> childEnds;
    int error = 0;
    const auto route = [&](Stream stream, int target, int& ours) {
        switch (stream) {
            case Stream::inherit:
                return;
            case Stream::null:
                posix_spawn_file_actions_addopen(&actions, target, "/dev/null", O_RDWR, 0);
                return;
            case Stream::log:
                if (target == STDERR_FILENO && spec_.out == Stream::log) {
                    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, target);
                } else {
                    posix_spawn_file_actions_addopen(&actions, target, spec_.log.c_str(),
                                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
                }
                return;
            case Stream::pipe: {
                int fds[2];
                if (::pipe2(fds, O_CLOEXEC) != 0) {
                    error = errno;
                    return;
                }
                const bool input = target == STDIN_FILENO;
                ours = input ? fds[1] : fds[0];
                childEnds.push_back(input ? fds[0] : fds[1]);
                posix_spawn_file_actions_adddup2(&actions, childEnds.back(), target);
                return;
            }
        }
    };
    std::string step = "pipe";
    route(spec_.in, STDIN_FILENO, in_);
    route(spec_.out, STDOUT_FILENO, out_);
    route(spec_.err, STDERR_FILENO, err_);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    if (spec_.ownGroup) {
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&attributes, 0);
    }
    if (error == 0) {
        step = "start " + (args.empty() ? std::string("nothing") : args.front());
        std::vector<char*> argp = pointers(args);
        std::vector<char*> envp = pointers(env);
        error = posix_spawnp(&pid_, argp[0], &actions, &attributes, argp.data(), envp.data());
    }
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    for (int& fd : childEnds)
        closeFd(fd);
    if (error != 0) {
        pid_ = -1;
        closeFd(in_);
        closeFd(out_);
        closeFd(err_);
        throw std::runtime_error(step + ": " + std::strerror(error));
    }
}

Child::~Child() {
    stop();
    closeFd(in_);
    closeFd(out_);
    closeFd(err_);
}

void Child::closeIn() {
    closeFd(in_);
}

void Child::closeOut() {
    closeFd(out_);
}

void Child::send(const std::string& bytes) {
    writeAll(in_, bytes);
}

std::optional<std::string> Child::receiveFrame(std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    for (;;) {
        if (const auto n = declaredLength(pending_, 0); n && pending_.size() - 4 >= *n) {
            std::string payload = pending_.substr(4, *n);
            pending_.erase(0, 4 + *n);
            return payload;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return std::nullopt;
        pollfd entry{out_, POLLIN, 0};
        const int ready = ::poll(&entry, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return std::nullopt;
        char buffer[65536];
        const ssize_t n = ::read(out_, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return std::nullopt;
        pending_.append(buffer, static_cast<std::size_t>(n));
    }
}

std::string Child::readOut() {
    std::string rest = std::move(pending_);
    pending_.clear();
    if (out_ >= 0) rest += drain(out_);
    return rest;
}

bool Child::running() {
    return !wait(std::chrono::milliseconds(0));
}

bool Child::wait(std::optional<std::chrono::milliseconds> limit) {
    const auto deadline = Clock::now() + limit.value_or(std::chrono::milliseconds(0));
    while (!exited_ && pid_ > 0) {
        int status = 0;
        const pid_t done = ::waitpid(pid_, &status, limit ? WNOHANG : 0);
        if (done == pid_) {
            exited_ = true;
            if (WIFEXITED(status)) exitStatus_ = WEXITSTATUS(status);
            if (WIFSIGNALED(status)) termSignal_ = WTERMSIG(status);
        } else if (done < 0 && errno != EINTR) {
            exited_ = true;  // not ours to wait for any more
        } else if (limit) {
            if (Clock::now() >= deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    return true;
}

void Child::signal(int number) const {
    if (pid_ > 0) ::kill(spec_.ownGroup ? -pid_ : pid_, number);
}

void Child::stop() {
    if (pid_ <= 0 || stopped_) return;
    stopped_ = true;
    // The group may outlive its leader (a browser's helpers): signal it even
    // after the leader has exited.
    if (spec_.grace.count() > 0) {
        if (!exited_ || spec_.ownGroup) signal(SIGTERM);
        wait(spec_.grace);
    }
    if (!exited_ || spec_.ownGroup) signal(SIGKILL);
    wait();
}

std::string frame(const std::string& payload) {
    const auto n = static_cast<std::uint32_t>(payload.size());
    std::string out{static_cast<char>(n & 0xFF), static_cast<char>((n >> 8) & 0xFF),
                    static_cast<char>((n >> 16) & 0xFF), static_cast<char>((n >> 24) & 0xFF)};
    return out + payload;
}

std::vector<std::string> unframe(const std::string& stream) {
    std::vector<std::string> out;
    std::size_t at = 0;
    while (at < stream.size()) {
        const auto n = declaredLength(stream, at);
        if (!n || stream.size() - at - 4 < *n) {
            out.push_back("<partial>" + stream.substr(at));
            break;
        }
        out.push_back(stream.substr(at + 4, *n));
        at += 4 + *n;
    }
    return out;
}

std::string shellOutput(const std::string& command) {
    Child child(ChildSpec{.argv = {"sh", "-c", command}, .in = Stream::null, .out = Stream::pipe});
    std::string out = child.readOut();
    child.wait();
    return out;
}

std::string drain(int fd) {
    std::string out;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            out.append(buffer, static_cast<std::size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            break;
        }
    }
    return out;
}

void writeAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return;
        done += static_cast<std::size_t>(n);
    }
}

}  // namespace tavrin::testing
