#include "support/accessibility_bus.h"

#include <signal.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "tests/support/child_process.h"

namespace tavrin::host::testing {

AccessibilityBus::AccessibilityBus() {
    char folder[] = "/tmp/tavrin-a11y-XXXXXX";
    if (::mkdtemp(folder) == nullptr) throw std::runtime_error("mkdtemp failed");
    runtimeFolder_ = folder;
    // Forks into the background and prints its address and process id.
    const std::string printed =
        tavrin::testing::shellOutput("XDG_RUNTIME_DIR=" + runtimeFolder_ +
                                     " dbus-daemon --session --fork --print-address=1"
                                     " --print-pid=1 2>/dev/null");
    const auto newline = printed.find('\n');
    if (newline == std::string::npos) throw std::runtime_error("dbus-daemon did not start");
    address_ = printed.substr(0, newline);
    pid_ = static_cast<pid_t>(std::stol(printed.substr(newline + 1)));
    // Qt publishes its tree only once the accessibility bus is there; asking
    // for its address starts it.
    tavrin::testing::shellOutput(
        "DBUS_SESSION_BUS_ADDRESS='" + address_ +
        "' dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus "
        "org.a11y.Bus.GetAddress 2>&1");
}

AccessibilityBus::~AccessibilityBus() {
    // The accessibility bus launcher leaves when its session bus goes.
    if (pid_ > 0) ::kill(pid_, SIGTERM);
    std::error_code ignored;
    std::filesystem::remove_all(runtimeFolder_, ignored);
}

std::map<std::string, std::string> AccessibilityBus::environment(const std::string& display) const {
    return {{"DISPLAY", display},
            {"DBUS_SESSION_BUS_ADDRESS", address_},
            {"QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1"}};
}

std::string AccessibilityBus::tree(const std::string& display) const {
    return tavrin::testing::shellOutput(
        "DISPLAY=" + display + " DBUS_SESSION_BUS_ADDRESS='" + address_ +
        "' timeout 60 /usr/bin/python3 '" TAVRIN_TEST_SUPPORT "/atspi_tree.py' 2>&1");
}

}  // namespace tavrin::host::testing
