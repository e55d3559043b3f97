#include "support/xvfb.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <stdexcept>
#include <thread>

namespace tavrin::host::testing {
namespace {

void stop(pid_t pid) {
    ::kill(pid, SIGTERM);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
}

}  // namespace

Xvfb::Xvfb() {
    int ready[2];
    if (::pipe2(ready, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    const std::string fd = std::to_string(ready[1]);
    const pid_t parent = ::getpid();
    pid_ = ::fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        // Only async-signal-safe calls until exec. Without -noreset the
        // server restarts whenever its last client leaves (each xdotool
        // call), refusing connections meanwhile.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) ::_exit(127);
        ::fcntl(ready[1], F_SETFD, 0);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-noreset", "-nolisten", "tcp",
                 "-screen", "0", "1024x768x24", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(ready[1]);

    // Xvfb takes the first free display number and writes it, with a
    // newline, once it accepts connections.
    std::string number;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (number.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        pollfd entry{ready[0], POLLIN, 0};
        if (::poll(&entry, 1, 1000) <= 0) continue;
        char buffer[16];
        const ssize_t n = ::read(ready[0], buffer, sizeof buffer);
        if (n <= 0) break;
        number.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(ready[0]);
    if (number.find('\n') == std::string::npos) {
        stop(pid_);
        throw std::runtime_error("Xvfb did not start (is the xvfb package installed?)");
    }
    // Assigned in two steps: GCC 12 at -O3 warns falsely (-Wrestrict) about
    // a literal prepended to a string.
    display_ = number.substr(0, number.find('\n'));
    display_.insert(display_.begin(), ':');
}

Xvfb::~Xvfb() {
    stop(pid_);
}

std::string Xvfb::run(const std::string& command) const {
    const std::string line = "DISPLAY=" + display_ + " " + command + " 2>/dev/null";
    FILE* pipe = ::popen(line.c_str(), "r");
    if (pipe == nullptr) return {};
    std::string out;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr)
        out += buffer;
    ::pclose(pipe);
    return out;
}

std::string Xvfb::waitForWindow(std::chrono::seconds limit) const {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        const std::string ids = run("xdotool search --onlyvisible --name .");
        if (!ids.empty() || std::chrono::steady_clock::now() >= deadline) {
            return ids.substr(0, ids.find('\n'));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

bool Xvfb::waitForNoWindow(std::chrono::seconds limit) const {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!run("xdotool search --onlyvisible --name .").empty()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return true;
}

void Xvfb::answer(const std::string& window, const std::vector<std::string>& actions) const {
    run("xdotool windowfocus --sync " + window);
    for (const std::string& action : actions)
        run("xdotool " + action);
}

void Xvfb::answerPrompt(const std::string& window, const std::vector<std::string>& actions) const {
    run("xdotool windowfocus --sync " + window);
    std::this_thread::sleep_for(promptGuardPause);
    for (const std::string& action : actions)
        run("xdotool " + action);
}

void Xvfb::screenshot(const std::filesystem::path& file) const {
    std::filesystem::create_directories(file.parent_path());
    run("import -window root '" + file.string() + "'");
}

}  // namespace tavrin::host::testing
