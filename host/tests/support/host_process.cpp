#include "support/host_process.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace tavrin::host::testing {
namespace {

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
    ::close(fd);
    return out;
}

struct Pipe {
    int read = -1;
    int write = -1;
    Pipe() {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
        read = fds[0];
        write = fds[1];
    }
};

}  // namespace

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
        if (stream.size() - at < 4) {
            out.push_back("<partial>" + stream.substr(at));
            break;
        }
        const auto* p = reinterpret_cast<const unsigned char*>(stream.data() + at);
        const std::size_t n = p[0] | (p[1] << 8) | (p[2] << 16) | (std::size_t{p[3]} << 24);
        if (stream.size() - at - 4 < n) {
            out.push_back("<partial>" + stream.substr(at));
            break;
        }
        out.push_back(stream.substr(at + 4, n));
        at += 4 + n;
    }
    return out;
}

void writeAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return;  // the child stopped reading; the test judges by the result
        }
        done += static_cast<std::size_t>(n);
    }
}

void HostSession::send(const std::string& payload) {
    writeAll(in_, frame(payload));
}

std::string HostSession::receive() {
    std::string bytes;
    for (;;) {
        const auto frames = unframe(bytes);
        if (!frames.empty() && frames.front().rfind("<partial>", 0) != 0) return frames.front();
        pollfd entry{out_, POLLIN, 0};
        const int ready = ::poll(&entry, 1, 60000);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return "<timeout>";
        char buffer[4096];
        // The host answers one request at a time and the caller waits for
        // each reply, so no read takes bytes of a later reply.
        const ssize_t n = ::read(out_, buffer, sizeof buffer);
        if (n <= 0) return "<end>";
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
}

ProcessResult runHost(const HostRun& run) {
    // A child that stops reading must not kill the test with SIGPIPE.
    std::signal(SIGPIPE, SIG_IGN);
    Pipe in, out, err;

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in.read, STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out.write, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err.write, STDERR_FILENO);

    std::vector<std::string> env_strings;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry(*e);
        const std::string name = entry.substr(0, entry.find('='));
        if (name == "HOME" || name.rfind("XDG_", 0) == 0 || name == "DISPLAY" ||
            name == "WAYLAND_DISPLAY" || name == "QT_QPA_PLATFORM" || run.environment.count(name)) {
            continue;
        }
        env_strings.push_back(entry);
    }
    env_strings.push_back("HOME=" + run.home.string());
    for (const auto& [name, value] : run.environment)
        env_strings.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (auto& entry : env_strings)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    std::vector<std::string> arg_strings = run.launcher;
    arg_strings.push_back(TAVRIN_BRIDGE_EXE);
    arg_strings.insert(arg_strings.end(), run.arguments.begin(), run.arguments.end());
    std::vector<char*> argv;
    for (auto& arg : arg_strings)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    pid_t pid = 0;
    const int spawned =
        run.launcher.empty()
            ? posix_spawn(&pid, TAVRIN_BRIDGE_EXE, &actions, nullptr, argv.data(), envp.data())
            : posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(in.read);
    ::close(out.write);
    ::close(err.write);
    if (spawned != 0) throw std::runtime_error("posix_spawn failed");

    ProcessResult result;
    std::thread err_reader([&] { result.err = drain(err.read); });
    if (run.session) {
        HostSession session(pid, in.write, out.read);
        run.session(session);
    }
    if (run.closeStdoutEarly) ::close(out.read);
    std::thread out_reader([&] {
        if (!run.closeStdoutEarly) result.out = drain(out.read);
    });
    if (run.feed && !run.session) run.feed(in.write);
    ::close(in.write);
    out_reader.join();
    err_reader.join();

    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status)) result.exitStatus = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
    return result;
}

}  // namespace tavrin::host::testing
