#include "support/xvfb.h"

#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>
#include <thread>

namespace tavrin::host::testing {

namespace {

// Prints the accessibility tree of every application on the bus.
constexpr const char* kTreeWalker = R"(import gi
gi.require_version("Atspi", "2.0")
from gi.repository import Atspi

def walk(node, depth):
    try:
        box = node.get_extents(Atspi.CoordType.SCREEN)
        extents = "%d,%d,%d,%d" % (box.x, box.y, box.width, box.height)
    except Exception:  # not a component
        extents = ""
    print("  " * depth + node.get_role_name() + "\t" + (node.get_name() or "") + "\t" + extents)
    for child in filter(None, map(node.get_child_at_index, range(node.get_child_count()))):
        walk(child, depth + 1)

walk(Atspi.get_desktop(0), -1)
)";

}  // namespace

Xvfb::Xvfb(bool accessible) {
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
    if (!accessible) return;

    char folder[] = "/tmp/tavrin-a11y-XXXXXX";
    if (::mkdtemp(folder) == nullptr) throw std::runtime_error("mkdtemp failed");
    busFolder_ = folder;
    // Forks into the background and prints its address and process id.
    const std::string printed = tavrin::testing::shellOutput(
        "XDG_RUNTIME_DIR=" + busFolder_ +
        " dbus-daemon --session --fork --print-address=1 --print-pid=1 2>/dev/null");
    const auto newline = printed.find('\n');
    if (newline == std::string::npos) throw std::runtime_error("dbus-daemon did not start");
    busAddress_ = printed.substr(0, newline);
    busPid_ = static_cast<pid_t>(std::stol(printed.substr(newline + 1)));
    // Qt publishes its tree only once the accessibility bus is there; asking
    // for its address starts it.
    tavrin::testing::shellOutput("DBUS_SESSION_BUS_ADDRESS='" + busAddress_ +
                                 "' dbus-send --session --print-reply --dest=org.a11y.Bus "
                                 "/org/a11y/bus org.a11y.Bus.GetAddress 2>&1");
}

Xvfb::~Xvfb() {
    // The accessibility bus launcher leaves when its session bus goes.
    if (busPid_ > 0) ::kill(busPid_, SIGTERM);
    std::error_code ignored;
    if (!busFolder_.empty()) std::filesystem::remove_all(busFolder_, ignored);
}

std::map<std::string, std::string> Xvfb::environment() const {
    if (busAddress_.empty()) return {{"DISPLAY", display_}};
    return {{"DISPLAY", display_},
            {"DBUS_SESSION_BUS_ADDRESS", busAddress_},
            {"QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1"}};
}

std::string Xvfb::tree() const {
    tavrin::testing::Child walker({.argv = {"timeout", "60", "/usr/bin/python3", "-c", kTreeWalker},
                                   .env = environment(),
                                   .in = tavrin::testing::Stream::null,
                                   .out = tavrin::testing::Stream::pipe});
    std::string printed = walker.readOut();
    walker.wait();
    return printed;
}

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

void Xvfb::answer(const std::string& window, const std::vector<std::string>& actions) const {
    run("xdotool windowfocus --sync " + window);
    for (const std::string& action : actions)
        run("xdotool " + action);
}

bool Xvfb::handlePrompt(const std::filesystem::path& picture,
                        const std::vector<std::string>& actions) const {
    const std::string window = waitForWindow();
    if (window.empty()) return false;
    screenshot(picture);
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    answer(window, actions);
    return waitForNoWindow(std::chrono::seconds(30), window);
}

void Xvfb::screenshot(const std::filesystem::path& file) const {
    std::filesystem::create_directories(file.parent_path());
    run("import -window root '" + file.string() + "'");
}

}  // namespace tavrin::host::testing
