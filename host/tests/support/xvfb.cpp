#include "support/xvfb.h"

#include <poll.h>
#include <unistd.h>

#include <stdexcept>
#include <thread>

namespace tavrin::host::testing {

Xvfb::Xvfb() {
    using tavrin::testing::Stream;
    // Without -noreset the server restarts whenever its last client leaves
    // (each xdotool call), refusing connections meanwhile.
    server_ = std::make_unique<tavrin::testing::Child>(
        tavrin::testing::ChildSpec{.argv = {"Xvfb", "-displayfd", "1", "-noreset", "-nolisten",
                                            "tcp", "-screen", "0", "1024x768x24"},
                                   .out = Stream::pipe,
                                   .err = Stream::null,
                                   .dieWithUs = true,
                                   .grace = std::chrono::seconds(30)});

    // Xvfb takes the first free display number and writes it, with a
    // newline, once it accepts connections.
    std::string number;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (number.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        pollfd entry{server_->out(), POLLIN, 0};
        if (::poll(&entry, 1, 1000) <= 0) continue;
        char buffer[16];
        const ssize_t n = ::read(server_->out(), buffer, sizeof buffer);
        if (n <= 0) break;
        number.append(buffer, static_cast<std::size_t>(n));
    }
    if (number.find('\n') == std::string::npos)
        throw std::runtime_error("Xvfb did not start (is the xvfb package installed?)");
    // Assigned in two steps: GCC 12 at -O3 warns falsely (-Wrestrict) about
    // a literal prepended to a string.
    display_ = number.substr(0, number.find('\n'));
    display_.insert(display_.begin(), ':');
}

Xvfb::~Xvfb() = default;

std::string Xvfb::run(const std::string& command) const {
    return tavrin::testing::shellOutput("DISPLAY=" + display_ + " " + command + " 2>/dev/null");
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

void Xvfb::answer(const std::string& window, const std::vector<std::string>& actions,
                  std::chrono::milliseconds pause) const {
    run("xdotool windowfocus --sync " + window);
    std::this_thread::sleep_for(pause);
    for (const std::string& action : actions)
        run("xdotool " + action);
}

void Xvfb::screenshot(const std::filesystem::path& file) const {
    std::filesystem::create_directories(file.parent_path());
    run("import -window root '" + file.string() + "'");
}

}  // namespace tavrin::host::testing
