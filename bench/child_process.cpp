#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace tavrin::bench {
namespace {

void closeFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

std::string errnoText(const std::string& step, int code) {
    return step + ": " + std::strerror(code);
}

}  // namespace

std::string frame(const std::string& payload) {
    const auto n = static_cast<std::uint32_t>(payload.size());
    std::string out{static_cast<char>(n & 0xFF), static_cast<char>((n >> 8) & 0xFF),
                    static_cast<char>((n >> 16) & 0xFF), static_cast<char>((n >> 24) & 0xFF)};
    return out + payload;
}

std::map<std::string, std::string> hostEnvironment(const std::string& home) {
    std::map<std::string, std::string> env;
    for (const char* name : {"PATH", "LANG", "LC_ALL"}) {
        if (const char* value = std::getenv(name)) env[name] = value;
    }
    env["HOME"] = home;
    env["XDG_CONFIG_HOME"] = home + "/.config";
    env["XDG_DATA_HOME"] = home + "/.local/share";
    return env;
}

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                           const std::map<std::string, std::string>& environment) {
    std::signal(SIGPIPE, SIG_IGN);
    int in[2];
    int out[2];
    if (::pipe2(in, O_CLOEXEC) != 0) throw std::runtime_error(errnoText("pipe", errno));
    if (::pipe2(out, O_CLOEXEC) != 0) {
        const int code = errno;
        ::close(in[0]);
        ::close(in[1]);
        throw std::runtime_error(errnoText("pipe", code));
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);

    std::vector<std::string> envStrings;
    for (const auto& [name, value] : environment)
        envStrings.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (auto& entry : envStrings)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::vector<std::string> argStrings{program};
    argStrings.insert(argStrings.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& arg : argStrings)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    const int spawned =
        posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    in_ = in[1];
    out_ = out[0];
    if (spawned != 0) {
        closeFd(in_);
        closeFd(out_);
        throw std::runtime_error(errnoText("starting " + program, spawned));
    }
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0) kill();
    closeFd(in_);
    closeFd(out_);
}

void ChildProcess::send(const std::string& payload) {
    const std::string bytes = frame(payload);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(in_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw std::runtime_error(errnoText("writing a request", errno));
        done += static_cast<std::size_t>(n);
    }
}

std::string ChildProcess::receive() {
    for (;;) {
        if (pending_.size() >= 4) {
            const auto* p = reinterpret_cast<const unsigned char*>(pending_.data());
            const std::size_t n = p[0] | (p[1] << 8) | (p[2] << 16) | (std::size_t{p[3]} << 24);
            if (pending_.size() - 4 >= n) {
                std::string payload = pending_.substr(4, n);
                pending_.erase(0, 4 + n);
                return payload;
            }
        }
        pollfd entry{out_, POLLIN, 0};
        const int ready = ::poll(&entry, 1, 60000);
        if (ready < 0 && errno == EINTR) continue;
        if (ready == 0) throw std::runtime_error("reading a reply: none within a minute");
        if (ready < 0) throw std::runtime_error(errnoText("reading a reply", errno));
        char buffer[65536];
        const ssize_t n = ::read(out_, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw std::runtime_error("reading a reply: the output ended");
        pending_.append(buffer, static_cast<std::size_t>(n));
    }
}

int ChildProcess::finish() {
    closeFd(in_);
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0) {
        if (errno != EINTR) throw std::runtime_error(errnoText("waiting for the host", errno));
    }
    pid_ = -1;
    closeFd(out_);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void ChildProcess::kill() {
    ::kill(pid_, SIGKILL);
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
}

}  // namespace tavrin::bench
