#include "support/xvfb.h"

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
    // newline, once it accepts connections; it ends without when it fails.
    std::string number;
    char c = 0;
    while (c != '\n' && ::read(server_->out(), &c, 1) == 1)
        number += c;
    if (c != '\n') throw std::runtime_error("Xvfb did not start (is the xvfb package installed?)");
    number.pop_back();
    // Prepended as a character: GCC 12 at -O3 warns falsely (-Wrestrict)
    // about a literal prepended to a string.
    number.insert(number.begin(), ':');
    display_ = number;
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

bool Xvfb::waitForNoWindow(std::chrono::seconds limit, const std::string& window) const {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        const std::string ids = "\n" + run("xdotool search --onlyvisible --name .");
        if (window.empty() ? ids == "\n" : ids.find("\n" + window + "\n") == std::string::npos)
            return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

void Xvfb::answer(const std::string& window, const std::vector<std::string>& actions,
                  std::chrono::milliseconds pause) const {
    run("xdotool windowfocus --sync " + window);
    std::this_thread::sleep_for(pause);
    for (const std::string& action : actions)
        run("xdotool " + action);
}

bool Xvfb::handlePrompt(const std::filesystem::path& picture,
                        const std::vector<std::string>& actions) const {
    const std::string window = waitForWindow();
    if (window.empty()) return false;
    screenshot(picture);
    if (!actions.empty()) answerPrompt(window, actions);
    return waitForNoWindow(std::chrono::seconds(30), window);
}

void Xvfb::screenshot(const std::filesystem::path& file) const {
    std::filesystem::create_directories(file.parent_path());
    run("import -window root '" + file.string() + "'");
}

}  // namespace tavrin::host::testing
