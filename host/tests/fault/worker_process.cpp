#include "worker_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <system_error>

extern char** environ;

namespace tavrin::host::testing {

ConsentWorkers::ConsentWorkers(std::filesystem::path consentPath, std::filesystem::path home)
    : consentPath_(std::move(consentPath)), home_(std::move(home)) {}

pid_t ConsentWorkers::spawn(const std::vector<std::string>& args, int stdoutFd) const {
    std::vector<std::string> argv{TAVRIN_CONSENT_WORKER, consentPath_.string()};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> argp;
    for (std::string& a : argv)
        argp.push_back(a.data());
    argp.push_back(nullptr);

    // The parent's environment with HOME replaced, so that the sanitizer
    // settings reach the worker.
    std::vector<std::string> env{"HOME=" + home_.string()};
    for (char** e = environ; *e != nullptr; ++e) {
        if (std::string_view(*e).rfind("HOME=", 0) != 0) env.emplace_back(*e);
    }
    std::vector<char*> envp;
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (stdoutFd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, stdoutFd, STDOUT_FILENO);
    } else {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    }
    pid_t pid = -1;
    const int error = posix_spawn(&pid, argp[0], &actions, nullptr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) throw std::system_error(error, std::generic_category(), "posix_spawn");
    return pid;
}

pid_t ConsentWorkers::start(const std::vector<std::string>& args) const {
    return spawn(args, -1);
}

int ConsentWorkers::wait(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

WorkerResult ConsentWorkers::run(const std::vector<std::string>& args) const {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) throw std::system_error(errno, std::generic_category());
    const pid_t pid = spawn(args, pipeFds[1]);
    ::close(pipeFds[1]);
    WorkerResult result;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(pipeFds[0], buffer, sizeof buffer);
        if (n > 0) {
            result.out.append(buffer, static_cast<std::size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            break;
        }
    }
    ::close(pipeFds[0]);
    result.exitStatus = wait(pid);
    return result;
}

}  // namespace tavrin::host::testing
