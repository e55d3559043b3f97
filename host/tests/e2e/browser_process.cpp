#include "e2e/browser_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace tavrin::host::testing {
namespace {

bool replaced(const std::string& name) {
    return name == "HOME" || name.rfind("XDG_", 0) == 0 || name == "DISPLAY" ||
           name == "WAYLAND_DISPLAY" || name == "QT_QPA_PLATFORM";
}

}  // namespace

BrowserProcess::BrowserProcess(const std::vector<std::string>& argv,
                               const std::map<std::string, std::string>& environment,
                               const std::filesystem::path& log) {
    // Everything the child needs is prepared before fork: after it only
    // async-signal-safe calls are allowed.
    std::vector<std::string> envStrings;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry(*e);
        const std::string name = entry.substr(0, entry.find('='));
        if (!replaced(name) && environment.count(name) == 0) envStrings.push_back(entry);
    }
    for (const auto& [name, value] : environment)
        envStrings.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (auto& entry : envStrings)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::vector<std::string> args = argv;
    std::vector<char*> argp;
    for (auto& arg : args)
        argp.push_back(arg.data());
    argp.push_back(nullptr);

    const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out < 0) {
        throw std::runtime_error("start browser: cannot create " + log.string() + ": " +
                                 std::strerror(errno));
    }
    const pid_t parent = ::getpid();
    pid_ = ::fork();
    if (pid_ < 0) {
        ::close(out);
        throw std::runtime_error(std::string("start browser: fork: ") + std::strerror(errno));
    }
    if (pid_ == 0) {
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) ::_exit(127);
        const int null = ::open("/dev/null", O_RDONLY);
        ::dup2(null, STDIN_FILENO);
        ::dup2(out, STDOUT_FILENO);
        ::dup2(out, STDERR_FILENO);
        ::execve(argp[0], argp.data(), envp.data());
        ::_exit(127);
    }
    ::close(out);
    ::setpgid(pid_, pid_);  // also here, so that the group exists before we signal it
}

bool BrowserProcess::running() {
    if (exited_) return false;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) exited_ = true;
    return !exited_;
}

BrowserProcess::~BrowserProcess() {
    ::kill(-pid_, SIGTERM);
    // A browser that does not end on request within a while is killed.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (running() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ::kill(-pid_, SIGKILL);
    if (!exited_) {
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
    }
}

}  // namespace tavrin::host::testing
